// Patch files: parsing, one-line errors naming file and item, and rendering.
#include "host/patch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "host/audio_file.h"
#include "support/test_support.h"

namespace {

std::string tempDir() {
    std::string t = ::testing::TempDir() + "zdsp_patchXXXXXX";
    char* d = mkdtemp(t.data());
    return d ? std::string(d) : std::string("/tmp");
}

std::string parseError(const std::string& text, const std::string& baseDir = "/nonexistent") {
    zhost::Patch p;
    std::string err;
    EXPECT_FALSE(zhost::parsePatch(text, "p.json", baseDir, &p, &err));
    EXPECT_EQ(err.find('\n'), std::string::npos) << err;
    EXPECT_EQ(err.rfind("p.json: ", 0), 0u) << err;
    return err;
}

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

TEST(Patch, ParsesTimesPinsAndValues) {
    const std::string text = R"({
      "sample_rate": 32000, "block_size": 16, "duration": 0.5,
      "instances": {"dc": {"module": "DC_Blocker", "values": {"r": 0.5, "signal": 0.25}},
                    "d": "Derivator"},
      "wires": [{"from": "dc.Out", "to": "d.0"}],
      "events": [{"time": 0.001, "pin": "dc.Signal", "value": 1},
                 {"sample": 7, "pin": "dc.R", "value": 0}],
      "outputs": ["d.Out", "dc.2"]
    })";
    zhost::Patch p;
    std::string err;
    ASSERT_TRUE(zhost::parsePatch(text, "p.json", ".", &p, &err)) << err;
    EXPECT_EQ(p.sampleRate, 32000.0f);
    EXPECT_EQ(p.blockSize, 16);
    EXPECT_EQ(p.durationSamples, 16000);
    ASSERT_EQ(p.instances.size(), 2u);
    ASSERT_EQ(p.instances[0].values.size(), 2u);
    EXPECT_EQ(p.instances[0].values[0].pin, 1);  // names match ignoring case
    EXPECT_EQ(p.instances[0].values[1].pin, 0);
    ASSERT_EQ(p.changes.size(), 2u);
    EXPECT_EQ(p.changes[0].sample, 32);
    EXPECT_EQ(p.changes[1].sample, 7);
    ASSERT_EQ(p.wires.size(), 1u);
    EXPECT_EQ(p.wires[0].fromPin, 2);
    EXPECT_EQ(p.wires[0].toPin, 0);
    ASSERT_EQ(p.outputs.size(), 2u);
    EXPECT_EQ(p.outputs[1].pin, 2);
}

TEST(Patch, ErrorsNameTheItem) {
    EXPECT_TRUE(contains(parseError("{\n  \"duration\": 1,\n  \"instances\": {,}\n}"), "line 3"));
    // A number beyond double range is refused by the JSON reader, not thrown past it.
    EXPECT_TRUE(contains(parseError(R"({"duration": 1e999})"), "number overflow")) << "1e999";
    const std::string base = R"("duration": 1, "outputs": ["d.Out"], )";
    const std::string inst = R"("instances": {"d": "Derivator"}, )";
    std::string e = parseError("{" + base + R"("instances": {"d": "derivator"}})");
    EXPECT_TRUE(contains(e, "instances.d: unknown module")) << e;
    EXPECT_TRUE(contains(e, "did you mean \"Derivator\"")) << e;
    e = parseError("{" + base + inst + R"("events": [{"time": 0, "pin": "d.Nope", "value": 1}]})");
    EXPECT_TRUE(contains(e, "events[0]: unknown pin \"Nope\"")) << e;
    e = parseError("{" + base + inst + R"("wires": [{"from": "d.Signal", "to": "d.Out"}]})");
    EXPECT_TRUE(contains(e, "wires[0]:")) << e;
    e = parseError(R"({"duration": 1, "outputs": ["d.Out"], "instances": {"d": "Derivator",
        "dc": "DC_Blocker"}, "wires": [{"from": "d.Out", "to": "dc.R"}]})");
    EXPECT_TRUE(contains(e, "wires[0]: cannot wire audio output d.Out to float input dc.R")) << e;
    e = parseError(R"({"duration": 1, "outputs": ["d.Out"], "instances": {"d": "Derivator",
        "e": "Derivator", "f": "Derivator"}, "wires": [{"from": "e.Out", "to": "d.Signal"},
        {"from": "f.Out", "to": "d.Signal"}]})");
    EXPECT_TRUE(contains(e, "wires[1]:")) << e;
    e = parseError("{" + base + inst + R"("sources": {"s": {"file": "missing.wav"}}})");
    EXPECT_TRUE(contains(e, "sources.s: cannot read /nonexistent/missing.wav")) << e;
    e = parseError("{" + base + inst +
                   R"("events": [{"time": -1, "pin": "d.Signal", "value": 1}]})");
    EXPECT_TRUE(contains(e, "events[0]")) << e;
    e = parseError(R"({"outputs": ["d.Out"], "instances": {"d": "Derivator"}})");
    EXPECT_TRUE(contains(e, "duration: missing")) << e;
    e = parseError("{" + base + inst + R"("sampel_rate": 48000})");
    EXPECT_TRUE(contains(e, "unknown key \"sampel_rate\"")) << e;
    e = parseError(R"({"duration": 1, "outputs": ["d.Signal"], "instances": {"d": "Derivator"}})");
    EXPECT_TRUE(contains(e, "outputs[0]: Signal is not an audio output")) << e;
    e = parseError("{" + base +
                   R"("instances": {"dc": {"module": "DC_Blocker", "values": {"R": [1]}}}})");
    EXPECT_TRUE(contains(e, "instances.dc.values.R")) << e;
}

TEST(Patch, RendersFileSourcesThroughModulesToFloatWav) {
    const std::string dir = tempDir();
    // An input file in 16-bit PCM: steps of 0.5 read back exactly.
    std::vector<float> in = {0.0f, 0.5f, 0.5f, -0.5f, 0.0f};
    std::string err;
    ASSERT_TRUE(
        zhost::writeAudioFile(dir + "/in.wav", in, 1, 48000, zhost::SampleFormat::Pcm16, &err))
        << err;
    const std::string text = R"({"block_size": 4, "duration_samples": 12,
      "sources": {"s": {"file": "in.wav", "start_sample": 3}},
      "instances": {"d": "Derivator"},
      "wires": [{"from": "s.Out", "to": "d.Signal"}],
      "outputs": ["s.Out", "d.Out"]})";
    zhost::Patch p;
    ASSERT_TRUE(zhost::parsePatch(text, "p.json", dir, &p, &err)) << err;
    zhost::RenderReport report;
    ASSERT_TRUE(zhost::renderPatch(p, ztest::library(), dir + "/out.wav", {}, &report, &err))
        << err;
    zhost::AudioData out;
    ASSERT_TRUE(zhost::readAudioFile(dir + "/out.wav", &out, &err)) << err;
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.frames, 12);
    const float src[12] = {0, 0, 0, 0, 0.5f, 0.5f, -0.5f, 0, 0, 0, 0, 0};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(out.at(i, 0), src[i]) << i;
        EXPECT_EQ(out.at(i, 1), src[i] - (i ? src[i - 1] : 0.0f)) << i;
    }
    ASSERT_EQ(report.nodes.size(), 1u);
    EXPECT_EQ(report.nodes[0].latency, 0);
}

TEST(Patch, FailedRenderLeavesNoFile) {
    const std::string dir = tempDir();
    zhost::Patch p;
    std::string err;
    ASSERT_TRUE(zhost::parsePatch(
        R"({"duration": 0.01, "instances": {"d": "Derivator"}, "outputs": ["d.Out"]})", "p.json",
        dir, &p, &err))
        << err;
    EXPECT_FALSE(
        zhost::renderPatch(p, ztest::library(), dir + "/no/such/dir/out.wav", {}, nullptr, &err));
    // A cycle is found only when the graph is built: nothing is written either.
    ASSERT_TRUE(zhost::parsePatch(
        R"({"duration": 0.01, "instances": {"a": "Derivator", "b": "Derivator"},
            "wires": [{"from": "a.Out", "to": "b.Signal"}, {"from": "b.Out", "to": "a.Signal"}],
            "outputs": ["a.Out"]})",
        "p.json", dir, &p, &err))
        << err;
    EXPECT_FALSE(zhost::renderPatch(p, ztest::library(), dir + "/out.wav", {}, nullptr, &err));
    EXPECT_TRUE(contains(err, "cycle")) << err;
    struct stat st;
    EXPECT_NE(::stat((dir + "/out.wav").c_str(), &st), 0);
}

TEST(AudioFile, WriterRemovesItsTemporaryFileWhenNotCommitted) {
    const std::string dir = tempDir();
    std::string err;
    {
        zhost::AudioWriter w;
        ASSERT_TRUE(w.open(dir + "/x.wav", 1, 48000, zhost::SampleFormat::Pcm24, &err)) << err;
        const float s[3] = {0.1f, 0.2f, 0.3f};
        ASSERT_TRUE(w.write(s, 3, &err)) << err;
    }
    const std::string cmd = "test -z \"$(ls -A " + dir + ")\"";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "directory not empty";
}

}  // namespace
