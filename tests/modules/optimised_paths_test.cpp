// The fast paths give the same bits as the straightforward ones. Each module
// whose loop is vectorised or split for speed runs on random input, with
// events at random offsets, against a plain per-sample model written here
// from the module's description, compared bit for bit together with the
// streaming reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

bool sameBits(const float* a, const float* b, int n) {
    return std::memcmp(a, b, sizeof(float) * static_cast<size_t>(n)) == 0;
}

std::vector<float> randomTaps(std::mt19937& rng, int n) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> h(static_cast<size_t>(n));
    for (float& v : h) v = u(rng);
    return h;
}

// ShortConv, one sample at a time as described: the ring of partial sums
// with a per-sample countdown to the hold.
struct ConvModel {
    std::vector<float> kernel{1.0f};
    std::array<float, 1024> acc{};
    int length = 1, pos = 0, countdown = 0;
    bool started = false, holding = false;
    float held = 0.0f;
    std::vector<std::pair<int, bool>> reports;  // (offset, streaming)

    void streaming(bool on, int offset) {
        started = true;
        holding = false;
        reports.emplace_back(offset, true);
        countdown = on ? 0 : length;
    }
    void setKernel(const std::vector<float>& h) {
        if (h.empty()) {
            kernel = {1.0f};
            length = 1;
            acc[0] = 0.0f;
        } else {
            length = std::min<int>(static_cast<int>(h.size()), 1024);
            kernel.assign(h.begin(), h.begin() + length);
            for (int j = 0; j < length; ++j) acc[j] = 0.0f;
        }
        pos = 0;
        if (countdown > 0 && countdown < length) countdown = length;
    }
    // One output sample, or false if nothing is written (no routine yet).
    bool step(float x, int offset, float* y) {
        if (!started) return false;
        if (holding) {
            *y = held;
            return true;
        }
        for (int j = 0; j < length; ++j) acc[(pos + j) % length] += kernel[j] * x;
        *y = acc[pos];
        acc[pos] = 0.0f;
        pos = pos + 1 == length ? 0 : pos + 1;
        if (countdown != 0 && --countdown == 0) {
            held = *y;
            holding = true;
            reports.emplace_back(offset, false);
        }
        return true;
    }
};

struct ConvEvent {
    int time;
    enum { Kernel, Start, Stop } kind;
    std::vector<float> taps;
};

// Lengths that exercise every stretch of the vector loops: below, at and
// just past each width, and the full ring.
const int kLengths[] = {1,  2,  3,  4,  5,   7,   8,   15,  16,  17,   20,   31,   32,
                        33, 63, 64, 65, 100, 255, 256, 257, 511, 1000, 1023, 1024, 1030};

TEST(OptimisedPaths, ShortConvMatchesThePlainRingOnRandomInputAndEvents) {
    for (int blockSize : {1, 7, 64, 512}) {
        std::mt19937 rng(1234u + static_cast<unsigned>(blockSize));
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::uniform_int_distribution<int> pickLength(0, std::size(kLengths) - 1);
        Driver d("ShortConv", "axA", 48000.0f, blockSize);
        ConvModel m;
        std::vector<float> expected(static_cast<size_t>(blockSize), 0.0f);
        bool streaming = true;  // after the events generated so far
        bool inStream = true;   // the model's input state, sample by sample
        float steady = 0.0f;
        int holds = 0;  // the hold path must be taken, not just the ring
        const int blocks = std::max(40, 6000 / blockSize);
        for (int b = 0; b < blocks; ++b) {
            std::vector<ConvEvent> events;
            if (b == 0) {
                events.push_back({0, ConvEvent::Start, {}});
            } else {
                std::uniform_int_distribution<int> when(0, blockSize - 1);
                for (int k = 0; k < 2; ++k) {
                    const int roll = static_cast<int>(rng() % 8);
                    if (roll == 0) {
                        const int n = kLengths[pickLength(rng)];
                        events.push_back({when(rng), ConvEvent::Kernel, randomTaps(rng, n)});
                    } else if (roll == 1) {
                        streaming = !streaming;
                        events.push_back(
                            {when(rng), streaming ? ConvEvent::Start : ConvEvent::Stop, {}});
                    } else if (roll == 2) {
                        events.push_back({when(rng), ConvEvent::Kernel, {}});
                    }
                }
                std::stable_sort(
                    events.begin(), events.end(),
                    [](const ConvEvent& a, const ConvEvent& c) { return a.time < c.time; });
            }
            for (const ConvEvent& ev : events) {
                if (ev.kind == ConvEvent::Kernel) {
                    d.events.add(ev.time, mp::EVENT_PIN_SET, 1,
                                 ev.taps.empty() ? nullptr : ev.taps.data(),
                                 static_cast<int32_t>(ev.taps.size() * sizeof(float)));
                } else {
                    d.events.addStreaming(ev.time, 0, ev.kind == ConvEvent::Start);
                }
            }
            if (b == 0) {
                d.events.addGraphStart(0);
                m.reports.emplace_back(0, true);  // the graph start publishes the output
            }
            // The model takes each time stamp's events as one group, as the
            // module does: the last state and the last kernel win, the
            // signal's state is handled before the kernel. The input is
            // random while streaming and one value while stopped.
            float* in = d.buffer(0);
            size_t e = 0;
            for (int i = 0; i < blockSize; ++i) {
                const ConvEvent* state = nullptr;
                const ConvEvent* kernel = nullptr;
                for (; e < events.size() && events[e].time == i; ++e)
                    (events[e].kind == ConvEvent::Kernel ? kernel : state) = &events[e];
                if (state != nullptr) {
                    const bool on = state->kind == ConvEvent::Start;
                    if (!on && inStream) steady = u(rng);
                    inStream = on;
                    m.streaming(on, i);
                }
                if (kernel != nullptr) m.setKernel(kernel->taps);
                in[i] = inStream ? u(rng) : steady;
                float y;
                if (m.step(in[i], i, &y)) expected[i] = y;
            }
            d.rec.calls.clear();
            d.process();
            ASSERT_TRUE(sameBits(d.buffer(2), expected.data(), blockSize))
                << "block size " << blockSize << ", block " << b;
            const auto got = d.rec.streamingOf(2);
            ASSERT_EQ(got.size(), m.reports.size())
                << "block size " << blockSize << ", block " << b;
            holds += static_cast<int>(
                std::count_if(got.begin(), got.end(), [](const Call& c) { return !c.streaming; }));
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_EQ(got[k].offset, m.reports[k].first) << "block " << b;
                EXPECT_EQ(got[k].streaming, m.reports[k].second) << "block " << b;
            }
            m.reports.clear();
        }
        EXPECT_GT(holds, 3) << "block size " << blockSize;
    }
}

// Every kernel length against the convolution sum written out directly, in
// the order the ring adds its products (oldest input first).
TEST(OptimisedPaths, ShortConvEveryLengthMatchesTheDirectSum) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int length : kLengths) {
        const std::vector<float> h = randomTaps(rng, length);
        const int used = std::min(length, 1024);
        Driver d("ShortConv", "axA", 48000.0f, 256);
        d.events.add(0, mp::EVENT_PIN_SET, 1, h.data(),
                     static_cast<int32_t>(h.size() * sizeof(float)));
        d.events.addStreaming(0, 0, true);
        d.events.addGraphStart(0);
        std::vector<float> x;
        for (int b = 0; b < 12; ++b) {
            for (int i = 0; i < 256; ++i) {
                d.buffer(0)[i] = u(rng);
                x.push_back(d.buffer(0)[i]);
            }
            d.process();
            for (int i = 0; i < 256; ++i) {
                const int t = b * 256 + i;
                float sum = 0.0f;
                for (int j = used - 1; j >= 0; --j)
                    if (t - j >= 0) sum += h[j] * x[t - j];
                ASSERT_EQ(std::memcmp(&sum, d.buffer(2) + i, 4), 0)
                    << "length " << length << ", sample " << t;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// First-order modules and the zero-crossing detector: the loops chosen per
// span (filter or bypass, streaming or watching for the rest, one loop per
// direction) against models that test everything per sample.

struct Ev {
    int time;
    enum { Start, Stop, Value } kind;
    float value;
};

struct Report {
    int offset;
    bool streaming;
};

struct ModelBase {
    std::vector<Report> reports;
    bool outStreaming = true;  // published at graph start
    bool signalStreaming = false;
    void report(bool on, int offset) {
        reports.push_back({offset, on});
        outStreaming = on;
    }
    virtual ~ModelBase() = default;
    virtual void group(const std::vector<Ev>& evs, int offset) = 0;
    virtual float step(float x, int offset) = 0;
    virtual void spanEnd(float /*last*/, int /*offset*/) {}
};

struct DcModel : ModelBase {
    float x1 = 0.0f, y1 = 0.0f, r = 0.0f;
    enum { Running, Watching, Settled } state = Running;
    void group(const std::vector<Ev>& evs, int offset) override {
        bool signal = false;
        for (const Ev& e : evs) {
            if (e.kind == Ev::Value) {
                r = e.value;
            } else {
                signal = true;
                signalStreaming = e.kind == Ev::Start;
            }
        }
        if (!signal) return;
        state = signalStreaming ? Running : Watching;
        if (!outStreaming) report(true, offset);
    }
    float step(float x, int offset) override {
        if (state == Settled) return 0.0f;
        const float rr = r < 0.0f ? 0.0f : r;
        const float y = rr >= 1.0f ? x : rr * y1 + (x - x1);
        if (state == Watching && y == 0.0f) {
            state = Settled;
            report(false, offset);
        }
        x1 = x;
        y1 = y;
        return y;
    }
};

struct DerivatorModel : ModelBase {
    float x1 = 0.0f;
    bool settled = false;
    void group(const std::vector<Ev>& evs, int offset) override {
        for (const Ev& e : evs) signalStreaming = e.kind == Ev::Start;
        report(true, offset);
        settled = false;
    }
    float step(float x, int offset) override {
        if (settled) return 0.0f;
        const float y = x - x1;
        if (!signalStreaming && y == 0.0f) {
            settled = true;
            report(false, offset);
        }
        x1 = x;
        return y;
    }
};

struct ZeroCrossModel : ModelBase {
    float p = 0.0f;
    int direction = 0;
    void group(const std::vector<Ev>& evs, int offset) override {
        bool signal = false;
        for (const Ev& e : evs) {
            if (e.kind == Ev::Value) {
                direction = static_cast<int>(e.value);
            } else {
                signal = true;
                signalStreaming = e.kind == Ev::Start;
            }
        }
        if (signal) report(true, offset);
    }
    float step(float c, int) override {
        if (!outStreaming) return 0.0f;
        const bool up = p < 0.0f && c > 0.0f;
        const bool down = p > 0.0f && c < 0.0f;
        p = c;
        if (direction == 0) return up ? 1.0f : 0.0f;
        if (direction == 1) return down ? 1.0f : 0.0f;
        if (direction == 2) return up || down ? 1.0f : 0.0f;
        return 0.0f;
    }
    void spanEnd(float last, int offset) override {
        if (outStreaming && !signalStreaming && last == 0.0f) report(false, offset);
    }
};

// Drives a module (signal on pin 0, a control on `controlPin` of type
// float or int, output on `outPin`) and its model with the same random input
// and events, block after block, comparing samples and streaming reports.
void compareWithModel(const char* id, const char* layout, int controlPin, bool intControl,
                      int outPin, const std::vector<float>& controlValues, ModelBase& m,
                      int blockSize, unsigned seed, bool sparseSignal) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_int_distribution<int> when(0, blockSize - 1);
    Driver d(id, layout, 48000.0f, blockSize);
    std::vector<float> expected(static_cast<size_t>(blockSize), 0.0f);
    bool streaming = true;  // after the events generated so far
    bool inStream = true;
    float steady = 0.0f;
    int settles = 0;
    for (int b = 0; b < std::max(60, 8000 / blockSize); ++b) {
        std::vector<Ev> evs;
        if (b == 0) {
            if (controlPin >= 0) evs.push_back({0, Ev::Value, controlValues[0]});
            evs.push_back({0, Ev::Start, 0.0f});
        } else {
            for (int k = 0; k < 3; ++k) {
                const int roll = static_cast<int>(rng() % 10);
                if (roll == 0 && controlPin >= 0) {
                    evs.push_back(
                        {when(rng), Ev::Value, controlValues[rng() % controlValues.size()]});
                } else if (roll <= 2) {
                    streaming = !streaming;
                    evs.push_back({when(rng), streaming ? Ev::Start : Ev::Stop, 0.0f});
                }
            }
            std::stable_sort(evs.begin(), evs.end(),
                             [](const Ev& a, const Ev& c) { return a.time < c.time; });
        }
        for (const Ev& e : evs) {
            if (e.kind == Ev::Value) {
                if (intControl) {
                    d.events.addInt(e.time, controlPin, static_cast<int32_t>(e.value));
                } else {
                    d.events.addFloat(e.time, controlPin, e.value);
                }
            } else {
                d.events.addStreaming(e.time, 0, e.kind == Ev::Start);
            }
        }
        if (b == 0) {
            d.events.addGraphStart(0);
            m.reports.push_back({0, true});
        }
        float* in = d.buffer(0);
        size_t e = 0;
        for (int i = 0; i < blockSize; ++i) {
            std::vector<Ev> group;
            for (; e < evs.size() && evs[e].time == i; ++e) group.push_back(evs[e]);
            if (!group.empty()) {
                if (i > 0) m.spanEnd(expected[i - 1], i);
                for (const Ev& g : group) {
                    if (g.kind == Ev::Value) continue;
                    const bool on = g.kind == Ev::Start;
                    if (!on && inStream) steady = sparseSignal && rng() % 2 ? 0.0f : u(rng);
                    inStream = on;
                }
                m.group(group, i);
            }
            // A streaming signal here is random with the odd exact zero, to
            // meet the zero tests; a static one holds its value.
            in[i] = inStream ? (sparseSignal && rng() % 7 == 0 ? 0.0f : u(rng)) : steady;
            expected[i] = m.step(in[i], i);
        }
        m.spanEnd(expected[blockSize - 1], blockSize);
        d.rec.calls.clear();
        d.process();
        ASSERT_TRUE(sameBits(d.buffer(outPin), expected.data(), blockSize))
            << id << ", block size " << blockSize << ", block " << b;
        const auto got = d.rec.streamingOf(outPin);
        ASSERT_EQ(got.size(), m.reports.size()) << id << ", block " << b;
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].offset, m.reports[k].offset) << id << ", block " << b;
            EXPECT_EQ(got[k].streaming, m.reports[k].streaming) << id << ", block " << b;
            settles += got[k].streaming ? 0 : 1;
        }
        m.reports.clear();
    }
    EXPECT_GT(settles, 2) << id << ": the settling path was not taken";
}

TEST(OptimisedPaths, DcBlockerSplitLoopsMatchThePerSampleModel) {
    for (int bs : {1, 16, 64, 333}) {
        DcModel m;
        // 0 settles at once, 1 and above bypass, -1 reads as 0.
        compareWithModel("DC_Blocker", "afA", 1, false, 2,
                         {0.5f, 0.0f, 0.3f, 0.9f, 1.0f, 1.5f, -1.0f}, m, bs,
                         7u + static_cast<unsigned>(bs), true);
    }
}

TEST(OptimisedPaths, DerivatorSplitLoopsMatchThePerSampleModel) {
    for (int bs : {1, 16, 64, 333}) {
        DerivatorModel m;
        compareWithModel("Derivator", "aA", -1, false, 1, {0.0f}, m, bs,
                         11u + static_cast<unsigned>(bs), true);
    }
}

TEST(OptimisedPaths, ZeroCrossingLoopPerDirectionMatchesThePerSampleModel) {
    for (int bs : {1, 16, 64, 333}) {
        ZeroCrossModel m;
        compareWithModel("KV_ZXDet", "aeA", 1, true, 2, {0.0f, 1.0f, 2.0f, 3.0f, -1.0f}, m, bs,
                         13u + static_cast<unsigned>(bs), true);
    }
}

// KV_AudioCounter: one loop per edge setting and counting mode, against the
// counter with both settings tested per sample.
struct CounterModel {
    int edge = 0, mode = 0;
    uint32_t limit = 0, n = 0;
    float p = 0.0f;
    bool down = false;
    float step(float c, float reset) {
        if (reset > 0.0f) {
            n = 0;
            p = c;
            return 0.0f;
        }
        bool e = false;
        if (edge == 0) e = p <= 0.0f && c > 0.0f;
        if (edge == 1) e = p >= 0.0f && c < 0.0f;
        if (e) {
            if (mode == 0) {
                ++n;
            } else if (mode == 1) {
                if (n < limit) ++n;
            } else if (mode == 2) {
                if (++n > limit) n = 0;
            } else if (mode == 3) {
                if (!down) {
                    if (n >= (limit == 0 ? 1u : limit)) {
                        --n;
                        down = true;
                    } else {
                        ++n;
                    }
                } else if (n == 0) {
                    n = 1;
                    down = false;
                } else {
                    --n;
                }
            }
        }
        p = c;
        return static_cast<float>(n) * 0.1f;
    }
};

TEST(OptimisedPaths, AudioCounterLoopPerModeMatchesThePerSampleModel) {
    for (int bs : {1, 16, 64, 333}) {
        std::mt19937 rng(17u + static_cast<unsigned>(bs));
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::uniform_int_distribution<int> when(0, bs - 1);
        Driver d("KV_AudioCounter", "aaeeiA", 48000.0f, bs);
        CounterModel m;
        bool streaming[2] = {false, false};
        float clockValue = 0.0f, resetValue = 0.0f;
        std::vector<float> expected(static_cast<size_t>(bs));
        const int edges[] = {0, 1, 2, -1};
        const int modes[] = {0, 1, 2, 3, 4, 7};
        const int limits[] = {0, 1, 3, 5, -2, 40};
        for (int b = 0; b < std::max(60, 12000 / bs); ++b) {
            struct E {
                int time, pin, value;
            };
            std::vector<E> evs;
            if (b == 0) {
                evs.push_back({0, 0, 1});
                evs.push_back({0, 1, 1});
            }
            for (int k = 0; k < 3; ++k) {
                const int roll = static_cast<int>(rng() % 12);
                if (roll == 0) evs.push_back({when(rng), 2, edges[rng() % 4]});
                if (roll == 1) evs.push_back({when(rng), 3, modes[rng() % 6]});
                if (roll == 2) evs.push_back({when(rng), 4, limits[rng() % 6]});
                if (roll == 3) evs.push_back({when(rng), static_cast<int>(rng() % 2), -1});
            }
            std::stable_sort(evs.begin(), evs.end(),
                             [](const E& a, const E& c) { return a.time < c.time; });
            std::vector<Report> reports;
            if (b == 0) reports.push_back({0, true});  // graph start
            size_t e = 0;
            for (int i = 0; i < bs; ++i) {
                bool any = false;
                for (; e < evs.size() && evs[e].time == i; ++e) {
                    const E& ev = evs[e];
                    any = true;
                    if (ev.pin <= 1) {
                        // -1 toggles the input's streaming state
                        const bool on = ev.value == 1 ? true : !streaming[ev.pin];
                        streaming[ev.pin] = on;
                        d.events.addStreaming(i, ev.pin, on);
                    } else {
                        d.events.addInt(i, ev.pin, ev.value);
                        if (ev.pin == 2) m.edge = ev.value;
                        if (ev.pin == 3) m.mode = ev.value;
                        if (ev.pin == 4) m.limit = ev.value <= 0 ? 1u : uint32_t(ev.value);
                    }
                }
                if (b == 0 && i == 0) d.events.addGraphStart(0);
                if (any) reports.push_back({i, streaming[0] || streaming[1]});
                // A static input holds its last value, as a host's would.
                if (streaming[0]) clockValue = u(rng);
                if (streaming[1]) resetValue = rng() % 40 == 0 ? 1.0f : 0.0f;
                d.buffer(0)[i] = clockValue;
                d.buffer(1)[i] = resetValue;
                expected[i] = m.step(d.buffer(0)[i], d.buffer(1)[i]);
            }
            d.rec.calls.clear();
            d.process();
            ASSERT_TRUE(sameBits(d.buffer(5), expected.data(), bs))
                << "block size " << bs << ", block " << b;
            const auto got = d.rec.streamingOf(5);
            ASSERT_EQ(got.size(), reports.size()) << "block " << b;
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_EQ(got[k].offset, reports[k].offset) << "block " << b;
                EXPECT_EQ(got[k].streaming, reports[k].streaming) << "block " << b;
            }
        }
    }
}

// Integrator: watching for a repeated output only in the spans where it can
// settle, against the model that tests the state per sample.
TEST(OptimisedPaths, IntegratorSplitLoopsMatchThePerSampleModel) {
    for (int bs : {1, 16, 64, 333}) {
        std::mt19937 rng(23u + static_cast<unsigned>(bs));
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::uniform_int_distribution<int> when(0, bs - 1);
        Driver d("Integrator", "aaA", 48000.0f, bs);
        enum { Running, Watching, Settled } state = Running;
        bool outStreaming = true, streaming[2] = {false, false};
        float y1 = 0.0f, value[2] = {0.0f, 0.5f};
        const float leaks[] = {0.5f, 0.0f, -0.5f, 0.25f, 1.2f, -1.5f};
        std::vector<float> expected(static_cast<size_t>(bs));
        int settles = 0;
        for (int b = 0; b < std::max(60, 12000 / bs); ++b) {
            std::vector<std::pair<int, int>> evs;  // (time, pin): toggles the pin
            if (b == 0) {
                evs.push_back({0, 0});
                evs.push_back({0, 1});
            }
            for (int k = 0; k < 2; ++k)
                if (rng() % 6 == 0) evs.push_back({when(rng), static_cast<int>(rng() % 2)});
            std::stable_sort(evs.begin(), evs.end(),
                             [](const auto& a, const auto& c) { return a.first < c.first; });
            std::vector<Report> reports;
            if (b == 0) reports.push_back({0, true});
            size_t e = 0;
            for (int i = 0; i < bs; ++i) {
                bool signal = false, leak = false;
                for (; e < evs.size() && evs[e].first == i; ++e) {
                    const int pin = evs[e].second;
                    streaming[pin] = !streaming[pin];
                    d.events.addStreaming(i, pin, streaming[pin]);
                    (pin == 0 ? signal : leak) = true;
                    if (!streaming[pin])
                        value[pin] = pin == 0 ? u(rng) : leaks[rng() % std::size(leaks)];
                }
                if (b == 0 && i == 0) d.events.addGraphStart(0);
                if (signal) {
                    state = streaming[0] ? Running : Watching;
                    if (!outStreaming) {
                        reports.push_back({i, true});
                        outStreaming = true;
                    }
                }
                if (leak && state == Settled) {
                    reports.push_back({i, true});
                    outStreaming = true;
                    state = Watching;
                }
                if (streaming[0]) value[0] = u(rng);
                if (streaming[1]) value[1] = 1.6f * u(rng);
                d.buffer(0)[i] = value[0];
                d.buffer(1)[i] = value[1];
                if (state == Settled) {
                    expected[i] = y1;
                    continue;
                }
                const float c = value[1];
                const float held = c < -1.0f ? -y1 : (c > 1.0f ? y1 : c * y1);
                const float y = held + value[0];
                if (state == Watching && !streaming[1] && y == y1) {
                    state = Settled;
                    reports.push_back({i, false});
                    outStreaming = false;
                    ++settles;
                }
                expected[i] = y;
                y1 = y;
            }
            d.rec.calls.clear();
            d.process();
            ASSERT_TRUE(sameBits(d.buffer(2), expected.data(), bs))
                << "block size " << bs << ", block " << b;
            const auto got = d.rec.streamingOf(2);
            ASSERT_EQ(got.size(), reports.size()) << "block size " << bs << ", block " << b;
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_EQ(got[k].offset, reports[k].offset) << "block " << b;
                EXPECT_EQ(got[k].streaming, reports[k].streaming) << "block " << b;
            }
        }
        EXPECT_GT(settles, 2) << "block size " << bs;
    }
}

// FracDelay: one loop per span for whole or fractional delays, streaming or
// watched input, against the delay line with both tested per sample. The
// model runs span by span (spans end at event times), since the settling
// report falls at the end of a span.
struct FracDelayModel {
    static constexpr int kRing = 5001;
    std::vector<float> ring = std::vector<float>(kRing, 0.0f);
    float delay = 0.0f, y = 0.0f, yPrev = 0.0f;
    int c = 0, countdown = -1, sinceStop = 0;
    bool inStreaming = false, outStreaming = true;
    std::vector<Report> reports;

    void group(bool input, bool inputOn, bool value, float d, int offset) {
        bool changed = false;
        if (value) {
            if (!(d > 0.0f)) d = 0.0f;
            if (d > 5000.0f) d = 5000.0f;
            changed = d != delay;
            delay = d;
        }
        if (input) inStreaming = inputOn;
        if (input) {
            reports.push_back({offset, true});
            outStreaming = true;
            if (!inStreaming) {
                countdown = static_cast<int>(delay + 0.5f);
                sinceStop = 0;
            }
        } else if (changed && !inStreaming && outStreaming && countdown >= 0) {
            const int watchFrom = static_cast<int>(delay + 0.5f);
            if (watchFrom > sinceStop + countdown) countdown = watchFrom - sinceStop;
        }
    }
    void span(const float* in, float* out, int from, int to) {
        if (!outStreaming) {
            for (int i = from; i < to; ++i) out[i] = y;
            return;
        }
        const int n = static_cast<int>(delay);
        const float f = delay - static_cast<float>(n);
        const float eta = (1.0f - f) / (1.0f + f);
        bool settled = false;
        for (int i = from; i < to; ++i) {
            ring[c] = in[i];
            int r = c - n;
            if (r < 0) r += kRing;
            if (eta >= 1.0f) {
                y = ring[r];
            } else {
                y = ring[r == 0 ? kRing - 1 : r - 1] + (ring[r] - y) * eta;
            }
            out[i] = y;
            if (++c == kRing) c = 0;
            if (!inStreaming) {
                if (countdown > 0) {
                    --countdown;
                } else if (countdown == 0 && std::fabs(y - yPrev) < 1e-6f) {
                    countdown = -1;
                    settled = true;
                }
            }
            yPrev = y;
        }
        if (!inStreaming) {
            const int count = to - from;
            sinceStop = count < kRing - sinceStop ? sinceStop + count : kRing;
        }
        if (settled) {
            reports.push_back({to, false});
            outStreaming = false;
        }
    }
};

TEST(OptimisedPaths, FracDelayLoopPerSpanMatchesThePerSampleModel) {
    const float delays[] = {0.0f, 1.0f, 3.0f, 2.5f, 10.25f, 40.0f, 0.3f, 7.75f};
    for (int bs : {1, 16, 64, 333}) {
        std::mt19937 rng(29u + static_cast<unsigned>(bs));
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::uniform_int_distribution<int> when(0, bs - 1);
        Driver d("FracDelay", "afA", 48000.0f, bs);
        FracDelayModel m;
        bool streaming = false;
        float steady = 0.0f;
        std::vector<float> expected(static_cast<size_t>(bs));
        int settles = 0;
        for (int b = 0; b < std::max(80, 16000 / bs); ++b) {
            struct E {
                int time;
                bool input;
                float value;  // delay, or 1/0 for the input's state
            };
            std::vector<E> evs;
            if (b == 0) {
                evs.push_back({0, false, 2.5f});
                evs.push_back({0, true, 1.0f});
            }
            for (int k = 0; k < 2; ++k) {
                const int roll = static_cast<int>(rng() % 10);
                if (roll == 0) evs.push_back({when(rng), false, delays[rng() % 8]});
                if (roll == 1) evs.push_back({when(rng), true, streaming ? 0.0f : 1.0f});
                if (roll == 1) streaming = !streaming;
            }
            if (b == 0) streaming = true;
            std::stable_sort(evs.begin(), evs.end(),
                             [](const E& a, const E& c) { return a.time < c.time; });
            if (b == 0) m.reports.push_back({0, true});
            float* in = d.buffer(0);
            size_t e = 0;
            int spanStart = 0;
            bool on = m.inStreaming;
            for (int i = 0; i <= bs; ++i) {
                const bool boundary = i == bs || (e < evs.size() && evs[e].time == i);
                if (boundary && i > spanStart) {
                    m.span(in, expected.data(), spanStart, i);
                    spanStart = i;
                }
                if (i == bs) break;
                bool input = false, value = false;
                float dv = 0.0f;
                for (; e < evs.size() && evs[e].time == i; ++e) {
                    if (evs[e].input) {
                        input = true;
                        const bool start = evs[e].value != 0.0f;
                        if (!start && on) steady = u(rng);
                        on = start;
                        d.events.addStreaming(i, 0, start);
                    } else {
                        value = true;
                        dv = evs[e].value;
                        d.events.addFloat(i, 1, dv);
                    }
                }
                if (b == 0 && i == 0) d.events.addGraphStart(0);
                if (input || value) m.group(input, on, value, dv, i);
                in[i] = on ? u(rng) : steady;
            }
            d.rec.calls.clear();
            d.process();
            ASSERT_TRUE(sameBits(d.buffer(2), expected.data(), bs))
                << "block size " << bs << ", block " << b;
            const auto got = d.rec.streamingOf(2);
            ASSERT_EQ(got.size(), m.reports.size()) << "block size " << bs << ", block " << b;
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_EQ(got[k].offset, m.reports[k].offset) << "block " << b;
                EXPECT_EQ(got[k].streaming, m.reports[k].streaming) << "block " << b;
                settles += got[k].streaming ? 0 : 1;
            }
            m.reports.clear();
        }
        EXPECT_GT(settles, 2) << "block size " << bs;
    }
}

// Glider and Glider2: one loop per mode, watching for the target only while
// it is static, against the slew limiter with both tested per sample.
struct GliderModel {
    bool twoTimes = false;
    bool constantTime = true;
    float y = 0.0f, p = 0.0f, step = 0.0f;
    enum { Running, Settling, Settled } settle = Running;
    std::vector<Report> reports;

    float approach(float g, float duration) {
        if (std::isnan(y)) return g;
        if (g == y) return y;
        if (!constantTime) {
            step = 0.1f / duration;
        } else if (g != p) {
            step = std::fabs((g - y) / duration);
        }
        if (g > y) {
            const float up = y + step;
            return up < g ? up : g;
        }
        if (y > g) {
            const float down = y - step;
            return down > g ? down : g;
        }
        return y;
    }
    void group(bool target, bool on, bool mode, int value, int offset) {
        if (mode) constantTime = value == 0;
        if (!target) return;
        if (on) {
            reports.push_back({offset, true});
            settle = Running;
        } else {
            if (settle != Running) reports.push_back({offset, true});
            settle = Settling;
        }
    }
    float step1(float g, float time1, float time2, float reset, int offset) {
        if (settle == Settled) return y;
        const float rate = 48000.0f;
        if (!twoTimes) {
            const float t = 10.0f * time1;
            y = (t <= 0.0f || reset >= 0.5f) ? g : approach(g, t * rate);
        } else {
            float up = 10.0f * time1, down = 10.0f * time2;
            bool follow = false;
            if (up < 0.0f) {
                if (down <= 0.0f) {
                    follow = true;
                } else {
                    up = 0.0f;
                }
            } else if (down < 0.0f) {
                down = 0.0f;
            } else if (up == 0.0f && down == 0.0f) {
                follow = true;
            }
            y = (follow || reset >= 0.5f) ? g : approach(g, (y < g ? up : down) * rate);
        }
        if (settle == Settling && y == g) {
            reports.push_back({offset, false});
            settle = Settled;
        }
        p = g;
        return y;
    }
};

void compareGlider(bool twoTimes) {
    for (int bs : {1, 16, 64, 333}) {
        std::mt19937 rng(31u + static_cast<unsigned>(bs) + (twoTimes ? 1000u : 0u));
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::uniform_int_distribution<int> when(0, bs - 1);
        // Glider: target, time, mode, reset, out; Glider2: target, rise,
        // fall, mode, reset, out.
        Driver d(twoTimes ? "Glider2" : "Glider", twoTimes ? "aaaeaA" : "aaeaA", 48000.0f, bs);
        const int modePin = twoTimes ? 3 : 2, resetPin = twoTimes ? 4 : 3,
                  outPin = twoTimes ? 5 : 4;
        GliderModel m;
        m.twoTimes = twoTimes;
        bool streaming = true, on = true;
        float steady = 0.0f;
        std::vector<float> expected(static_cast<size_t>(bs));
        int settles = 0;
        for (int b = 0; b < std::max(80, 20000 / bs); ++b) {
            struct E {
                int time;
                bool target;
                int value;  // mode, or 1/0 for the target's state
            };
            std::vector<E> evs;
            if (b == 0) {
                evs.push_back({0, false, 0});
                evs.push_back({0, true, 1});
            } else {
                for (int k = 0; k < 2; ++k) {
                    const int roll = static_cast<int>(rng() % 12);
                    if (roll == 0) evs.push_back({when(rng), false, static_cast<int>(rng() % 3)});
                    if (roll == 1) {
                        streaming = !streaming;
                        evs.push_back({when(rng), true, streaming ? 1 : 0});
                    }
                }
                std::stable_sort(evs.begin(), evs.end(),
                                 [](const E& a, const E& c) { return a.time < c.time; });
            }
            if (b == 0) m.reports.push_back({0, true});
            size_t e = 0;
            for (int i = 0; i < bs; ++i) {
                bool target = false, mode = false;
                int modeValue = 0;
                for (; e < evs.size() && evs[e].time == i; ++e) {
                    if (evs[e].target) {
                        target = true;
                        const bool start = evs[e].value != 0;
                        if (!start && on) steady = u(rng);
                        on = start;
                        d.events.addStreaming(i, 0, start);
                    } else {
                        mode = true;
                        modeValue = evs[e].value;
                        d.events.addInt(i, modePin, modeValue);
                    }
                }
                if (b == 0 && i == 0) d.events.addGraphStart(0);
                if (target || mode) m.group(target, on, mode, modeValue, i);
                d.buffer(0)[i] = on ? u(rng) : steady;
                d.buffer(1)[i] = 0.00005f;  // 24 samples
                if (twoTimes) d.buffer(2)[i] = 0.0001f;
                d.buffer(resetPin)[i] = rng() % 80 == 0 ? 1.0f : 0.0f;
                expected[i] = m.step1(d.buffer(0)[i], d.buffer(1)[i],
                                      twoTimes ? d.buffer(2)[i] : 0.0f, d.buffer(resetPin)[i], i);
            }
            d.rec.calls.clear();
            d.process();
            ASSERT_TRUE(sameBits(d.buffer(outPin), expected.data(), bs))
                << "block size " << bs << ", block " << b;
            const auto got = d.rec.streamingOf(outPin);
            ASSERT_EQ(got.size(), m.reports.size()) << "block size " << bs << ", block " << b;
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_EQ(got[k].offset, m.reports[k].offset) << "block " << b;
                EXPECT_EQ(got[k].streaming, m.reports[k].streaming) << "block " << b;
                settles += got[k].streaming ? 0 : 1;
            }
            m.reports.clear();
        }
        EXPECT_GT(settles, 2) << "block size " << bs;
    }
}

TEST(OptimisedPaths, GliderLoopPerModeMatchesThePerSampleModel) {
    compareGlider(false);
}

TEST(OptimisedPaths, Glider2LoopPerModeMatchesThePerSampleModel) {
    compareGlider(true);
}

}  // namespace

// Freezer: one loop per polarity and held-sample setting, against the model
// that tests both settings at every sample.
struct FreezerModel {
    bool passWhileHigh = false, holdPrevious = false, frozen = false, inputStreaming = false;
    float last = 0.0f, held = 0.0f;
    std::vector<Report> reports;
    float step(float x, float c, int offset) {
        const bool high = c > 0.0f;
        const bool freeze = passWhileHigh ? !high : high;
        float y;
        if (!freeze) {
            y = x;
            if (frozen) reports.push_back({offset, inputStreaming});
        } else {
            if (!frozen) {
                if (holdPrevious) {
                    held = last;
                } else {
                    held = x;
                }
                reports.push_back({offset, false});
            }
            y = held;
        }
        frozen = freeze;
        last = x;
        return y;
    }
};

TEST(OptimisedPaths, FreezerLoopPerSettingMatchesThePerSampleModel) {
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    for (int bs : {1, 16, 64, 333}) {
        std::mt19937 rng(29u + static_cast<unsigned>(bs));
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::uniform_int_distribution<int> when(0, bs - 1);
        Driver d("Freezer", "aaeeA", 48000.0f, bs);
        FreezerModel m;
        bool streaming[2] = {false, false};
        float inValue = 0.0f, controlValue = 0.0f;
        bool controlHigh = false;
        std::vector<float> expected(static_cast<size_t>(bs));
        const int settings[] = {0, 1, 2, -1};
        int switches = 0;
        for (int b = 0; b < std::max(60, 12000 / bs); ++b) {
            struct E {
                int time, pin, value;
            };
            std::vector<E> evs;
            if (b == 0) {
                evs.push_back({0, 2, 0});
                evs.push_back({0, 3, 0});
                evs.push_back({0, 0, 1});
                evs.push_back({0, 1, 1});
            }
            for (int k = 0; k < 3; ++k) {
                const int roll = static_cast<int>(rng() % 12);
                if (roll == 0) evs.push_back({when(rng), 2, settings[rng() % 4]});
                if (roll == 1) evs.push_back({when(rng), 3, settings[rng() % 4]});
                if (roll == 2) evs.push_back({when(rng), static_cast<int>(rng() % 2), -1});
            }
            std::stable_sort(evs.begin(), evs.end(),
                             [](const E& a, const E& c) { return a.time < c.time; });
            m.reports.clear();
            if (b == 0) m.reports.push_back({0, true});  // graph start
            size_t e = 0;
            for (int i = 0; i < bs; ++i) {
                bool any = false;
                for (; e < evs.size() && evs[e].time == i; ++e) {
                    const E& ev = evs[e];
                    any = true;
                    if (ev.pin <= 1) {
                        // -1 toggles the input's streaming state
                        const bool on = ev.value == 1 ? true : !streaming[ev.pin];
                        streaming[ev.pin] = on;
                        d.events.addStreaming(i, ev.pin, on);
                    } else {
                        d.events.addInt(i, ev.pin, ev.value);
                        if (ev.pin == 2) m.passWhileHigh = ev.value == 1;
                        if (ev.pin == 3) m.holdPrevious = ev.value == 1;
                    }
                }
                if (b == 0 && i == 0) d.events.addGraphStart(0);
                m.inputStreaming = streaming[0];
                if (any) m.reports.push_back({i, streaming[0]});
                // A static input holds its last value, as a host's would.
                if (streaming[0]) inValue = rng() % 50 == 0 ? kNaN : u(rng);
                if (streaming[1]) {
                    // The control stays on one side for a while, NaN now and then.
                    if (rng() % 12 == 0) controlHigh = !controlHigh;
                    controlValue = rng() % 40 == 0 ? kNaN : (controlHigh ? 0.5f : -0.5f);
                    if (rng() % 30 == 0) controlValue = 0.0f;
                }
                d.buffer(0)[i] = inValue;
                d.buffer(1)[i] = controlValue;
                expected[i] = m.step(inValue, controlValue, i);
            }
            d.rec.calls.clear();
            d.process();
            ASSERT_TRUE(sameBits(d.buffer(4), expected.data(), bs))
                << "block size " << bs << ", block " << b;
            const auto got = d.rec.streamingOf(4);
            ASSERT_EQ(got.size(), m.reports.size()) << "block " << b;
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_EQ(got[k].offset, m.reports[k].offset) << "block " << b;
                EXPECT_EQ(got[k].streaming, m.reports[k].streaming) << "block " << b;
                switches += got[k].streaming ? 0 : 1;
            }
        }
        EXPECT_GT(switches, 20) << "block size " << bs << ": the freeze path was not taken";
    }
}

// Dirac: per-run loops with the silent case chosen where the control moves,
// against the generator with every choice (generator, mean, scaling,
// frequency scale, stopped) made at every sample.
struct DiracModel {
    static constexpr int kN = 262144;
    const float* sine = nullptr;
    bool enable = false, bandLimited = false, mean = false, running = false;
    int scaling = 0, freqScale = 0;
    double phase = 0.0, period = 0.0, inc = 0.0;
    float norm = 0.0f, peak = 0.0f, last = -1.0f;
    int32_t harmonics = 0;
    bool stopped = true;
    std::vector<Report> reports;

    // One group of simultaneous pin updates.
    void group(bool enableSet, bool bandSet, bool freqScaleSet, int offset) {
        bool reset = freqScaleSet;
        if (enableSet) {
            reports.push_back({offset, enable});
            running = enable;
            reset = enable || bandSet || freqScaleSet;
        } else if (bandSet) {
            reset = true;
        }
        if (reset) {
            last = -1.0f;
            phase = bandLimited ? 0.0 : 1.0;
        }
    }
    float step(float x, float freqIn) {
        if (!running) return 0.0f;
        float w = 10.0f * freqIn;
        if (!(w > 0.0f)) w = 0.0f;
        return bandLimited ? blStep(x, w) : plainStep(x, w);
    }
    float plainStep(float x, float w) {
        const float r = 0.001f * 48000.0f;
        float ph = static_cast<float>(phase), per = static_cast<float>(period),
              in = static_cast<float>(inc);
        if (w != last) {
            last = w;
            if (freqScale >= 2) {
                per = w < 2.0f ? 2.0f : w;
                in = w < 2.0f ? 0.5f : 1.0f / w;
            } else {
                float f = freqScale == 1 ? 0.22f * std::exp2f(w - 4.0f) : w;
                if (0.5f * r < f) f = 0.5f * r;
                if (f <= 0.0f) {
                    in = 0.0f;
                    per = std::numeric_limits<float>::infinity();
                } else {
                    per = r / f;
                    in = 1.0f / per;
                }
            }
        }
        float imp = 0.0f;
        if (ph >= 1.0f) {
            ph -= 1.0f;
            imp = 1.0f;
        }
        float y;
        if (scaling == 1) {
            if (std::isinf(per)) {
                y = 0.0f;
            } else {
                y = mean ? x * 0.5f * per * (imp - in) : x * 0.5f * per * imp;
            }
        } else {
            y = mean ? (imp - in) * x : x * imp;
        }
        ph += in;
        phase = ph;
        period = per;
        inc = in;
        return y;
    }
    float blStep(float x, float w) {
        const double r = static_cast<double>(0.001f * 48000.0f);
        if (w != last) {
            last = w;
            bool general = false;
            if (freqScale >= 2) {
                if (w < 2.0f) {
                    period = 2.0;
                    harmonics = 3;
                    norm = 0.5f;
                    peak = 3.0f;
                    inc = 0.25;
                } else {
                    period = w;
                    general = true;
                }
            } else {
                double f = freqScale == 1 ? 0.22 * std::exp2(static_cast<double>(w) - 4.0)
                                          : static_cast<double>(w);
                if (0.5 * r < f) f = 0.5 * r;
                if (f > 0.0) {
                    period = r / f;
                    general = true;
                } else {
                    period = std::numeric_limits<double>::infinity();
                }
            }
            stopped = std::isinf(period);
            if (stopped) {
                inc = 0.0;
                harmonics = 1;
                norm = 0.0f;
                peak = 0.0f;
            } else if (general) {
                const double half = std::min(std::trunc(0.5 * period), 1073741823.0);
                const int32_t n = 2 * static_cast<int32_t>(half);
                harmonics = n + 1;
                norm = static_cast<float>(1.0 / n);
                peak = static_cast<float>(n + 1.0);
                inc = 0.5 / period;
            }
        }
        const int32_t k = static_cast<int32_t>(phase * 262144.0) % kN;
        float ratio = peak;
        if (k != 0 && k != kN / 2) {
            const uint32_t mk = static_cast<uint32_t>(harmonics) * static_cast<uint32_t>(k);
            ratio = sine[mk % kN] / sine[k];
        }
        if (mean) ratio -= 1.0f;
        phase += inc;
        if (phase >= 1.0) phase -= 1.0;
        const float periodF = static_cast<float>(period);
        if (stopped) return 0.0f;
        if (scaling == 1) {
            if (std::isinf(periodF)) return 0.0f;
            return (ratio * norm) * (x * 0.5f * periodF);
        }
        return (ratio * norm) * x;
    }
};

TEST(OptimisedPaths, DiracRunLoopsMatchThePerSampleModel) {
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    const float kInf = std::numeric_limits<float>::infinity();
    // Held control values: silent ones (0, negative, NaN, infinite), one with a
    // period too long for single precision, slow and fast ones.
    const float freqs[] = {0.0f, -0.5f, kNaN, kInf, 1e-41f, 0.05f, 0.3f, 1.0f, 0.15f, 2.4f};
    for (int bs : {1, 16, 64, 333}) {
        std::mt19937 rng(31u + static_cast<unsigned>(bs));
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::uniform_int_distribution<int> when(0, bs - 1);
        Driver d("Dirac", "baeaebbA", 48000.0f, bs);
        DiracModel m;
        {
            void* mem = nullptr;
            int32_t flag = -1;
            d.tables().request(u"ZOLAN DIRAC OSC SINE TABLE", -1.0f, DiracModel::kN * 4, &mem,
                               &flag);
            m.sine = static_cast<const float*>(mem);
            ASSERT_NE(m.sine, nullptr);
        }
        std::vector<float> expected(static_cast<size_t>(bs));
        float freqValue = 0.3f;
        int hold = 0;
        bool audioRate = false;
        int silentRuns = 0, loudSamples = 0;
        for (int b = 0; b < std::max(80, 16000 / bs); ++b) {
            struct E {
                int time, pin, value;
            };
            std::vector<E> evs;
            if (b == 0) {
                evs.push_back({0, 0, 1});
                evs.push_back({0, 2, 0});
                evs.push_back({0, 4, 2});
                evs.push_back({0, 5, 1});
                evs.push_back({0, 6, 0});
                evs.push_back({0, 1, 1});
                evs.push_back({0, 3, 1});
            }
            for (int k = 0; k < 3; ++k) {
                const int roll = static_cast<int>(rng() % 24);
                if (roll == 0) evs.push_back({when(rng), 0, static_cast<int>(rng() % 5 != 0)});
                if (roll == 1) evs.push_back({when(rng), 2, static_cast<int>(rng() % 3)});
                if (roll == 2) evs.push_back({when(rng), 4, static_cast<int>(rng() % 4)});
                if (roll == 3) evs.push_back({when(rng), 5, static_cast<int>(rng() % 2)});
                if (roll == 4) evs.push_back({when(rng), 6, static_cast<int>(rng() % 2)});
                if (roll == 5) evs.push_back({when(rng), 1 + 2 * static_cast<int>(rng() % 2), 1});
            }
            std::stable_sort(evs.begin(), evs.end(),
                             [](const E& a, const E& c) { return a.time < c.time; });
            m.reports.clear();
            if (b == 0) m.reports.push_back({0, true});  // graph start
            size_t e = 0;
            for (int i = 0; i < bs; ++i) {
                bool any = false, enableSet = false, bandSet = false, freqScaleSet = false;
                for (; e < evs.size() && evs[e].time == i; ++e) {
                    const E& ev = evs[e];
                    any = true;
                    switch (ev.pin) {
                        case 0:
                            d.events.addBool(i, 0, ev.value != 0);
                            m.enable = ev.value != 0;
                            enableSet = true;
                            break;
                        case 2:
                            d.events.addInt(i, 2, ev.value);
                            m.scaling = ev.value;
                            break;
                        case 4:
                            d.events.addInt(i, 4, ev.value);
                            m.freqScale = ev.value;
                            freqScaleSet = true;
                            break;
                        case 5:
                            d.events.addBool(i, 5, ev.value != 0);
                            m.bandLimited = ev.value != 0;
                            bandSet = true;
                            break;
                        case 6:
                            d.events.addBool(i, 6, ev.value != 0);
                            m.mean = ev.value != 0;
                            break;
                        default:
                            d.events.addStreaming(i, ev.pin, true);  // restated: cuts a span
                    }
                }
                if (b == 0 && i == 0) d.events.addGraphStart(0);
                if (any) m.group(enableSet, bandSet, freqScaleSet, i);
                // The frequency holds for runs of samples, or moves at audio rate.
                if (hold-- <= 0) {
                    hold = static_cast<int>(rng() % 300);
                    audioRate = rng() % 6 == 0;
                    freqValue = freqs[rng() % 10];
                    silentRuns += std::isnan(freqValue) || !(freqValue > 0.0f) ? 1 : 0;
                }
                if (audioRate) freqValue = 0.05f + 0.3f * (u(rng) + 1.0f);
                const float amp = rng() % 300 == 0 ? (rng() % 2 ? kInf : kNaN) : u(rng);
                d.buffer(1)[i] = amp;
                d.buffer(3)[i] = freqValue;
                expected[i] = m.step(amp, freqValue);
                loudSamples += expected[i] != 0.0f ? 1 : 0;
            }
            d.rec.calls.clear();
            d.process();
            ASSERT_TRUE(sameBits(d.buffer(7), expected.data(), bs))
                << "block size " << bs << ", block " << b;
            const auto got = d.rec.streamingOf(7);
            ASSERT_EQ(got.size(), m.reports.size()) << "block " << b;
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_EQ(got[k].offset, m.reports[k].offset) << "block " << b;
                EXPECT_EQ(got[k].streaming, m.reports[k].streaming) << "block " << b;
            }
        }
        EXPECT_GT(silentRuns, 10) << "block size " << bs;
        EXPECT_GT(loudSamples, 1000) << "block size " << bs;
    }
}

// Memory/Reset and Memory/Reset2: one copy loop per latch state that stops
// only at a switch, against the model that tests every condition at every
// sample.
struct LatchModel {
    bool edge = false, latch = false, pending = false;
    bool streaming[4] = {false, false, false, false};
    float previousSet = 0.0f, previousReset = 0.0f;
    std::vector<Report> reports;
    bool fires(float v, float previous) const { return v >= 0.5f && (!edge || previous < 0.5f); }
    float step(const float* x, int offset) {
        if (latch) {
            if (fires(x[3], previousReset)) {
                latch = false;
                reports.push_back({offset, streaming[0]});
            } else if (pending) {
                pending = false;
                reports.push_back({offset, streaming[1]});
            }
        } else {
            if (fires(x[2], previousSet)) {
                latch = true;
                reports.push_back({offset, streaming[1]});
            } else if (pending) {
                pending = false;
                reports.push_back({offset, streaming[0]});
            }
        }
        previousSet = x[2];
        previousReset = x[3];
        return latch ? x[1] : x[0];
    }
};

TEST(OptimisedPaths, LatchLoopPerStateMatchesThePerSampleModel) {
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    for (const char* id : {"Memory/Reset", "Memory/Reset2"}) {
        for (int bs : {1, 16, 64, 333}) {
            std::mt19937 rng(41u + static_cast<unsigned>(bs));
            std::uniform_real_distribution<float> u(-1.0f, 1.0f);
            std::uniform_int_distribution<int> when(0, bs - 1);
            Driver d(id, "aaaaA", 48000.0f, bs);
            LatchModel m;
            m.edge = std::string(id) == "Memory/Reset2";
            float value[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            bool high[2] = {false, false};
            std::vector<float> expected(static_cast<size_t>(bs));
            int switches = 0, pendingReports = 0;
            for (int b = 0; b < std::max(60, 12000 / bs); ++b) {
                struct E {
                    int time, pin;
                };
                std::vector<E> evs;
                if (b == 0)
                    for (int p = 0; p < 4; ++p) evs.push_back({0, p});
                for (int k = 0; k < 4; ++k)
                    if (rng() % 2 == 0) evs.push_back({when(rng), static_cast<int>(rng() % 4)});
                std::stable_sort(evs.begin(), evs.end(),
                                 [](const E& a, const E& c) { return a.time < c.time; });
                m.reports.clear();
                size_t e = 0;
                for (int i = 0; i < bs; ++i) {
                    bool selectedUpdated = false;
                    for (; e < evs.size() && evs[e].time == i; ++e) {
                        const int p = evs[e].pin;
                        // Block 0 starts everything; later events toggle, or
                        // now and then restate the current state.
                        const bool on = b == 0 ? true : (rng() % 5 == 0) != !m.streaming[p];
                        m.streaming[p] = on;
                        d.events.addStreaming(i, p, on);
                        if (p == (m.latch ? 1 : 0)) selectedUpdated = true;
                    }
                    if (b == 0 && i == 0) {
                        d.events.addGraphStart(0);
                        m.reports.push_back({0, true});
                    }
                    if (selectedUpdated) m.pending = true;
                    // A static input holds its last value, as a host's would.
                    for (int p = 0; p < 2; ++p)
                        if (m.streaming[p]) value[p] = rng() % 60 == 0 ? kNaN : u(rng);
                    for (int t = 0; t < 2; ++t) {
                        if (!m.streaming[2 + t]) continue;
                        if (rng() % 9 == 0) high[t] = !high[t];
                        value[2 + t] = rng() % 50 == 0 ? kNaN : (high[t] ? 0.75f : 0.25f);
                        if (rng() % 40 == 0) value[2 + t] = 0.5f;
                    }
                    for (int p = 0; p < 4; ++p) d.buffer(p)[i] = value[p];
                    const size_t before = m.reports.size();
                    const bool wasPending = m.pending, wasLatched = m.latch;
                    expected[i] = m.step(value, i);
                    if (m.latch != wasLatched) ++switches;
                    if (wasPending && !m.pending && m.reports.size() > before) ++pendingReports;
                }
                d.rec.calls.clear();
                d.process();
                ASSERT_TRUE(sameBits(d.buffer(4), expected.data(), bs))
                    << id << ", block size " << bs << ", block " << b;
                const auto got = d.rec.streamingOf(4);
                ASSERT_EQ(got.size(), m.reports.size()) << id << ", block " << b;
                for (size_t k = 0; k < got.size(); ++k) {
                    EXPECT_EQ(got[k].offset, m.reports[k].offset) << id << ", block " << b;
                    EXPECT_EQ(got[k].streaming, m.reports[k].streaming) << id << ", block " << b;
                }
            }
            EXPECT_GT(switches, 100) << id << ", block size " << bs;
            EXPECT_GT(pendingReports, 20) << id << ", block size " << bs;
        }
    }
}
