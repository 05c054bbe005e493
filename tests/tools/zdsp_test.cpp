// The zdsp command line: exit codes, one-line errors, no partial output files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "host/audio_file.h"

namespace {

struct Result {
    int code = -1;
    std::string err;  // stderr
    std::string out;  // stdout
};

std::string tempDir() {
    std::string t = ::testing::TempDir() + "zdsp_cliXXXXXX";
    char* d = mkdtemp(t.data());
    return d ? std::string(d) : std::string("/tmp");
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

Result run(const std::string& args, const std::string& dir) {
    const std::string cmd =
        std::string(ZDSP_CLI_PATH) + " " + args + " >" + dir + "/stdout 2>" + dir + "/stderr";
    Result r;
    const int st = std::system(cmd.c_str());
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = slurp(dir + "/stdout");
    r.err = slurp(dir + "/stderr");
    return r;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

const char* kGood = R"({"duration_samples": 1000, "block_size": 32,
  "instances": {"dc": {"module": "DC_Blocker", "values": {"R": 0}}},
  "events": [{"sample": 100, "pin": "dc.Signal", "value": 0.5}],
  "outputs": ["dc.Out"]})";

TEST(Cli, ListShowsTheBasicModulesFoundInTheLibrary) {
    const std::string dir = tempDir();
    const Result r = run("list", dir);
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* id : {"DC_Blocker", "Derivator", "Integrator"}) {
        EXPECT_NE(r.out.find(std::string(id) + "  [0]"), std::string::npos) << r.out;
    }
    EXPECT_NE(r.out.find("R (in, float, default 0.995)"), std::string::npos) << r.out;
}

TEST(Cli, RenderWritesTheFileAndReportsWhenVerbose) {
    const std::string dir = tempDir();
    writeText(dir + "/p.json", kGood);
    const Result r = run("render " + dir + "/p.json -o " + dir + "/o.wav --format pcm24 -v", dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("dc (DC_Blocker): latency 0 samples"), std::string::npos) << r.err;
    zhost::AudioData a;
    std::string err;
    ASSERT_TRUE(zhost::readAudioFile(dir + "/o.wav", &a, &err)) << err;
    EXPECT_EQ(a.frames, 1000);
    EXPECT_EQ(a.at(99, 0), 0.0f);
    EXPECT_EQ(a.at(100, 0), 0.5f);  // exact in 24-bit PCM
    EXPECT_EQ(a.at(101, 0), 0.0f);
}

TEST(Cli, ErrorsAreOneLineWithFileAndItemAndLeaveNoFile) {
    const std::string dir = tempDir();
    const std::string out = dir + "/o.wav";
    writeText(dir + "/bad.json",
              "{\"duration\": 1,\n \"instances\": {\"x\": \"Nope\"},\n"
              " \"outputs\": [\"x.Out\"]}");
    Result r = run("render " + dir + "/bad.json -o " + out, dir);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.err, "zdsp: " + dir + "/bad.json: instances.x: unknown module \"Nope\"\n");
    EXPECT_FALSE(exists(out));

    writeText(dir + "/p.json", kGood);
    r = run("render " + dir + "/p.json -o " + out + " --sem " + dir + "/none.sem", dir);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.err.rfind("zdsp: " + dir + "/none.sem: ", 0), 0u) << r.err;
    EXPECT_FALSE(exists(out));

    r = run("render " + dir + "/missing.json -o " + out, dir);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.err.rfind("zdsp: " + dir + "/missing.json: ", 0), 0u) << r.err;

    // An existing file stays as it was when a render fails.
    writeText(out, "previous");
    writeText(dir + "/cycle.json", R"({"duration": 1, "instances": {"a": "Derivator",
      "b": "Derivator"}, "wires": [{"from": "a.Out", "to": "b.Signal"},
      {"from": "b.Out", "to": "a.Signal"}], "outputs": ["a.Out"]})");
    r = run("render " + dir + "/cycle.json -o " + out, dir);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(slurp(out), "previous");
    const std::string leftovers = "ls " + dir + " | grep -q tmp";
    EXPECT_NE(std::system(leftovers.c_str()), 0) << "temporary file left behind";

    r = run("render " + dir + "/p.json", dir);  // no -o
    EXPECT_NE(r.code, 0);
}

}  // namespace
