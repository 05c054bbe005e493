// zdsp: the reference host's command line. `list` shows the modules the host
// knows and whether the loaded library provides them; `render` runs a patch
// into a sound file; `validate` drives every module as a careless host would
// and checks what a host relies on.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_core.h"
#include "host/patch.h"
#include "host/pin_catalog.h"
#include "host/validate.h"
#include "tools/malloc_counter.h"

namespace {

std::string defaultSemPath() {
#ifdef ZDSP_DEFAULT_SEM
    return ZDSP_DEFAULT_SEM;
#else
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "ZolanDSPModules_x64.sem";
    std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string() : exe.substr(0, slash + 1)) +
           "ZolanDSPModules_x64.sem";
#endif
}

int failure(const std::string& message) {
    std::cerr << "zdsp: " << message << "\n";
    return 1;
}

std::unique_ptr<zhost::Library> loadLibrary(const std::string& path, std::string* error) {
    if (::access(path.c_str(), R_OK) != 0) {
        *error = path + ": library: missing or unreadable (give one with --sem)";
        return nullptr;
    }
    std::string err;
    auto lib = zhost::Library::load(path, &err);
    if (!lib) {
        // The loader's message starts with the path already.
        if (err.rfind(path + ": ", 0) == 0) err = err.substr(path.size() + 2);
        *error = path + ": library: " + err;
    }
    return lib;
}

bool canCreate(const zhost::Library& lib, const std::string& id, int32_t subtype) {
    const std::u16string wid = zhost::toU16(id);
    void* out = nullptr;
    const int32_t r = lib.factory()->instantiateBare(wid.c_str(), subtype, &out);
    if (r != mp::MP_OK || out == nullptr) return false;
    static_cast<mp::IMpUnknown*>(out)->Release();
    return true;
}

int runList(const std::string& semPath) {
    std::string err;
    auto lib = loadLibrary(semPath, &err);
    if (!lib) return failure(err);
    int missing = 0;
    for (const zhost::ModuleDesc* d : zhost::PinCatalog::global().modules()) {
        const bool dsp = canCreate(*lib, d->id, mp::MP_SUBTYPE_DSP);
        const bool gui = canCreate(*lib, d->id, mp::MP_SUBTYPE_GUI);
        std::string subtypes;
        if (dsp) subtypes += "0";
        if (gui) subtypes += subtypes.empty() ? "2" : ",2";
        if (subtypes.empty()) {
            subtypes = "MISSING";
            ++missing;
        } else if (d->hasGui && !gui) {
            subtypes += ", no GUI half";
        }
        std::cout << d->id << "  [" << subtypes << "]";
        if (!d->summary.empty()) std::cout << "  " << d->summary;
        std::cout << "\n";
        for (size_t i = 0; i < d->pins.size(); ++i) {
            const zhost::PinDesc& p = d->pins[i];
            std::cout << "    " << i << " " << p.name << " (" << zhost::directionName(p.direction)
                      << ", " << zhost::datatypeName(p.datatype);
            if (p.direction == mp::PIN_DIR_IN && p.datatype != mp::PIN_TYPE_BLOB) {
                std::cout << ", default " << p.defaultValue;
            }
            std::cout << ")\n";
        }
        if (d->variableInputs) {
            std::cout << "    " << d->pins.size() << "+ " << d->extraInputPrefix << "1.."
                      << d->extraInputPrefix << "N (in, audio; \"inputs\": N)\n";
        }
    }
    if (missing > 0) {
        std::cerr << "zdsp: " << semPath << ": " << missing
                  << " module(s) of the catalog are not in the library\n";
        return 2;
    }
    return 0;
}

int runRender(const std::string& patchPath, const std::string& outPath, const std::string& semPath,
              const std::string& format, bool verbose, bool noFtz) {
    zhost::Patch patch;
    std::string err;
    if (!zhost::loadPatch(patchPath, &patch, &err)) return failure(err);
    zhost::RenderOptions opts;
    opts.flushDenormals = !noFtz;
    if (!format.empty()) {
        if (!zhost::parseSampleFormat(format, &opts.format)) {
            return failure("--format: \"" + format + "\": use float, pcm16 or pcm24");
        }
        opts.formatGiven = true;
    }
    auto lib = loadLibrary(semPath, &err);
    if (!lib) return failure(err);

    // Progress only for renders that take a while, and only on a terminal.
    const bool tty = ::isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    bool shown = false;
    if (tty) {
        opts.progress = [&](int64_t done, int64_t total) {
            const double secs =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (secs < 1.0 && !shown) return;
            shown = true;
            std::fprintf(stderr, "\rrendering %3d%%", total > 0 ? int(100 * done / total) : 100);
            std::fflush(stderr);
        };
    }
    zhost::RenderReport report;
    const bool ok = zhost::renderPatch(patch, *lib, outPath, opts, &report, &err);
    if (shown) std::fprintf(stderr, "\n");
    if (!ok) return failure(err);
    if (verbose) {
        std::cerr << outPath << ": " << report.samples << " samples, " << patch.outputs.size()
                  << " channel(s), " << patch.sampleRate << " Hz, block " << patch.blockSize
                  << "\n";
        for (const auto& n : report.nodes) {
            std::cerr << "  " << n.name << " (" << n.module << "): latency " << n.latency
                      << " samples; blocks processed " << n.stats.blocksProcessed << ", asleep "
                      << n.stats.blocksAsleep << ", sleep requests " << n.stats.sleepRequests
                      << "\n";
        }
    }
    return 0;
}

int runValidate(const std::string& semPath, const std::vector<std::string>& modules,
                zhost::ValidateOptions opts, const std::string& rates) {
    if (!rates.empty()) {
        std::string item;
        std::istringstream in(rates);
        while (std::getline(in, item, ',')) {
            char* end = nullptr;
            const float r = std::strtof(item.c_str(), &end);
            if (item.empty() || *end != '\0' || !(r >= 1000.0f && r <= 768000.0f)) {
                return failure("--rates: \"" + item +
                               "\": give sample rates in Hz, 1000 to 768000");
            }
            opts.rates.push_back(r);
        }
    }
    std::string err;
    auto lib = loadLibrary(semPath, &err);
    if (!lib) return failure(err);
    opts.allocationCount = zalloc::allocationCount;
    zhost::ValidateReport report;
    if (!zhost::validateLibrary(*lib, modules, opts, &report, &err)) return failure(err);
    zhost::printReport(std::cout, report);
    return report.ok() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"zdsp: reference host for the ZolanDSPModules library"};
    app.require_subcommand(1);
    std::string semPath = defaultSemPath();

    auto* list = app.add_subcommand("list", "list the modules and their pins");
    list->add_option("--sem", semPath, "module library to load");

    std::string patchPath, outPath, format;
    bool verbose = false;
    bool noFtz = false;
    auto* render = app.add_subcommand("render", "render a patch into a WAV file");
    render->add_option("patch", patchPath, "patch file (JSON)")->required();
    render->add_option("-o,--output", outPath, "output WAV file")->required();
    render->add_option("--sem", semPath, "module library to load");
    render->add_option("--format", format, "sample format: float (default), pcm16, pcm24");
    render->add_flag("-v,--verbose", verbose, "report latency and sleep statistics");
    render->add_flag("--no-ftz", noFtz,
                     "compute denormals instead of flushing them to zero (slower tails)");

    std::vector<std::string> validateModules;
    std::string rates;
    zhost::ValidateOptions vopts;
    bool noFork = false, noGui = false;
    auto* validate = app.add_subcommand(
        "validate", "drive modules with hostile input and check what a host relies on");
    validate->add_option("modules", validateModules, "module identifiers (default: all)");
    validate->add_option("--sem", semPath, "module library to load");
    validate->add_option("--seed", vopts.seed, "random seed (default 1)");
    validate->add_flag("--quick", vopts.quick, "a short pass (CI)");
    validate->add_option("--rates", rates, "sample rates, comma-separated (default 8k to 192k)");
    validate->add_option("--cycles", vopts.cycles, "create/process/release cycles per module")
        ->check(CLI::Range(1, 1000000));
    validate->add_flag("--no-fork", noFork, "run in this process (for a debugger)");
    validate->add_flag("--no-gui", noGui, "skip the GUI halves");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);
        std::cerr << "zdsp: " << e.what() << "\n";
        return 2;
    }
    if (*list) return runList(semPath);
    if (*validate) {
        vopts.isolate = !noFork;
        vopts.gui = !noGui;
        return runValidate(semPath, validateModules, vopts, rates);
    }
    return runRender(patchPath, outPath, semPath, format, verbose, noFtz);
}
