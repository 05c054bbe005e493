// The fast paths give the same bits as the straightforward ones. Each module
// whose loop is vectorised or split for speed runs on random input, with
// events at random offsets, against a plain per-sample model written here
// from the module's description, compared bit for bit together with the
// streaming reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
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
        if (countdown > 0) countdown = length;
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
            ASSERT_EQ(got.size(), m.reports.size()) << "block " << b;
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

}  // namespace
