// Patch files: a JSON description of a graph (instances, sound-file sources,
// wires, initial and timed pin values, the outputs to record) and the render
// that turns one into a sound file. See docs/patch-format.md.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/audio_file.h"
#include "host/graph.h"
#include "host/gui_render.h"
#include "host/host_core.h"

namespace zhost {

struct PatchValue {
    int32_t pin = -1;
    std::vector<unsigned char> bytes;  // encoded for the pin's data type
};

struct PatchInstance {
    std::string name;
    std::string module;
    int32_t extraInputs = 0;
    std::vector<PinDesc> pins;
    std::vector<PatchValue> values;
    PatchView view;  // the display's picture, for instances with a GUI half
};

struct PatchSource {
    std::string name;
    std::string path;
    AudioData audio;
    int64_t start = 0;
};

struct PatchWire {
    std::string item;  // "wires[3]", for error messages
    std::string fromNode, toNode;
    int32_t fromPin = -1, toPin = -1;
};

struct PatchChange {
    std::string item;
    int64_t sample = 0;
    std::string node;
    PatchValue value;
};

struct PatchOutput {
    std::string node;
    int32_t pin = -1;
};

struct Patch {
    std::string path;
    float sampleRate = 48000.0f;
    int32_t blockSize = 64;
    int64_t durationSamples = 0;
    SampleFormat format = SampleFormat::Float32;
    // Flush denormals to zero while rendering ("flush_denormals": false turns it off).
    bool flushDenormals = true;
    std::vector<PatchInstance> instances;
    std::vector<PatchSource> sources;
    std::vector<PatchWire> wires;
    std::vector<PatchChange> changes;
    std::vector<PatchOutput> outputs;
};

// Reads and checks a patch file. Errors read "<file>: <item>: <reason>".
bool loadPatch(const std::string& path, Patch* out, std::string* error);
// The same from text; `label` names the file in errors, relative sound-file
// paths are taken from `baseDir`.
bool parsePatch(const std::string& text, const std::string& label, const std::string& baseDir,
                Patch* out, std::string* error);

// Builds and prepares the graph of a patch.
std::unique_ptr<Graph> buildGraph(const Patch& patch, const Library& lib, std::string* error);

struct RenderOptions {
    bool formatGiven = false;  // true: use `format` instead of the patch's
    SampleFormat format = SampleFormat::Float32;
    // The rendering thread runs with flush-to-zero and denormals-are-zero, as
    // audio hosts do, unless this or the patch turns it off.
    bool flushDenormals = true;
    std::function<void(int64_t done, int64_t total)> progress;  // called now and then
};

struct RenderReport {
    struct Node {
        std::string name, module;
        int32_t latency = 0;
        NodeStats stats;
    };
    std::vector<Node> nodes;
    int64_t samples = 0;
};

// Renders the whole patch into `outPath`; on failure no file is left there.
bool renderPatch(const Patch& patch, const Library& lib, const std::string& outPath,
                 const RenderOptions& options, RenderReport* report, std::string* error);

}  // namespace zhost
