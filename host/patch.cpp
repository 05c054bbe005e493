#include "host/patch.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "host/fp_mode.h"
#include "host/kernel_file.h"

namespace zhost {

namespace {

using Json = nlohmann::ordered_json;

// Carries one error out of the parser: "<item>: <reason>".
struct PatchError {
    std::string item;
    std::string reason;
};

[[noreturn]] void fail(const std::string& item, const std::string& reason) {
    throw PatchError{item, reason};
}

std::string describe(const Json& j) {
    std::string s = j.dump();
    if (s.size() > 40) s = s.substr(0, 37) + "...";
    return s;
}

double number(const Json& j, const std::string& item, const std::string& what) {
    if (!j.is_number()) fail(item, what + " must be a number, not " + describe(j));
    const double v = j.get<double>();
    if (!std::isfinite(v)) fail(item, what + " must be finite");
    return v;
}

int64_t integer(const Json& j, const std::string& item, const std::string& what) {
    const double v = number(j, item, what);
    if (v != std::floor(v) || std::fabs(v) > 9.0e15) {
        fail(item, what + " must be a whole number, not " + describe(j));
    }
    return static_cast<int64_t>(v);
}

template <typename T>
std::vector<unsigned char> bytesOf(T v) {
    std::vector<unsigned char> b(sizeof(T));
    std::memcpy(b.data(), &v, sizeof(T));
    return b;
}

std::string joinPath(const std::string& dir, const std::string& file);

// `baseDir` resolves the file of a blob given as {"file": path}.
std::vector<unsigned char> encode(const PinDesc& pin, const Json& j, const std::string& item,
                                  const std::string& baseDir) {
    const std::string what = "value of " + pin.name;
    switch (pin.datatype) {
        case mp::PIN_TYPE_AUDIO:
        case mp::PIN_TYPE_FLOAT:
            if (j.is_boolean()) return bytesOf(j.get<bool>() ? 1.0f : 0.0f);
            return bytesOf(static_cast<float>(number(j, item, what)));
        case mp::PIN_TYPE_INT:
        case mp::PIN_TYPE_ENUM: {
            if (j.is_boolean()) return bytesOf<int32_t>(j.get<bool>() ? 1 : 0);
            const int64_t v = integer(j, item, what);
            if (v < std::numeric_limits<int32_t>::min() ||
                v > std::numeric_limits<int32_t>::max()) {
                fail(item, what + " is out of the int32 range");
            }
            return bytesOf(static_cast<int32_t>(v));
        }
        case mp::PIN_TYPE_BOOL:
            if (j.is_boolean()) return {static_cast<unsigned char>(j.get<bool>() ? 1 : 0)};
            return {static_cast<unsigned char>(number(j, item, what) != 0.0 ? 1 : 0)};
        case mp::PIN_TYPE_BLOB: {
            std::vector<float> v;
            if (j.is_object() && j.size() == 1 && j.contains("file") && j["file"].is_string()) {
                // Taps from a sound file or a JSON list, relative to the patch.
                std::string err;
                v = loadKernel(joinPath(baseDir, j["file"].get<std::string>()), &err);
                if (v.empty()) fail(item, err);
            } else {
                if (!j.is_array()) {
                    fail(item, what + " must be a list of numbers or {\"file\": path}");
                }
                for (const Json& e : j) v.push_back(static_cast<float>(number(e, item, what)));
            }
            std::vector<unsigned char> b(v.size() * sizeof(float));
            if (!b.empty()) std::memcpy(b.data(), v.data(), b.size());
            return b;
        }
        default:
            fail(item, std::string("pins of type ") + datatypeName(pin.datatype) +
                           " take no values here");
    }
}

void checkKeys(const Json& obj, const std::string& item, std::initializer_list<const char*> keys) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool known = false;
        for (const char* k : keys) known = known || it.key() == k;
        if (!known) fail(item, "unknown key \"" + it.key() + "\"");
    }
}

// Seconds ("time"/"start"/"duration") or samples ("…sample"/"…samples").
int64_t samplesOf(const Json& obj, const char* secondsKey, const char* samplesKey, float rate,
                  const std::string& item, bool* given) {
    const bool hasS = obj.contains(secondsKey);
    const bool hasN = obj.contains(samplesKey);
    if (hasS && hasN) {
        fail(item,
             std::string("give either \"") + secondsKey + "\" or \"" + samplesKey + "\", not both");
    }
    *given = hasS || hasN;
    int64_t v = 0;
    if (hasS) {
        const double s = number(obj[secondsKey], item, secondsKey);
        v = std::llround(s * static_cast<double>(rate));
    } else if (hasN) {
        v = integer(obj[samplesKey], item, samplesKey);
    }
    if (v < 0) fail(item, "time must not be negative");
    return v;
}

std::string joinPath(const std::string& dir, const std::string& file) {
    if (file.empty() || file[0] == '/' || dir.empty()) return file;
    return dir.back() == '/' ? dir + file : dir + "/" + file;
}

struct Lookup {
    const Patch& p;
    // Pins of a node by name, or null if there is no such node.
    const std::vector<PinDesc>* pins(const std::string& node, std::vector<PinDesc>* scratch) const {
        for (const auto& i : p.instances) {
            if (i.name == node) return &i.pins;
        }
        for (const auto& s : p.sources) {
            if (s.name == node) {
                scratch->clear();
                for (int32_t c = 0; c < s.audio.channels; ++c) {
                    scratch->push_back(audioOut("Out" + std::to_string(c + 1)));
                }
                return scratch;
            }
        }
        return nullptr;
    }
    bool isSource(const std::string& node) const {
        for (const auto& s : p.sources) {
            if (s.name == node) return true;
        }
        return false;
    }
};

// "inst.pin" -> node name and pin index.
void resolveRef(const Lookup& look, const Json& j, const std::string& item, std::string* node,
                int32_t* pin, const std::vector<PinDesc>** pinsOut, std::vector<PinDesc>* scratch) {
    if (!j.is_string()) fail(item, "expected \"instance.pin\", not " + describe(j));
    const std::string ref = j.get<std::string>();
    const size_t dot = ref.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == ref.size()) {
        fail(item, "expected \"instance.pin\", not \"" + ref + "\"");
    }
    *node = ref.substr(0, dot);
    const std::string pinName = ref.substr(dot + 1);
    const std::vector<PinDesc>* pins = look.pins(*node, scratch);
    if (pins == nullptr) fail(item, "unknown instance \"" + *node + "\"");
    int32_t idx = findPin(*pins, pinName);
    if (idx < 0 && look.isSource(*node) && (pinName == "Out" || pinName == "out")) idx = 0;
    if (idx < 0) fail(item, "unknown pin \"" + pinName + "\" of " + *node);
    *pin = idx;
    *pinsOut = pins;
}

void parse(const Json& root, const std::string& baseDir, Patch* p) {
    if (!root.is_object()) fail("patch", "the top level must be an object");
    checkKeys(
        root, "patch",
        {"sample_rate", "block_size", "duration", "duration_samples", "format", "flush_denormals",
         "instances", "sources", "wires", "events", "outputs", "comment", "description"});
    if (root.contains("sample_rate")) {
        const double sr = number(root["sample_rate"], "sample_rate", "sample_rate");
        if (sr < 1.0 || sr > 1.0e6 || sr != std::floor(sr)) {
            fail("sample_rate", "must be a whole number of Hz between 1 and 1000000");
        }
        p->sampleRate = static_cast<float>(sr);
    }
    if (root.contains("block_size")) {
        const int64_t bs = integer(root["block_size"], "block_size", "block_size");
        if (bs < 1 || bs > 65536) fail("block_size", "must be between 1 and 65536");
        p->blockSize = static_cast<int32_t>(bs);
    }
    if (root.contains("format")) {
        const Json& f = root["format"];
        if (!f.is_string() || !parseSampleFormat(f.get<std::string>(), &p->format)) {
            fail("format", "must be \"float\", \"pcm16\" or \"pcm24\"");
        }
    }
    if (root.contains("flush_denormals")) {
        const Json& f = root["flush_denormals"];
        if (!f.is_boolean()) fail("flush_denormals", "must be true or false");
        p->flushDenormals = f.get<bool>();
    }

    if (root.contains("instances")) {
        const Json& insts = root["instances"];
        if (!insts.is_object()) fail("instances", "must be an object of name: module");
        for (auto it = insts.begin(); it != insts.end(); ++it) {
            const std::string item = "instances." + it.key();
            PatchInstance inst;
            inst.name = it.key();
            if (inst.name.empty() || inst.name.find('.') != std::string::npos) {
                fail(item, "an instance name must be non-empty and contain no '.'");
            }
            const Json& v = it.value();
            Json values;
            if (v.is_string()) {
                inst.module = v.get<std::string>();
            } else if (v.is_object()) {
                checkKeys(v, item, {"module", "inputs", "values", "view", "comment"});
                if (!v.contains("module") || !v["module"].is_string()) {
                    fail(item, "\"module\" (a module identifier) is missing");
                }
                inst.module = v["module"].get<std::string>();
                if (v.contains("inputs")) {
                    const int64_t n = integer(v["inputs"], item, "inputs");
                    if (n < 0 || n > 256) fail(item, "inputs must be between 0 and 256");
                    inst.extraInputs = static_cast<int32_t>(n);
                }
                if (v.contains("values")) {
                    values = v["values"];
                    if (!values.is_object()) fail(item, "\"values\" must be an object pin: value");
                }
            } else {
                fail(item, "expected a module identifier or an object");
            }
            const ModuleDesc* desc = PinCatalog::global().find(inst.module);
            if (desc == nullptr) {
                const std::string s = PinCatalog::global().suggest(inst.module);
                fail(item, "unknown module \"" + inst.module + "\"" +
                               (s.empty() ? "" : " (did you mean \"" + s + "\"?)"));
            }
            if (inst.extraInputs > 0 && !desc->variableInputs) {
                fail(item, inst.module + " takes no extra inputs");
            }
            if (desc->variableInputs && !v.is_object()) inst.extraInputs = desc->defaultExtraInputs;
            if (desc->variableInputs && v.is_object() && !v.contains("inputs")) {
                inst.extraInputs = desc->defaultExtraInputs;
            }
            if (v.is_object() && v.contains("view")) {
                std::string verr;
                if (!parseView(v["view"], inst.module, &inst.view, &verr)) fail(item, verr);
            }
            inst.pins = instancePins(*desc, inst.extraInputs);
            for (auto pv = values.begin(); pv != values.end(); ++pv) {
                const std::string vitem = item + ".values." + pv.key();
                const int32_t pin = findPin(inst.pins, pv.key());
                if (pin < 0) fail(vitem, "unknown pin \"" + pv.key() + "\" of " + inst.module);
                if (inst.pins[pin].direction != mp::PIN_DIR_IN) {
                    fail(vitem, "an output takes no value");
                }
                inst.values.push_back(
                    PatchValue{pin, encode(inst.pins[pin], pv.value(), vitem, baseDir)});
            }
            p->instances.push_back(std::move(inst));
        }
    }

    if (root.contains("sources")) {
        const Json& srcs = root["sources"];
        if (!srcs.is_object()) fail("sources", "must be an object of name: {\"file\": ...}");
        for (auto it = srcs.begin(); it != srcs.end(); ++it) {
            const std::string item = "sources." + it.key();
            PatchSource src;
            src.name = it.key();
            if (src.name.empty() || src.name.find('.') != std::string::npos) {
                fail(item, "a source name must be non-empty and contain no '.'");
            }
            for (const auto& i : p->instances) {
                if (i.name == src.name) fail(item, "the name is already used by an instance");
            }
            const Json& v = it.value();
            Json obj = v.is_string() ? Json{{"file", v}} : v;
            if (!obj.is_object()) fail(item, "expected a file name or an object");
            checkKeys(obj, item, {"file", "start", "start_sample", "comment"});
            if (!obj.contains("file") || !obj["file"].is_string())
                fail(item, "\"file\" is missing");
            src.path = joinPath(baseDir, obj["file"].get<std::string>());
            bool given = false;
            src.start = samplesOf(obj, "start", "start_sample", p->sampleRate, item, &given);
            std::string err;
            if (!readAudioFile(src.path, &src.audio, &err)) {
                fail(item, "cannot read " + src.path + ": " + err);
            }
            if (static_cast<float>(src.audio.sampleRate) != p->sampleRate) {
                fail(item, src.path + " has a sample rate of " +
                               std::to_string(src.audio.sampleRate) + " Hz, the patch " +
                               std::to_string(static_cast<int64_t>(p->sampleRate)) + " Hz");
            }
            p->sources.push_back(std::move(src));
        }
    }

    const Lookup look{*p};
    std::vector<PinDesc> scratchA, scratchB;
    if (root.contains("wires")) {
        const Json& wires = root["wires"];
        if (!wires.is_array()) fail("wires", "must be a list");
        for (size_t i = 0; i < wires.size(); ++i) {
            const std::string item = "wires[" + std::to_string(i) + "]";
            const Json& w = wires[i];
            if (!w.is_object() || !w.contains("from") || !w.contains("to")) {
                fail(item, "expected {\"from\": \"inst.pin\", \"to\": \"inst.pin\"}");
            }
            checkKeys(w, item, {"from", "to", "comment"});
            PatchWire pw;
            pw.item = item;
            const std::vector<PinDesc>* fa = nullptr;
            const std::vector<PinDesc>* fb = nullptr;
            resolveRef(look, w["from"], item, &pw.fromNode, &pw.fromPin, &fa, &scratchA);
            resolveRef(look, w["to"], item, &pw.toNode, &pw.toPin, &fb, &scratchB);
            const PinDesc& a = (*fa)[pw.fromPin];
            const PinDesc& b = (*fb)[pw.toPin];
            if (a.direction != mp::PIN_DIR_OUT) fail(item, "\"from\" " + a.name + " is an input");
            if (b.direction != mp::PIN_DIR_IN) fail(item, "\"to\" " + b.name + " is an output");
            auto isInt = [](int32_t t) { return t == mp::PIN_TYPE_INT || t == mp::PIN_TYPE_ENUM; };
            if (a.datatype != b.datatype && !(isInt(a.datatype) && isInt(b.datatype))) {
                fail(item, std::string("cannot wire ") + datatypeName(a.datatype) + " output " +
                               pw.fromNode + "." + a.name + " to " + datatypeName(b.datatype) +
                               " input " + pw.toNode + "." + b.name);
            }
            for (const PatchWire& o : p->wires) {
                if (b.datatype == mp::PIN_TYPE_AUDIO && o.toNode == pw.toNode &&
                    o.toPin == pw.toPin) {
                    fail(item, pw.toNode + "." + b.name + " already has a wire (" + o.item +
                                   "); an audio input takes one");
                }
            }
            p->wires.push_back(pw);
        }
    }

    if (root.contains("events")) {
        const Json& evs = root["events"];
        if (!evs.is_array()) fail("events", "must be a list");
        for (size_t i = 0; i < evs.size(); ++i) {
            const std::string item = "events[" + std::to_string(i) + "]";
            const Json& e = evs[i];
            if (!e.is_object()) fail(item, "expected an object");
            checkKeys(e, item, {"time", "sample", "pin", "value", "comment"});
            if (!e.contains("pin") || !e.contains("value")) {
                fail(item, "needs \"pin\" (\"inst.pin\") and \"value\"");
            }
            bool given = false;
            PatchChange c;
            c.item = item;
            c.sample = samplesOf(e, "time", "sample", p->sampleRate, item, &given);
            if (!given) fail(item, "needs \"time\" (seconds) or \"sample\"");
            const std::vector<PinDesc>* pins = nullptr;
            resolveRef(look, e["pin"], item, &c.node, &c.value.pin, &pins, &scratchA);
            const PinDesc& pd = (*pins)[c.value.pin];
            if (pd.direction != mp::PIN_DIR_IN) fail(item, pd.name + " is an output");
            if (pd.datatype == mp::PIN_TYPE_AUDIO) {
                for (const PatchWire& w : p->wires) {
                    if (w.toNode == c.node && w.toPin == c.value.pin) {
                        fail(item, c.node + "." + pd.name + " is wired (" + w.item +
                                       "); only unconnected audio inputs take values");
                    }
                }
            }
            c.value.bytes = encode(pd, e["value"], item, baseDir);
            p->changes.push_back(std::move(c));
        }
    }

    // Values on wired audio inputs would be silently ignored: refuse them.
    for (const PatchInstance& inst : p->instances) {
        for (const PatchValue& v : inst.values) {
            if (inst.pins[v.pin].datatype != mp::PIN_TYPE_AUDIO) continue;
            for (const PatchWire& w : p->wires) {
                if (w.toNode == inst.name && w.toPin == v.pin) {
                    fail("instances." + inst.name + ".values." + inst.pins[v.pin].name,
                         "the input is wired (" + w.item + "); it takes no value");
                }
            }
        }
    }

    if (!root.contains("outputs")) fail("outputs", "missing: list the \"inst.pin\" to record");
    const Json& outs = root["outputs"];
    if (!outs.is_array() || outs.empty())
        fail("outputs", "must be a non-empty list of \"inst.pin\"");
    for (size_t i = 0; i < outs.size(); ++i) {
        const std::string item = "outputs[" + std::to_string(i) + "]";
        PatchOutput o;
        const std::vector<PinDesc>* pins = nullptr;
        resolveRef(look, outs[i], item, &o.node, &o.pin, &pins, &scratchA);
        const PinDesc& pd = (*pins)[o.pin];
        if (pd.direction != mp::PIN_DIR_OUT || pd.datatype != mp::PIN_TYPE_AUDIO) {
            fail(item, pd.name + " is not an audio output");
        }
        p->outputs.push_back(o);
    }

    bool given = false;
    p->durationSamples =
        samplesOf(root, "duration", "duration_samples", p->sampleRate, "duration", &given);
    if (!given) {
        // Without a duration, play every source to its end.
        if (p->sources.empty()) fail("duration", "missing (seconds, or \"duration_samples\")");
        for (const PatchSource& s : p->sources) {
            p->durationSamples = std::max(p->durationSamples, s.start + s.audio.frames);
        }
    }
}

}  // namespace

bool parsePatch(const std::string& text, const std::string& label, const std::string& baseDir,
                Patch* out, std::string* error) {
    Json root;
    try {
        root = Json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        // Turn the byte position into a line and column.
        size_t line = 1, col = 1;
        const size_t end = std::min<size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
        for (size_t i = 0; i < end; ++i) {
            if (text[i] == '\n') {
                ++line;
                col = 1;
            } else {
                ++col;
            }
        }
        std::string what = e.what();
        // Keep the reason only; the position is given in front already.
        const size_t cut = what.find(": ", what.find("parse error"));
        if (cut != std::string::npos) what = what.substr(cut + 2);
        *error = label + ": line " + std::to_string(line) + ", column " + std::to_string(col) +
                 ": malformed JSON (" + what + ")";
        return false;
    } catch (const nlohmann::json::exception& e) {
        // Well-formed text the parser still refuses, such as a number too
        // large for a double (1e999).
        std::string what = e.what();
        const size_t cut = what.find("] ");
        if (cut != std::string::npos) what = what.substr(cut + 2);
        *error = label + ": malformed JSON (" + what + ")";
        return false;
    }
    Patch p;
    p.path = label;
    try {
        parse(root, baseDir, &p);
    } catch (const PatchError& e) {
        *error = label + ": " + e.item + ": " + e.reason;
        return false;
    } catch (const nlohmann::json::exception& e) {
        *error = label + ": patch: " + e.what();
        return false;
    }
    *out = std::move(p);
    return true;
}

bool loadPatch(const std::string& path, Patch* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": file: cannot open";
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    return parsePatch(ss.str(), path, dir, out, error);
}

std::unique_ptr<Graph> buildGraph(const Patch& patch, const Library& lib, std::string* error) {
    auto g = std::make_unique<Graph>(lib, patch.sampleRate, patch.blockSize);
    std::string err;
    auto failWith = [&](const std::string& item) {
        *error = patch.path + ": " + item + ": " + err;
        return nullptr;
    };
    for (const PatchInstance& inst : patch.instances) {
        const int32_t n = g->addInstance(inst.name, inst.module, inst.extraInputs, &err);
        if (n < 0) {
            err = "cannot create " + inst.module + " from " + lib.path() + " (" + err + ")";
            return failWith("instances." + inst.name);
        }
        for (const PatchValue& v : inst.values) {
            if (!g->setInitial(n, v.pin, v.bytes, &err)) return failWith("instances." + inst.name);
        }
    }
    for (const PatchSource& s : patch.sources) {
        std::vector<std::vector<float>> chans;
        for (int32_t c = 0; c < s.audio.channels; ++c) chans.push_back(s.audio.channel(c));
        if (g->addSource(s.name, std::move(chans), s.start, &err) < 0) {
            return failWith("sources." + s.name);
        }
    }
    for (const PatchWire& w : patch.wires) {
        if (!g->connect(g->findNode(w.fromNode), w.fromPin, g->findNode(w.toNode), w.toPin, &err)) {
            return failWith(w.item);
        }
    }
    for (const PatchChange& c : patch.changes) {
        // Changes at or after the end cannot take effect; they are dropped.
        if (c.sample >= patch.durationSamples) continue;
        if (!g->addChange(c.sample, g->findNode(c.node), c.value.pin, c.value.bytes, &err)) {
            return failWith(c.item);
        }
    }
    if (!g->prepare(&err)) return failWith("wires");
    return g;
}

bool renderPatch(const Patch& patch, const Library& lib, const std::string& outPath,
                 const RenderOptions& options, RenderReport* report, std::string* error) {
    // Set before the instances are opened, so that tables they fill see it too.
    const DenormalMode fpMode(options.flushDenormals && patch.flushDenormals);
    std::unique_ptr<Graph> g = buildGraph(patch, lib, error);
    if (!g) return false;
    const int32_t channels = static_cast<int32_t>(patch.outputs.size());
    std::vector<const float*> taps;
    for (const PatchOutput& o : patch.outputs) taps.push_back(g->audio(g->findNode(o.node), o.pin));

    // Pictures named without a directory land beside the sound file.
    const auto besideOutput = [&outPath](const std::string& name) {
        if (name.empty() || name.front() == '/') return name;
        const size_t slash = outPath.find_last_of('/');
        return slash == std::string::npos ? name : outPath.substr(0, slash + 1) + name;
    };
    PatchViews views;
    for (const PatchInstance& inst : patch.instances) {
        if (!inst.view.present) continue;
        PatchView view = inst.view;
        view.png = besideOutput(view.png);
        view.sequence = besideOutput(view.sequence);
        if (!views.add(g->findNode(inst.name), inst.module, view, lib, error)) return false;
    }
    if (!views.empty()) g->setObserver(&views);

    AudioWriter writer;
    std::string err;
    const SampleFormat fmt = options.formatGiven ? options.format : patch.format;
    if (!writer.open(outPath, channels, static_cast<int32_t>(patch.sampleRate), fmt, &err)) {
        *error = outPath + ": output: " + err;
        return false;
    }
    const int32_t bs = patch.blockSize;
    std::vector<float> block(static_cast<size_t>(bs) * static_cast<size_t>(channels));
    const int64_t total = patch.durationSamples;
    int64_t done = 0;
    while (done < total) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(bs, total - done));
        g->runBlock(n);
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t c = 0; c < channels; ++c)
                block[static_cast<size_t>(i * channels + c)] = taps[c][i];
        }
        if (!writer.write(block.data(), n, &err)) {
            *error = outPath + ": output: " + err;
            return false;  // the writer removes its temporary file
        }
        done += n;
        if (!views.empty() && !views.afterBlock(done, error)) return false;
        if (options.progress && (done & 0xFFFF) < static_cast<int64_t>(n))
            options.progress(done, total);
    }
    if (!writer.commit(&err)) {
        *error = outPath + ": output: " + err;
        return false;
    }
    if (!views.empty() && !views.finish(error)) return false;
    if (options.progress) options.progress(total, total);
    if (report != nullptr) {
        report->samples = total;
        report->nodes.clear();
        for (int32_t idx = 0; idx < g->nodeCount(); ++idx) {
            if (g->isSource(idx)) continue;
            report->nodes.push_back(RenderReport::Node{g->nodeName(idx), g->nodeModule(idx),
                                                       g->latency(idx), g->stats(idx)});
        }
    }
    return true;
}

}  // namespace zhost
