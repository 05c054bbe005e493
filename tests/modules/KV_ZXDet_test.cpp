// Zero-crossing detector: pulses per direction, crossings across span and
// block boundaries, going steady when the input does, and sleep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

enum { kIn = 0, kDir = 1, kOut = 2 };
const float kNaN = std::numeric_limits<float>::quiet_NaN();

void start(Driver& d, int32_t direction, bool streaming) {
    d.events.addInt(0, kDir, direction);
    d.events.addStreaming(0, kIn, streaming);
    d.events.addGraphStart(0);
}

std::vector<float> run(int32_t direction, const std::vector<float>& x) {
    Driver d("KV_ZXDet", "aeA", 48000.0f, static_cast<int32_t>(x.size()));
    start(d, direction, true);
    d.set(kIn, x);
    d.process();
    return d.out(kOut, static_cast<int32_t>(x.size()));
}

TEST(KV_ZXDet, PulsesPerDirection) {
    const std::vector<float> x{-1.0f, 1.0f, -1.0f, 1.0f};
    // The first sample compares with the stored 0.0: no crossing.
    EXPECT_EQ(run(0, x), (std::vector<float>{0, 1, 0, 1}));
    EXPECT_EQ(run(1, x), (std::vector<float>{0, 0, 1, 0}));
    EXPECT_EQ(run(2, x), (std::vector<float>{0, 1, 1, 1}));
    EXPECT_EQ(run(3, x), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_EQ(run(-1, x), (std::vector<float>{0, 0, 0, 0}));
}

TEST(KV_ZXDet, ExactZeroAndNaNBreakACrossing) {
    EXPECT_EQ(run(2, {1.0f, 0.0f, -1.0f, 0.0f, 1.0f}), (std::vector<float>{0, 0, 0, 0, 0}));
    EXPECT_EQ(run(2, {-1.0f, kNaN, 1.0f, kNaN, -1.0f}), (std::vector<float>{0, 0, 0, 0, 0}));
    // The smallest values count as signs.
    const float tiny = std::numeric_limits<float>::denorm_min();
    EXPECT_EQ(run(2, {-tiny, tiny, -tiny}), (std::vector<float>{0, 1, 1}));
}

TEST(KV_ZXDet, SineGivesOnePulsePerPeriodAndDirection) {
    // 48 samples per period, phase offset so that no sample is exactly 0.
    constexpr int kBlocks = 8, kBlock = 32, kPeriod = 48;
    for (int direction : {0, 1, 2, 3}) {
        Driver d("KV_ZXDet", "aeA", 48000.0f, kBlock);
        start(d, direction, true);
        int pulses = 0, n = 0;
        for (int b = 0; b < kBlocks; ++b) {
            for (int i = 0; i < kBlock; ++i, ++n)
                d.buffer(kIn)[i] = std::sin(2.0f * 3.14159265f * (n + 0.25f) / kPeriod);
            d.process();
            for (int i = 0; i < kBlock; ++i) pulses += d.buffer(kOut)[i] == 1.0f;
        }
        // 256 samples: rising crossings near 48, 96 ... 240, falling near
        // 24, 72 ... 216; the first sample (after the stored 0.0) is none.
        const int expected[] = {5, 5, 10, 0};
        EXPECT_EQ(pulses, expected[direction]) << "direction " << direction;
    }
}

TEST(KV_ZXDet, CrossingOnSpanAndBlockBoundariesIsDetected) {
    Driver d("KV_ZXDet", "aeA", 48000.0f, 8);
    start(d, 2, true);
    d.set(kIn, {0.5f, 0.5f, 0.5f, -0.5f, -0.5f, -0.5f, -0.5f, -0.5f});
    // A direction event at 3 cuts the block exactly before the crossing.
    d.events.addInt(3, kDir, 2);
    d.process();
    EXPECT_EQ(d.out(kOut, 8), (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 0}));
    d.set(kIn, {0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f});
    d.process();
    EXPECT_EQ(d.out(kOut, 8), (std::vector<float>{1, 0, 0, 0, 0, 0, 0, 0}));
    // Direction change mid-block takes effect at its sample.
    d.set(kIn, {-1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f});
    d.events.addInt(4, kDir, 1);
    d.process();
    EXPECT_EQ(d.out(kOut, 8), (std::vector<float>{1, 1, 1, 1, 1, 0, 1, 0}));
}

TEST(KV_ZXDet, GoesSteadyAtTheEndOfTheFirstSpanWithoutPulse) {
    Driver d("KV_ZXDet", "aeA", 48000.0f, 16);
    start(d, 0, true);
    d.fill(kIn, -1.0f);
    d.process();  // block 0
    // The input stops at 8 on a constant across zero: a pulse at 8, then zeros.
    d.events.addStreaming(8, kIn, false);
    for (int i = 8; i < 16; ++i) d.buffer(kIn)[i] = 2.0f;
    d.rec.calls.clear();
    d.process();  // block 1
    std::vector<float> expected(16, 0.0f);
    expected[8] = 1.0f;
    EXPECT_EQ(d.out(kOut, 16), expected);
    auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_TRUE(s[0].streaming);  // every streaming event of the input wakes it
    EXPECT_EQ(s[0].offset, 8);
    EXPECT_FALSE(s[1].streaming);  // just after the span
    EXPECT_EQ(s[1].offset, 16);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.process();  // block 2: one block of zeros computed, then sleep
    EXPECT_EQ(d.out(kOut, 16), std::vector<float>(16, 0.0f));
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 2);
    EXPECT_EQ(d.rec.streamingOf(kOut).size(), 2u);
}

TEST(KV_ZXDet, PulseOnTheLastSampleKeepsStreamingOneMoreSpan) {
    Driver d("KV_ZXDet", "aeA", 48000.0f, 16);
    start(d, 0, true);
    d.fill(kIn, -1.0f);
    d.process();
    d.events.addStreaming(15, kIn, false);
    d.buffer(kIn)[15] = 1.0f;
    d.rec.calls.clear();
    d.process();  // block 1: pulse at 15, no steady report
    EXPECT_EQ(d.buffer(kOut)[15], 1.0f);
    auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(s[0].streaming);
    d.fill(kIn, 1.0f);
    d.process();  // block 2: zeros, steady from its end
    EXPECT_EQ(d.out(kOut, 16), std::vector<float>(16, 0.0f));
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 16);
    EXPECT_EQ(s[1].block, 2);
}

TEST(KV_ZXDet, StaticFromTheStartSleepsAndWakesOnStreaming) {
    Driver d("KV_ZXDet", "aeA", 48000.0f, 16);
    start(d, 2, false);
    d.fill(kIn, -0.5f);
    d.process();  // block 0
    EXPECT_EQ(d.out(kOut, 16), std::vector<float>(16, 0.0f));
    auto s = d.rec.streamingOf(kOut);
    ASSERT_FALSE(s.empty());
    EXPECT_FALSE(s.back().streaming);
    EXPECT_EQ(s.back().offset, 16);
    d.process();  // block 1
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 1);

    // Streaming again at 4: the previous sample is the constant -0.5.
    d.rec.calls.clear();
    d.events.addStreaming(4, kIn, true);
    d.set(kIn, {-0.5f, -0.5f, -0.5f, -0.5f, 0.5f, -0.5f, 0.5f, 0.5f});
    d.process();
    EXPECT_EQ(d.out(kOut, 8), (std::vector<float>{0, 0, 0, 0, 1, 1, 1, 0}));
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 4);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
}

TEST(KV_ZXDet, EmptySpanCountsAsEndingInZero) {
    Driver d("KV_ZXDet", "aeA", 48000.0f, 16);
    start(d, 0, false);
    d.process(0);
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_FALSE(s.empty());
    EXPECT_FALSE(s.back().streaming);
    EXPECT_EQ(s.back().offset, 0);
}

}  // namespace
