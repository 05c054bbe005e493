// The render thread's floating-point mode: denormals are flushed to zero by
// default, as audio hosts run, and computed with --no-ftz or the patch key.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <string>

#include "host/audio_file.h"
#include "host/fp_mode.h"
#include "host/patch.h"
#include "support/test_support.h"

namespace {

// A comb filter whose unconnected input holds a constant in the denormal
// range: with flushing it reads as 0 and the output is silence, without it
// the comb computes (slowly) with denormal samples.
std::string combPatch(const std::string& extra) {
    return R"({"duration_samples": 2000, )" + extra + R"(
      "instances": {"c": {"module": "CombFlt", "values": {"Signal": 1e-39, "Feedback": 0.5}}},
      "outputs": ["c.Out"]})";
}

struct Rendered {
    bool ok = false;
    int denormals = 0, zeros = 0, frames = 0;
};

Rendered render(const std::string& text, bool flush) {
    Rendered r;
    zhost::Patch p;
    std::string err;
    EXPECT_TRUE(zhost::parsePatch(text, "p.json", ".", &p, &err)) << err;
    std::string dir = ::testing::TempDir() + "zdsp_ftzXXXXXX";
    if (mkdtemp(dir.data()) == nullptr) return r;
    const std::string out = dir + "/out.wav";
    zhost::RenderOptions opts;
    opts.flushDenormals = flush;
    zhost::RenderReport report;
    r.ok = zhost::renderPatch(p, ztest::library(), out, opts, &report, &err);
    EXPECT_TRUE(r.ok) << err;
    zhost::AudioData audio;
    EXPECT_TRUE(zhost::readAudioFile(out, &audio, &err)) << err;
    unlink(out.c_str());
    rmdir(dir.c_str());
    r.frames = static_cast<int>(audio.frames);
    for (float v : audio.samples) {
        if (v == 0.0f)
            ++r.zeros;
        else if (std::fpclassify(v) == FP_SUBNORMAL)
            ++r.denormals;
    }
    return r;
}

TEST(DenormalMode, RenderFlushesByDefaultAndRestoresTheThreadsMode) {
    ASSERT_FALSE(zhost::DenormalMode::flushing());
    const Rendered r = render(combPatch(""), true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.frames, 2000);
    EXPECT_EQ(r.zeros, 2000);
    EXPECT_FALSE(zhost::DenormalMode::flushing());
}

TEST(DenormalMode, NoFtzOptionOrPatchKeyComputesDenormals) {
    const Rendered viaOption = render(combPatch(""), false);
    ASSERT_TRUE(viaOption.ok);
    EXPECT_GT(viaOption.denormals, 1000);
    const Rendered viaKey = render(combPatch(R"("flush_denormals": false,)"), true);
    ASSERT_TRUE(viaKey.ok);
    EXPECT_EQ(viaKey.denormals, viaOption.denormals);
    const Rendered explicitOn = render(combPatch(R"("flush_denormals": true,)"), true);
    EXPECT_EQ(explicitOn.zeros, 2000);
    EXPECT_FALSE(zhost::DenormalMode::flushing());
}

TEST(DenormalMode, PatchKeyMustBeABoolean) {
    zhost::Patch p;
    std::string err;
    EXPECT_FALSE(
        zhost::parsePatch(combPatch(R"("flush_denormals": "no",)"), "p.json", ".", &p, &err));
    EXPECT_NE(err.find("flush_denormals"), std::string::npos) << err;
}

TEST(DenormalMode, GuardNestsAndRestores) {
    {
        const zhost::DenormalMode on(true);
        EXPECT_TRUE(zhost::DenormalMode::flushing());
        volatile float tiny = 1e-39f;
        EXPECT_EQ(tiny * 1.0f, 0.0f);
        {
            const zhost::DenormalMode off(false);
            EXPECT_FALSE(zhost::DenormalMode::flushing());
            EXPECT_NE(tiny * 1.0f, 0.0f);
        }
        EXPECT_TRUE(zhost::DenormalMode::flushing());
    }
    EXPECT_FALSE(zhost::DenormalMode::flushing());
}

}  // namespace
