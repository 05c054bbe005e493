// Robustness validation of a module library: drives every module the way a
// careless or hostile host might (odd sample rates and block sizes, storms of
// events, non-finite and huge values, blobs of awkward sizes, many lifetimes,
// instances sharing tables) and checks what a host relies on: no crash, no
// allocation while processing, every computed sample written and nothing
// beyond the block, streaming reports that match the samples, and no
// non-finite output from finite input.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/host_core.h"
#include "host/pin_catalog.h"

namespace zhost {

struct ValidateOptions {
    uint64_t seed = 1;
    bool quick = false;        // a short pass, for CI
    std::vector<float> rates;  // empty: 8 kHz to 192 kHz
    int32_t cycles = 0;        // create/process/release cycles per module; 0: by `quick`
    bool isolate = true;       // each module in a child process, so a crash is a table row
    bool gui = true;           // validate the GUI halves too
    // Allocations made in this process so far; null skips the allocation check.
    long (*allocationCount)() = nullptr;
};

enum class Check : int {
    Crash,       // the module (or its child process) died
    Lifecycle,   // creation, open, binding, reference counts
    Allocation,  // heap allocation inside processBlock
    Writes,      // computed samples left unwritten, writes past the block or into inputs
    Streaming,   // reports that disagree with the samples, or out-of-block offsets
    NonFinite,   // NaN or infinity out of finite input
    Gui,         // the GUI half: pin values, layouts and renders
};
constexpr int kCheckCount = 7;
const char* checkName(Check c);

struct ModuleResult {
    std::string id;
    bool guiHalf = false;  // a row for the GUI half (subtype 2)
    std::array<int64_t, kCheckCount> failures{};
    std::array<bool, kCheckCount> ran{};  // which checks this row covers
    std::vector<std::string> notes;       // the first few failures, described
    int64_t blocks = 0;                   // processBlock calls (DSP) or renders (GUI)

    bool ok() const;
    void fail(Check c, const std::string& note);
};

struct ValidateReport {
    uint64_t seed = 0;
    std::vector<ModuleResult> rows;
    bool ok() const;
};

// Validates the given identifiers (all catalogued modules when empty). Unknown
// identifiers are an error (false, *error set) before anything runs.
bool validateLibrary(const Library& lib, const std::vector<std::string>& ids,
                     const ValidateOptions& options, ValidateReport* report, std::string* error);

// The DSP half of one module, in this process.
ModuleResult validateDsp(const Library& lib, const ModuleDesc& desc,
                         const ValidateOptions& options);
// The GUI half of one module, in this process.
ModuleResult validateGui(const Library& lib, const std::string& id, const ValidateOptions& options);

// The pass/fail table, then the notes of the failing rows.
void printReport(std::ostream& out, const ValidateReport& report);

}  // namespace zhost
