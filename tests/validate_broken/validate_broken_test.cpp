// Each of the validator's checks fails on a module built to break it, and an
// honest module passes them all: the checks can see what they claim to see.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/pin_catalog.h"
#include "host/validate.h"
#include "tools/malloc_counter.h"

namespace {

using zhost::Check;

zhost::Library& brokenLibrary() {
    static std::unique_ptr<zhost::Library> lib = [] {
        std::string error;
        auto l = zhost::Library::load(ZDSP_BROKEN_SEM, &error);
        if (!l) throw std::runtime_error(error);
        return l;
    }();
    return *lib;
}

zhost::ModuleResult validate(const std::string& id) {
    zhost::ModuleDesc desc;
    desc.id = id;
    desc.pins = {zhost::audioIn("In"), zhost::audioOut("Out")};
    zhost::ValidateOptions options;
    options.quick = true;
    options.seed = 3;
    options.allocationCount = zalloc::allocationCount;
    return zhost::validateDsp(brokenLibrary(), desc, options);
}

int64_t failures(const zhost::ModuleResult& r, Check c) {
    return r.failures[static_cast<int>(c)];
}

TEST(ValidateChecks, AnHonestModulePasses) {
    const auto r = validate("Honest");
    EXPECT_TRUE(r.ok()) << (r.notes.empty() ? "" : r.notes.front());
}

TEST(ValidateChecks, EachBrokenPromiseIsCaughtByItsCheck) {
    const std::pair<const char*, Check> cases[] = {
#ifndef __SANITIZE_ADDRESS__
        {"AllocatesWhileProcessing", Check::Allocation},
#endif
        {"LeavesSamplesUnwritten", Check::Writes},
        {"ChangesWhileReportedStatic", Check::Streaming},
        {"NaNFromFiniteInput", Check::NonFinite},
    };
    for (const auto& [id, check] : cases) {
        const auto r = validate(id);
        EXPECT_FALSE(r.ok()) << id;
        EXPECT_GT(failures(r, check), 0) << id << " not caught by " << zhost::checkName(check);
    }
}

TEST(ValidateChecks, ACrashIsARowNotTheEndOfTheRun) {
    zhost::PinCatalog::global().add(zhost::ModuleDesc{
        "CrashesWhileProcessing", "", {zhost::audioIn("In"), zhost::audioOut("Out")}});
    zhost::ValidateOptions options;
    options.quick = true;
    zhost::ValidateReport report;
    std::string error;
    ASSERT_TRUE(zhost::validateLibrary(brokenLibrary(), {"CrashesWhileProcessing"}, options,
                                       &report, &error))
        << error;
    ASSERT_EQ(report.rows.size(), 1u);
    EXPECT_GT(report.rows[0].failures[static_cast<int>(Check::Crash)], 0);
    EXPECT_FALSE(report.ok());
}

}  // namespace
