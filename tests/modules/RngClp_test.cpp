// Range clip: bounds as audio signals, NaN handling, streaming reports and sleep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

enum { kIn = 0, kLo = 1, kHi = 2, kOut = 3 };
const float kNaN = std::numeric_limits<float>::quiet_NaN();

void start(Driver& d, bool in, bool lo, bool hi) {
    d.events.addStreaming(0, kIn, in);
    d.events.addStreaming(0, kLo, lo);
    d.events.addStreaming(0, kHi, hi);
    d.events.addGraphStart(0);
}

TEST(RngClp, ClipsToAudioBoundsLowerFirst) {
    Driver d("RngClp", "aaaA", 48000.0f, 8);
    start(d, true, true, true);
    // Per sample: ordinary range, then an inverted one (lo > hi gives hi).
    d.set(kIn, {0.7f, -0.9f, 0.2f, 0.5f, 0.7f, -0.9f, 0.5f, 0.45f});
    d.set(kLo, {-0.5f, -0.5f, -0.5f, -0.5f, 0.6f, 0.6f, 0.6f, 0.6f});
    d.set(kHi, {0.5f, 0.5f, 0.5f, 0.5f, 0.4f, 0.4f, 0.4f, 0.4f});
    d.process();
    EXPECT_EQ(d.out(kOut, 8),
              (std::vector<float>{0.5f, -0.5f, 0.2f, 0.5f, 0.4f, 0.4f, 0.4f, 0.4f}));
}

TEST(RngClp, NaNBoundIsIgnoredAndNaNSignalPasses) {
    Driver d("RngClp", "aaaA", 48000.0f, 4);
    start(d, true, true, true);
    d.set(kIn, {2.0f, -2.0f, kNaN, 0.1f});
    d.set(kLo, {kNaN, -1.0f, -1.0f, kNaN});
    d.set(kHi, {1.0f, kNaN, 1.0f, kNaN});
    d.process();
    const auto y = d.out(kOut, 4);
    EXPECT_EQ(y[0], 1.0f);   // NaN lower bound: only the upper one acts
    EXPECT_EQ(y[1], -1.0f);  // NaN upper bound: only the lower one acts
    EXPECT_TRUE(std::isnan(y[2]));
    EXPECT_EQ(y[3], 0.1f);
}

TEST(RngClp, StreamsWhileAnyInputStreamsAndSleepsOtherwise) {
    Driver d("RngClp", "aaaA", 48000.0f, 16);
    start(d, false, false, false);
    d.fill(kIn, -0.9f);
    d.fill(kLo, -0.2f);
    d.fill(kHi, 0.3f);
    d.process();  // block 0
    // Graph start publishes the output, then the static inputs make it static.
    auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 0);
    EXPECT_EQ(d.out(kOut, 16), std::vector<float>(16, -0.2f));
    // The whole block was computed before the first sleep request.
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 0);

    // The lower bound starts streaming mid-block: reported at that sample.
    d.rec.calls.clear();
    d.events.addStreaming(5, kLo, true);
    for (int i = 0; i < 16; ++i) d.buffer(kLo)[i] = 0.01f * static_cast<float>(i);
    d.process();  // block 1
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 5);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    EXPECT_EQ(d.buffer(kOut)[15], 0.01f * 15.0f);
    d.process();  // block 2: still streaming, no sleep
    EXPECT_EQ(d.rec.sleepRequests(), 0);

    // It stops at 9: static from 9, one host block of samples, then sleep.
    d.events.addStreaming(9, kLo, false);
    d.process();  // block 3
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 9);
    EXPECT_EQ(s[1].block, 3);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.process();  // block 4: countdown spent at 9, sleep asked at the block end
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 4);
}

}  // namespace
