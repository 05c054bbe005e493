// zdsp validate: the library passes it, its report reads right, its command
// line refuses bad requests, and its checks see what they claim to see.
#include "host/validate.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "host/pin_catalog.h"
#include "support/test_support.h"
#include "tools/malloc_counter.h"

namespace {

struct CliResult {
    int code = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

CliResult cli(const std::string& args) {
    const std::string dir = ::testing::TempDir();
    const std::string out = dir + "validate_stdout", err = dir + "validate_stderr";
    const std::string cmd = std::string(ZDSP_CLI_PATH) + " " + args + " >" + out + " 2>" + err;
    const int st = std::system(cmd.c_str());
    CliResult r;
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

zhost::ValidateOptions quickOptions() {
    zhost::ValidateOptions o;
    o.quick = true;
    o.seed = 7;
    o.allocationCount = zalloc::allocationCount;
    return o;
}

// Every catalogued module, each half, in child processes: a module that
// crashes, allocates while processing, leaves samples unwritten or lies
// about streaming fails here.
TEST(Validate, EveryCataloguedModulePassesTheQuickPass) {
    zhost::ValidateReport report;
    std::string err;
    ASSERT_TRUE(zhost::validateLibrary(ztest::library(), {}, quickOptions(), &report, &err)) << err;
    std::ostringstream table;
    zhost::printReport(table, report);
    EXPECT_TRUE(report.ok()) << table.str();
    EXPECT_GE(report.rows.size(), zhost::PinCatalog::global().modules().size());
    for (const auto& row : report.rows) {
        EXPECT_GT(row.blocks, 0) << row.id << " was not driven at all";
        EXPECT_TRUE(row.ran[static_cast<int>(zhost::Check::Crash)]) << row.id;
        if (!row.guiHalf) {
            EXPECT_TRUE(row.ran[static_cast<int>(zhost::Check::Allocation)]) << row.id;
        }
    }
}

// The allocation check rests on the counter seeing the library's own runtime.
TEST(Validate, AllocationCounterSeesTheLibrary) {
    const long before = zalloc::allocationCount();
    void* out = nullptr;
    ztest::library().factory()->instantiateBare(u"DC_Blocker", 0, &out);
    ASSERT_NE(out, nullptr);
    static_cast<mp::IMpUnknown*>(out)->Release();
    EXPECT_GT(zalloc::allocationCount() - before, 0);
}

// In-process runs with the same seed drive the module identically.
TEST(Validate, SameSeedSameRun) {
    const zhost::ModuleDesc* d = zhost::PinCatalog::global().find("DC_Blocker");
    ASSERT_NE(d, nullptr);
    zhost::ValidateOptions o = quickOptions();
    o.cycles = 5;
    const auto a = zhost::validateDsp(ztest::library(), *d, o);
    const auto b = zhost::validateDsp(ztest::library(), *d, o);
    EXPECT_EQ(a.blocks, b.blocks);
    EXPECT_TRUE(a.ok());
    o.seed = 8;
    const auto c = zhost::validateDsp(ztest::library(), *d, o);
    EXPECT_NE(a.blocks, c.blocks);
}

TEST(Validate, ReportMarksFailingRowsAndKeepsTheirNotes) {
    zhost::ValidateReport report;
    report.seed = 42;
    zhost::ModuleResult good;
    good.id = "Good";
    good.ran[static_cast<int>(zhost::Check::Writes)] = true;
    good.blocks = 3;
    zhost::ModuleResult bad;
    bad.id = "Bad";
    bad.blocks = 5;
    for (int i = 0; i < 10; ++i) bad.fail(zhost::Check::Streaming, "note " + std::to_string(i));
    report.rows = {good, bad};
    EXPECT_FALSE(report.ok());
    EXPECT_EQ(bad.failures[static_cast<int>(zhost::Check::Streaming)], 10);
    EXPECT_LT(bad.notes.size(), 10u);  // the first few only
    std::ostringstream s;
    zhost::printReport(s, report);
    const std::string text = s.str();
    EXPECT_NE(text.find("Good"), std::string::npos);
    EXPECT_NE(text.find("PASS"), std::string::npos);
    EXPECT_NE(text.find("FAIL"), std::string::npos);
    EXPECT_NE(text.find("stream: note 0"), std::string::npos);
    EXPECT_NE(text.find("1 of 2 rows failed (seed 42)"), std::string::npos);
}

TEST(ValidateCli, OneModulePassesWithExitZero) {
    const CliResult r = cli("validate --quick --cycles 3 --rates 8000,96000 Derivator");
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Derivator"), std::string::npos);
    EXPECT_NE(r.out.find("all 1 rows passed"), std::string::npos) << r.out;
}

TEST(ValidateCli, RefusesUnknownModulesAndBadRates) {
    CliResult r = cli("validate --quick dc_blocker");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("unknown module"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("DC_Blocker"), std::string::npos) << r.err;  // the suggestion
    EXPECT_TRUE(r.out.empty());
    r = cli("validate --quick --rates 48000,fast DC_Blocker");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("--rates"), std::string::npos) << r.err;
    r = cli("validate --quick --rates 20 DC_Blocker");
    EXPECT_EQ(r.code, 1);
    r = cli("validate --cycles 0 DC_Blocker");
    EXPECT_EQ(r.code, 2);
}

}  // namespace
