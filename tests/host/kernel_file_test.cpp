// Kernel files: sound files (first channel) and JSON lists, and the errors
// that keep a wrong file from silently changing a filter.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "host/kernel_file.h"

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
        sf_writef_float(f, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / channels));
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
    const auto mono = writeSound("mono.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                 {0.1f, -0.25f, 1e-7f});
    EXPECT_EQ(zhost::loadKernel(mono, &err), (std::vector<float>{0.1f, -0.25f, 1e-7f})) << err;

    const auto stereo = writeSound("stereo.wav", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                   {0.5f, 9.0f, 0.25f, 9.0f});
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
    EXPECT_TRUE(zhost::loadKernel(writeSound("nan.wav", 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                             {0.5f, std::nanf("")}),
                                  &err)
                    .empty());
    EXPECT_NE(err.find("tap 1 is not finite"), std::string::npos) << err;
}

}  // namespace
