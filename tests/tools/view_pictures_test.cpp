// Pictures of display instances: where they land and how sequences count.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "host/patch.h"
#include "support/test_support.h"

namespace {

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string tempDir() {
    std::string t = ::testing::TempDir() + "zdsp_viewXXXXXX";
    char* d = mkdtemp(t.data());
    return d ? std::string(d) : std::string("/tmp");
}

// A sweeping scope on a constant input: one frame every 1600 samples at
// 48 kHz, and one (empty) frame published at graph start.
std::string scopePatch(const std::string& viewExtra) {
    return R"({"sample_rate": 48000, "block_size": 64, "duration_samples": 8000,
      "instances": {"scope": {"module": "Oscilloscope", "values": {"Mode": 0, "Y": 0.5},
        "view": {"width": 64, "height": 48, "png": "final.png")" +
           viewExtra + R"(}}, "d": "Derivator"},
      "outputs": ["d.Out"]})";
}

void render(const std::string& text, const std::string& out, std::string* error, bool* ok) {
    zhost::Patch patch;
    ASSERT_TRUE(zhost::parsePatch(text, "t.json", "/tmp", &patch, error)) << *error;
    zhost::RenderOptions options;
    *ok = zhost::renderPatch(patch, ztest::library(), out, options, nullptr, error);
}

TEST(ViewPictures, LandBesideTheSoundFileAndCountFrames) {
    const std::string dir = tempDir();
    std::string error;
    bool ok = false;
    render(scopePatch(R"(, "sequence": "seq_##.png", "every_frames": 2)"), dir + "/out.wav", &error,
           &ok);
    ASSERT_TRUE(ok) << error;
    EXPECT_TRUE(exists(dir + "/out.wav"));
    EXPECT_TRUE(exists(dir + "/final.png"));
    // 1 + 5 frames delivered (graph start, then at 1600 .. 8000): pictures
    // after the 2nd, 4th and 6th.
    EXPECT_TRUE(exists(dir + "/seq_00.png"));
    EXPECT_TRUE(exists(dir + "/seq_01.png"));
    EXPECT_TRUE(exists(dir + "/seq_02.png"));
    EXPECT_FALSE(exists(dir + "/seq_03.png"));
}

TEST(ViewPictures, SequenceNeedsExactlyOneSpacing) {
    zhost::Patch patch;
    std::string error;
    EXPECT_FALSE(zhost::parsePatch(scopePatch(R"(, "sequence": "s_#.png")"), "t.json", "/tmp",
                                   &patch, &error));
    EXPECT_NE(error.find("every_frames"), std::string::npos) << error;
    EXPECT_FALSE(
        zhost::parsePatch(scopePatch(R"(, "sequence": "s_#.png", "every": 100, "every_frames": 1)"),
                          "t.json", "/tmp", &patch, &error));
    EXPECT_FALSE(zhost::parsePatch(scopePatch(R"(, "sequence": "s_#.png", "every_frames": 0)"),
                                   "t.json", "/tmp", &patch, &error));
}

}  // namespace
