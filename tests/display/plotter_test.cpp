// Plotter, DSP half: the (minimum, maximum) messages, their timing at the
// sample level, the gain from the range pin and the period from the interval.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

constexpr int kSignal = 0, kInterval = 1, kRange = 2;
constexpr const char* kLayout = "aff";

struct Pair {
    float min, max;
};

std::vector<Pair> pairs(const Driver& d) {
    std::vector<Pair> r;
    for (const Call& c : d.rec.of(Call::GuiMessage)) {
        EXPECT_EQ(c.pin, 0);  // message id
        EXPECT_EQ(c.bytes.size(), 8u);
        Pair p{};
        std::memcpy(&p, c.bytes.data(), 8);
        r.push_back(p);
    }
    return r;
}

void start(Driver& d, float intervalMs, float range) {
    d.events.addFloat(0, kInterval, intervalMs);
    d.events.addFloat(0, kRange, range);
    d.events.addStreaming(0, kSignal, true);
    d.events.addGraphStart(0);
}

// Sample n of a ramp is n: a pair (min, max) then names its first and last sample.
void feedRamp(Driver& d, int64_t first) {
    for (int32_t i = 0; i < d.blockSize(); ++i)
        d.buffer(kSignal)[i] = static_cast<float>(first + i);
}

TEST(Plotter, OnePairPerPeriodCoveringExactlyItsSamples) {
    const int32_t bs = 64;
    Driver d("Plotter", kLayout, 44100.0f, bs);
    start(d, 10.0f, 10.0f);  // 441 samples a column, gain 1
    std::vector<int> messagesPerBlock;
    for (int b = 0; b < 30; ++b) {
        feedRamp(d, int64_t{b} * bs);
        const size_t before = d.rec.of(Call::GuiMessage).size();
        d.process();
        messagesPerBlock.push_back(static_cast<int>(d.rec.of(Call::GuiMessage).size() - before));
    }
    const auto p = pairs(d);
    ASSERT_EQ(p.size(), 4u);  // 1920 samples
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(p[k].min, static_cast<float>(441 * k)) << k;
        EXPECT_EQ(p[k].max, static_cast<float>(441 * k + 440)) << k;
    }
    // Sent from within the block holding the column's last sample.
    for (int b = 0; b < 30; ++b) {
        const int last = b * bs + bs - 1;
        const int expected = (last + 1) / 441 - (b * bs) / 441;
        EXPECT_EQ(messagesPerBlock[b], expected) << b;
    }
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    EXPECT_TRUE(d.rec.of(Call::Value).empty());
    EXPECT_TRUE(d.rec.of(Call::Streaming).empty());
}

TEST(Plotter, PeriodFromIntervalAndSampleRate) {
    struct Case {
        float rate, ms;
        int period;
    };
    for (const Case& c : {Case{44100.0f, 10.0f, 441}, Case{44100.0f, 5.0f, 441},
                          Case{44100.0f, -3.0f, 441}, Case{48000.0f, 20.0f, 960},
                          Case{48000.0f, 12.5f, 600}, Case{44100.0f, std::nanf(""), 441}}) {
        Driver d("Plotter", kLayout, c.rate, 32);
        start(d, c.ms, 10.0f);
        int64_t n = 0;
        for (int b = 0; b < 80; ++b, n += 32) {
            feedRamp(d, n);
            d.process();
        }
        const auto p = pairs(d);
        ASSERT_GE(p.size(), 2u) << c.rate << " " << c.ms;
        EXPECT_EQ(p[0].max, static_cast<float>(c.period - 1)) << c.rate << " " << c.ms;
        EXPECT_EQ(p[1].min, static_cast<float>(c.period)) << c.rate << " " << c.ms;
        EXPECT_EQ(p[1].max, static_cast<float>(2 * c.period - 1)) << c.rate << " " << c.ms;
    }
}

TEST(Plotter, DefaultPeriodBeforeTheFirstIntervalValue) {
    Driver d("Plotter", kLayout, 44100.0f, 100);
    d.events.addStreaming(0, kSignal, true);
    d.events.addGraphStart(0);
    for (int b = 0; b < 25; ++b) {
        feedRamp(d, b * 100);
        d.process();
    }
    const auto p = pairs(d);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].min, 0.0f);
    EXPECT_EQ(p[0].max, 999.0f);
    EXPECT_EQ(p[1].min, 1000.0f);
}

TEST(Plotter, RangeSetsTheGain) {
    struct Case {
        float range, gain;
    };
    const float b5 = 0.1f * 5.0f, b3 = 0.1f * 3.0f;
    for (const Case& c :
         {Case{10.0f, 1.0f}, Case{5.0f, 1.0f / b5}, Case{3.0f, 1.0f / b3}, Case{0.0f, 100000.0f},
          Case{-4.0f, 100000.0f}, Case{0.00009f, 100000.0f}}) {
        Driver d("Plotter", kLayout, 1000.0f, 10);  // 10 samples a column
        start(d, 10.0f, c.range);
        d.set(kSignal, {0.25f, -0.5f, 0.125f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
        d.process();
        const auto p = pairs(d);
        ASSERT_EQ(p.size(), 1u);
        EXPECT_EQ(p[0].min, -0.5f * c.gain) << c.range;
        EXPECT_EQ(p[0].max, 0.25f * c.gain) << c.range;
    }
}

TEST(Plotter, ExtremesResetAfterEachPairAndCarryAcrossBlocks) {
    Driver d("Plotter", kLayout, 1000.0f, 4);  // columns of 10 samples, blocks of 4
    start(d, 10.0f, 10.0f);
    const std::vector<float> sig = {0.5f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, -0.3f, 0.1f,
                                    0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f,  0.2f};
    for (size_t i = 0; i < sig.size(); i += 4) {
        d.set(kSignal, {sig[i], sig[i + 1], sig[i + 2], sig[i + 3]});
        d.process();
    }
    const auto p = pairs(d);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].min, -0.3f);
    EXPECT_EQ(p[0].max, 0.5f);
    EXPECT_EQ(p[1].min, 0.2f);  // nothing of the first column survives
    EXPECT_EQ(p[1].max, 0.2f);
}

TEST(Plotter, IntervalChangeMidBlockRestartsTheColumnCount) {
    Driver d("Plotter", kLayout, 1000.0f, 64);
    start(d, 10.0f, 10.0f);
    feedRamp(d, 0);
    d.events.addFloat(15, kInterval, 20.0f);  // sample 15: 20 samples a column from here
    d.process();
    const auto p = pairs(d);
    // Column 0..9 is sent; 10..14 are forgotten by the count but stay in the
    // extremes, so the next column runs 15..34 holding 10..34.
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].min, 0.0f);
    EXPECT_EQ(p[0].max, 9.0f);
    EXPECT_EQ(p[1].min, 10.0f);
    EXPECT_EQ(p[1].max, 34.0f);
    EXPECT_EQ(p[2].min, 35.0f);
    EXPECT_EQ(p[2].max, 54.0f);
}

TEST(Plotter, RangeChangeMidBlockScalesFromThatSample) {
    Driver d("Plotter", kLayout, 1000.0f, 10);
    start(d, 10.0f, 10.0f);
    d.fill(kSignal, 0.5f);
    d.buffer(kSignal)[7] = -0.5f;
    d.events.addFloat(5, kRange, 5.0f);  // gain 2 from sample 5
    d.process();
    const auto p = pairs(d);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].max, 0.5f * (1.0f / (0.1f * 5.0f)));
    EXPECT_EQ(p[0].min, -0.5f * (1.0f / (0.1f * 5.0f)));
}

// Decision: a period below one sample (very low sample rates, or none) makes
// every sample a column instead of silently stopping the chart.
TEST(Plotter, PeriodBelowOneSampleSendsEverySample) {
    for (float rate : {50.0f, 0.0f}) {
        Driver d("Plotter", kLayout, rate, 8);
        start(d, 10.0f, 10.0f);
        d.set(kSignal, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f});
        d.process();
        const auto p = pairs(d);
        ASSERT_EQ(p.size(), 8u) << rate;
        EXPECT_EQ(p[2].min, 0.3f);
        EXPECT_EQ(p[2].max, 0.3f);
    }
}

TEST(Plotter, HugeIntervalDoesNotWrapThePeriod) {
    Driver d("Plotter", kLayout, 48000.0f, 64);
    start(d, 1.0e12f, 10.0f);
    for (int b = 0; b < 20; ++b) d.process();
    EXPECT_TRUE(pairs(d).empty());
}

TEST(Plotter, NonFiniteSamples) {
    Driver d("Plotter", kLayout, 1000.0f, 10);
    start(d, 10.0f, 10.0f);
    d.set(kSignal, {0.1f, INFINITY, -INFINITY, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    d.process();
    d.set(kSignal, {0.1f, 0.2f, std::nanf(""), 0.3f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    d.process();
    d.set(kSignal, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 0.05f});
    d.process();
    const auto p = pairs(d);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].min, -INFINITY);
    EXPECT_EQ(p[0].max, INFINITY);
    // A NaN in mid-column is replaced by the samples after it.
    EXPECT_EQ(p[1].min, 0.0f);
    EXPECT_EQ(p[1].max, 0.3f);
    // and leaves nothing behind in the next column.
    EXPECT_EQ(p[2].min, 0.05f);
    EXPECT_EQ(p[2].max, 0.9f);
}

}  // namespace
