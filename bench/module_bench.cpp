// Cost of every catalogued DSP module through the binary interface, at 48 kHz
// and block sizes 16, 64 and 512, in three situations: streaming input,
// streaming input with a control event every 100 samples, and idle (inputs
// static, the instance asleep while the host keeps calling it). Beside them:
// the same arithmetic in hand-written loops, and textbook references.
//
// Names are "kind|module|case|block" so that tools/bench_report.py can
// split them; tools/bench_report.py turns the JSON output into BENCHMARKS.md.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/baselines.h"
#include "bench/rig.h"
#include "host/fp_mode.h"
#include "host/graph.h"
#include "host/pin_catalog.h"

namespace {

using namespace zbench;
using zhost::ModuleDesc;

constexpr int32_t kBlocks[] = {16, 64, 512};

// Modules whose host-side descriptions may not exist yet still get measured.
ModuleDesc diracFallback() {
    ModuleDesc d;
    d.id = "Dirac";
    d.pins = {zhost::boolIn("Enable", true),       zhost::audioIn("Amplitude"),
              zhost::enumIn("Scaling", 0),         zhost::audioIn("Frequency", 0.044),
              zhost::enumIn("Freq Scale", 0),      zhost::boolIn("Band Limited", true),
              zhost::boolIn("Remove Mean", false), zhost::audioOut("Out")};
    return d;
}

std::vector<ModuleDesc> benchModules() {
    std::vector<ModuleDesc> out;
    for (const ModuleDesc* d : zhost::PinCatalog::global().modules()) out.push_back(*d);
    if (zhost::PinCatalog::global().find("Dirac") == nullptr) out.push_back(diracFallback());
    return out;
}

// Pins a module's audio output onto a comparable buffer index.
int32_t firstAudioOut(const std::vector<zhost::PinDesc>& pins) {
    for (size_t i = 0; i < pins.size(); ++i)
        if (pins[i].direction == mp::PIN_DIR_OUT && pins[i].datatype == mp::PIN_TYPE_AUDIO)
            return static_cast<int32_t>(i);
    return -1;
}

void moduleBench(benchmark::State& st, ModuleDesc desc, Scenario sc, int32_t block) {
    Rig rig(desc, sc, block);
    if (!rig.ok()) {
        st.SkipWithError(rig.error().c_str());
        return;
    }
    bool asleep = false;
    if (sc == Scenario::Idle) {
        asleep = rig.settleAsleep();
    } else {
        // Past the start, and past the first cycle of lazily built state.
        for (int32_t i = 0; i < 8; ++i) rig.block();
    }
    const int64_t before = rig.sleepRequests();
    for (auto _ : st) rig.block();
    st.SetItemsProcessed(st.iterations() * block);
    if (sc == Scenario::Idle) {
        st.counters["asleep"] = asleep ? 1 : 0;
        st.counters["sleep_calls"] = static_cast<double>(rig.sleepRequests() - before) /
                                     static_cast<double>(st.iterations());
    }
}

// Idle instances in the reference host's graph, inputs unconnected at their
// idle values: once they have asked to sleep, what a block costs the graph
// per instance (it skips a sleeping instance that has no events). Several
// instances share one graph, so the graph's own per-block work is spread
// as it is in a real patch.
constexpr int32_t kGraphInstances = 16;

void graphAsleepBench(benchmark::State& st, ModuleDesc desc, int32_t block) {
    zhost::Graph g(library(), 48000.0f, block);
    std::string error;
    for (int32_t k = 0; k < kGraphInstances; ++k) {
        const int32_t node =
            g.addInstance("m" + std::to_string(k), desc.id, desc.defaultExtraInputs, &error);
        if (node < 0) {
            st.SkipWithError(error.c_str());
            return;
        }
        const auto& pins = g.pins(node);
        const auto feeds = feedsFor(desc, Scenario::Idle, pins);
        for (size_t i = 0; i < pins.size(); ++i) {
            if (pins[i].direction != mp::PIN_DIR_IN || pins[i].datatype == mp::PIN_TYPE_MIDI)
                continue;
            g.setInitial(node, static_cast<int32_t>(i), feedBytes(pins[i], feeds[i]), &error);
        }
    }
    if (!g.prepare(&error)) {
        st.SkipWithError(error.c_str());
        return;
    }
    auto allAsleep = [&] {
        for (int32_t k = 0; k < kGraphInstances; ++k)
            if (!g.asleep(k)) return false;
        return true;
    };
    for (int32_t n = 0; n < 48000 / block + 2 && !allAsleep(); ++n) g.runBlock(block);
    const bool asleep = allAsleep();
    for (auto _ : st) g.runBlock(block);
    // Per instance: one instance's share of the graph's block.
    st.SetItemsProcessed(st.iterations() * block * kGraphInstances);
    st.counters["asleep"] = asleep ? 1 : 0;
    st.counters["instances"] = kGraphInstances;
}

// The module and its hand loop fed the same input from the same start:
// the comparison is fair only if both compute the same samples.
bool sameOutput(const ModuleDesc& desc, int32_t block) {
    Rig rig(desc, Scenario::Stream, block);
    const auto pins = zhost::instancePins(desc, desc.defaultExtraInputs);
    const auto feeds = feedsFor(desc, Scenario::Stream, pins);
    std::vector<std::vector<float>> bufs(pins.size(), std::vector<float>(block, 0.0f));
    std::vector<float> blob;
    for (size_t i = 0; i < pins.size(); ++i) {
        if (pins[i].direction == mp::PIN_DIR_IN) fillFeed(feeds[i], bufs[i].data(), block, 0);
        if (pins[i].datatype == mp::PIN_TYPE_BLOB) blob = feeds[i].blob;
    }
    auto loop = makeBaseline(desc.id, bufs, blob);
    const int32_t out = firstAudioOut(pins);
    if (!rig.ok() || !loop || out < 0) return false;
    for (int32_t b = 0; b < 8; ++b) {
        rig.block();
        loop->run(block);
        if (std::memcmp(rig.buffer(out), bufs[out].data(), block * sizeof(float)) != 0)
            return false;
    }
    return true;
}

void baselineBench(benchmark::State& st, ModuleDesc desc, int32_t block) {
    const auto pins = zhost::instancePins(desc, desc.defaultExtraInputs);
    const auto feeds = feedsFor(desc, Scenario::Stream, pins);
    std::vector<std::vector<float>> bufs(pins.size(), std::vector<float>(block, 0.0f));
    std::vector<float> blob;
    for (size_t i = 0; i < pins.size(); ++i) {
        if (pins[i].direction == mp::PIN_DIR_IN) fillFeed(feeds[i], bufs[i].data(), block, 0);
        if (pins[i].datatype == mp::PIN_TYPE_BLOB) blob = feeds[i].blob;
    }
    // The host the module's reports go to in its own benchmark, for the hand
    // loops that report the same switches.
    zhost::SharedTableStore tables;
    std::vector<zhost::PinInfo> infos;
    for (const zhost::PinDesc& p : pins) infos.push_back({p.direction, p.datatype});
    zhost::InstanceHost host(tables, infos, 48000.0f, block);
    SleepCounter listener;
    host.setListener(&listener);
    auto loop = makeBaseline(desc.id, bufs, blob, &host);
    for (int32_t i = 0; i < 8; ++i) loop->run(block);
    for (auto _ : st) {
        loop->run(block);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * block);
    st.counters["identical"] = sameOutput(desc, block) ? 1 : 0;
}

std::vector<float> inputSignal(const ModuleDesc& desc, int32_t pin, int32_t block) {
    const auto pins = zhost::instancePins(desc, desc.defaultExtraInputs);
    const auto feeds = feedsFor(desc, Scenario::Stream, pins);
    std::vector<float> v(block);
    fillFeed(feeds[pin], v.data(), block, 0);
    return v;
}

void referenceBench(benchmark::State& st, std::unique_ptr<Loop> loop, int32_t block) {
    for (int32_t i = 0; i < 8; ++i) loop->run(block);
    for (auto _ : st) {
        loop->run(block);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * block);
}

// A comb filter whose loop holds signals in the denormal range, the way a
// decaying tail passes through it, with and without flush-to-zero.
void denormalBench(benchmark::State& st, ModuleDesc desc, bool flush, int32_t block) {
    Rig rig(desc, Scenario::Stream, block);
    if (!rig.ok()) {
        st.SkipWithError(rig.error().c_str());
        return;
    }
    zhost::DenormalMode mode(flush);
    float* in = rig.buffer(0);
    for (int32_t i = 0; i < block; ++i) in[i] = 1e-39f * static_cast<float>(std::sin(0.0575 * i));
    for (int32_t i = 0; i < 2000; ++i) rig.block();  // the line fills with the tiny signal
    for (auto _ : st) rig.block();
    st.SetItemsProcessed(st.iterations() * block);
}

void registerAll() {
    const std::vector<ModuleDesc> modules = benchModules();
    std::vector<float> kernel;
    for (const ModuleDesc& d : modules) {
        for (Scenario sc : {Scenario::Stream, Scenario::Events, Scenario::Idle}) {
            for (int32_t b : kBlocks) {
                const std::string name =
                    "module|" + d.id + "|" + scenarioName(sc) + "|" + std::to_string(b);
                benchmark::RegisterBenchmark(name.c_str(), moduleBench, d, sc, b);
            }
        }
        for (int32_t b : kBlocks) {
            const std::string name = "module|" + d.id + "|graph asleep|" + std::to_string(b);
            benchmark::RegisterBenchmark(name.c_str(), graphAsleepBench, d, b);
        }
        std::vector<std::vector<float>> probe(d.pins.size() + 16, std::vector<float>(16));
        if (makeBaseline(d.id, probe, {1.0f})) {
            for (int32_t b : kBlocks) {
                const std::string name = "baseline|" + d.id + "|loop|" + std::to_string(b);
                benchmark::RegisterBenchmark(name.c_str(), baselineBench, d, b);
            }
        }
        if (d.id == "ShortConv") {
            const auto pins = zhost::instancePins(d, 0);
            kernel = feedsFor(d, Scenario::Stream, pins)[1].blob;
            for (int32_t b : kBlocks) {
                auto in = std::make_shared<std::vector<float>>(inputSignal(d, 0, b));
                auto out = std::make_shared<std::vector<float>>(b);
                const std::string name = "ref|ShortConv|plain FIR 1024|" + std::to_string(b);
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& st) {
                    referenceBench(st, makePlainFir(kernel, in->data(), out->data()), b);
                });
            }
        }
        if (d.id == "NoiseGen") {
            for (int32_t b : kBlocks) {
                auto out = std::make_shared<std::vector<float>>(b);
                const std::string name = "ref|NoiseGen|mt19937 uniform|" + std::to_string(b);
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& st) {
                    referenceBench(st, makeMt19937Noise(out->data()), b);
                });
            }
        }
        if (d.id == "Dirac") {
            for (int32_t b : kBlocks) {
                auto amp = std::make_shared<std::vector<float>>(inputSignal(d, 1, b));
                auto out = std::make_shared<std::vector<float>>(b);
                // 440 Hz at 48 kHz, as in the module's streaming case.
                const float period = 48.0f / 0.44f;
                const std::string name = "ref|Dirac|std::sin sum|" + std::to_string(b);
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& st) {
                    referenceBench(st, makeSinDirac(period, amp->data(), out->data()), b);
                });
            }
        }
        if (d.id == "CombFlt") {
            for (bool flush : {true, false}) {
                const std::string name =
                    std::string("denormal|CombFlt|") + (flush ? "ftz" : "no ftz") + "|64";
                benchmark::RegisterBenchmark(name.c_str(), denormalBench, d, flush, 64);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
