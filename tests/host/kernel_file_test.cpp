// Kernel files: sound files (first channel) and JSON lists, and the errors
// that keep a wrong file from silently changing a filter.
#include "host/kernel_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/patch.h"

namespace {

class KernelFile : public ::testing::Test {
protected:
    std::string path(const std::string& name) {
        const std::string p = "/tmp/zdsp_kernel_" + std::to_string(getpid()) + "_" + name;
        made_.push_back(p);
        return p;
    }
    std::string writeText(const std::string& name, const std::string& text) {
        const std::string p = path(name);
        std::ofstream(p) << text;
        return p;
    }
    std::string writeSound(const std::string& name, int channels, int format,
                           const std::vector<float>& interleaved) {
        const std::string p = path(name);
        SF_INFO info{};
        info.channels = channels;
        info.samplerate = 48000;
        info.format = format;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (f == nullptr) return p;
        sf_command(f, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
        sf_writef_float(f, interleaved.data(),
                        static_cast<sf_count_t>(interleaved.size() / channels));
        sf_close(f);
        return p;
    }
    void TearDown() override {
        for (const auto& p : made_) std::remove(p.c_str());
    }

private:
    std::vector<std::string> made_;
};

TEST_F(KernelFile, ReadsTheFirstChannelOfASoundFileExactly) {
    std::string err;
    const auto mono =
        writeSound("mono.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {0.1f, -0.25f, 1e-7f});
    EXPECT_EQ(zhost::loadKernel(mono, &err), (std::vector<float>{0.1f, -0.25f, 1e-7f})) << err;

    const auto stereo =
        writeSound("stereo.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {0.5f, 9.0f, 0.25f, 9.0f});
    EXPECT_EQ(zhost::loadKernel(stereo, &err), (std::vector<float>{0.5f, 0.25f})) << err;

    // Integer files come back as -1..1 floats.
    const auto pcm = writeSound("pcm.wav", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, {0.5f, -0.25f});
    EXPECT_EQ(zhost::loadKernel(pcm, &err), (std::vector<float>{0.5f, -0.25f})) << err;
}

TEST_F(KernelFile, LongestKernelIsAcceptedAndOneTapMoreIsAnError) {
    std::string err;
    const auto ok = writeSound("1024.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                               std::vector<float>(1024, 0.001f));
    EXPECT_EQ(zhost::loadKernel(ok, &err).size(), 1024u) << err;

    const auto longer = writeSound("1025.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                   std::vector<float>(1025, 0.001f));
    err.clear();
    EXPECT_TRUE(zhost::loadKernel(longer, &err).empty());
    EXPECT_NE(err.find("1025 taps"), std::string::npos) << err;

    std::string list = "[0";
    for (int i = 1; i < 1025; ++i) list += ",0";
    list += "]";
    err.clear();
    EXPECT_TRUE(zhost::loadKernel(writeText("1025.json", list), &err).empty());
    EXPECT_NE(err.find("1025 taps"), std::string::npos) << err;
}

TEST_F(KernelFile, ReadsAJsonListOfNumbers) {
    std::string err;
    const auto p = writeText("k.JSON", " [0.25, -1, 3e-3, 2]\n");
    EXPECT_EQ(zhost::loadKernel(p, &err), (std::vector<float>{0.25f, -1.0f, 3e-3f, 2.0f})) << err;
}

TEST_F(KernelFile, BadFilesAreErrorsNamingTheFile) {
    struct Case {
        std::string name, text, why;
    };
    const std::vector<Case> cases = {
        {"obj.json", R"({"taps": [1, 2]})", "list of numbers"},
        {"str.json", R"([1, "2"])", "tap 1 is not a number"},
        {"empty.json", "[]", "no taps"},
        {"broken.json", "[1, 2", "malformed JSON"},
        {"huge.json", "[1e39]", "tap 0 is not finite"},
        {"text.wav", "not a sound file", ""},
    };
    for (const auto& c : cases) {
        const auto p = writeText(c.name, c.text);
        std::string err;
        EXPECT_TRUE(zhost::loadKernel(p, &err).empty()) << c.name;
        EXPECT_EQ(err.rfind(p + ": ", 0), 0u) << err;
        EXPECT_NE(err.find(c.why), std::string::npos) << err;
    }
    std::string err;
    EXPECT_TRUE(zhost::loadKernel(path("missing.json"), &err).empty());
    EXPECT_NE(err.find("cannot open"), std::string::npos) << err;
    err.clear();
    EXPECT_TRUE(
        zhost::loadKernel(
            writeSound("nan.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {0.5f, std::nanf("")}), &err)
            .empty());
    EXPECT_NE(err.find("tap 1 is not finite"), std::string::npos) << err;
}

// A blob pin in a patch takes {"file": path} (relative to the patch) as well as a list.
TEST_F(KernelFile, PatchBlobValuesMayNameAKernelFile) {
    const auto k = writeText("patch_kernel.json", "[0.5, 0.25, -2]");
    const std::string dir = k.substr(0, k.rfind('/'));
    const std::string file = k.substr(k.rfind('/') + 1);
    const std::string text = R"({"duration_samples": 64,
        "instances": {"fir": {"module": "ShortConv", "values": {"Kernel": {"file": ")" +
                             file + R"("}}}},
        "events": [{"sample": 10, "pin": "fir.Kernel", "value": {"file": ")" +
                             file +
                             R"("}}, {"sample": 20, "pin": "fir.Kernel", "value": [1, 2]}],
        "outputs": ["fir.Out"]})";
    zhost::Patch p;
    std::string err;
    ASSERT_TRUE(zhost::parsePatch(text, "t.json", dir, &p, &err)) << err;
    const std::vector<float> want = {0.5f, 0.25f, -2.0f};
    std::vector<unsigned char> bytes(want.size() * sizeof(float));
    std::memcpy(bytes.data(), want.data(), bytes.size());
    ASSERT_EQ(p.instances.size(), 1u);
    bool found = false;
    for (const auto& v : p.instances[0].values) found = found || v.bytes == bytes;
    EXPECT_TRUE(found);
    ASSERT_EQ(p.changes.size(), 2u);
    EXPECT_EQ(p.changes[0].value.bytes, bytes);
    EXPECT_EQ(p.changes[1].value.bytes.size(), 8u);

    const std::string missing = R"({"duration_samples": 64,
        "instances": {"fir": {"module": "ShortConv", "values": {"Kernel": {"file": "nope.wav"}}}},
        "outputs": ["fir.Out"]})";
    EXPECT_FALSE(zhost::parsePatch(missing, "t.json", dir, &p, &err));
    EXPECT_NE(err.find("nope.wav"), std::string::npos) << err;
    const std::string wrongKey = R"({"duration_samples": 64,
        "instances": {"fir": {"module": "ShortConv", "values": {"Kernel": {"path": "k.json"}}}},
        "outputs": ["fir.Out"]})";
    EXPECT_FALSE(zhost::parsePatch(wrongKey, "t.json", dir, &p, &err));
}

TEST(KernelFileExample, KernelFilterPatchLoadsItsLowPass) {
    zhost::Patch p;
    std::string err;
    ASSERT_TRUE(zhost::loadPatch(ZDSP_SOURCE_DIR "/examples/kernel_filter.json", &p, &err)) << err;
    const auto taps = zhost::loadKernel(ZDSP_SOURCE_DIR "/examples/kernels/lowpass.json", &err);
    ASSERT_EQ(taps.size(), 63u) << err;
    float sum = 0.0f;
    for (float t : taps) sum += t;
    EXPECT_NEAR(sum, 1.0f, 1e-5f);  // unity gain at DC
}

}  // namespace
