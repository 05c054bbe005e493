// MinMax and MinMaxIndex: extremes at the sample level, NaN, inputs created
// from the host's pin list, streaming and sleep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/test_support.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(MinMax, KeepsTheExtremesSinceCreation) {
    ztest::Driver d("MinMax", "aAA", 48000.0f, 8);
    d.events.addStreaming(0, 0, true);
    d.events.addGraphStart(0);
    d.set(0, {0.2f, 0.5f, 0.1f, kNaN, 0.9f, 0.3f, 0.3f, 0.4f});
    d.process();
    // The minimum starts at 0 and a positive signal never goes below it.
    EXPECT_EQ(d.out(1, 8), std::vector<float>(8, 0.0f));
    EXPECT_EQ(d.out(2, 8), (std::vector<float>{0.2f, 0.5f, 0.5f, 0.5f, 0.9f, 0.9f, 0.9f, 0.9f}));
    // The spike is never forgotten, across blocks and spans.
    d.set(0, {-0.4f, -0.1f, -0.7f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    d.events.addStreaming(1, 0, true);
    d.process();
    EXPECT_EQ(d.out(1, 8),
              (std::vector<float>{-0.4f, -0.4f, -0.7f, -0.7f, -0.7f, -0.7f, -0.7f, -0.7f}));
    EXPECT_EQ(d.out(2, 8), std::vector<float>(8, 0.9f));
}

TEST(MinMax, NegativeSignalKeepsAZeroMaximum) {
    ztest::Driver d("MinMax", "aAA", 48000.0f, 4);
    d.events.addStreaming(0, 0, true);
    d.events.addGraphStart(0);
    d.set(0, {-0.1f, -0.3f, -0.2f, -0.5f});
    d.process();
    EXPECT_EQ(d.out(1, 4), (std::vector<float>{-0.1f, -0.3f, -0.3f, -0.5f}));
    EXPECT_EQ(d.out(2, 4), std::vector<float>(4, 0.0f));
}

TEST(MinMax, SteadyInputIsTakenInBeforeSleeping) {
    ztest::Driver d("MinMax", "aAA", 48000.0f, 16);
    d.events.addStreaming(0, 0, true);
    d.events.addGraphStart(0);
    d.fill(0, 0.1f);
    d.process();
    // Steady from sample 5 at a new extreme.
    for (int i = 5; i < 16; ++i) d.buffer(0)[i] = 0.6f;
    d.events.addStreaming(5, 0, false);
    d.process();
    EXPECT_EQ(d.buffer(2)[4], 0.1f);
    EXPECT_EQ(d.buffer(2)[5], 0.6f);
    for (int pin : {1, 2}) {
        auto r = d.rec.streamingOf(pin);
        ASSERT_FALSE(r.back().streaming);
        EXPECT_EQ(r.back().offset, 5);
        EXPECT_EQ(r.back().block, 1);
    }
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.fill(0, 0.6f);
    d.process();  // samples 5..20 counted down, then sleep at the end of block 2
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 2);
    EXPECT_EQ(d.buffer(2)[15], 0.6f);
    d.events.addStreaming(2, 0, true);
    d.process();
    EXPECT_TRUE(d.rec.streamingOf(1).back().streaming);
    EXPECT_EQ(d.rec.streamingOf(2).back().offset, 2);
}

void startIndex(ztest::Driver& d, int inputs, int firstInput = 4) {
    for (int k = 0; k < inputs; ++k) d.events.addStreaming(0, firstInput + k, true);
    d.events.addGraphStart(0);
}

TEST(MinMaxIndex, SmallestAndLargestWithTheirIndices) {
    ztest::Driver d("MinMaxIndex", "AAAAaaaa", 48000.0f, 4);
    startIndex(d, 4);
    d.set(4, {0.3f, 0.0f, kNaN, 0.5f});
    d.set(5, {0.7f, 0.0f, 0.1f, kNaN});
    d.set(6, {0.7f, -1.0f, 0.9f, 0.5f});
    d.set(7, {-0.2f, 1.0f, -0.3f, 0.6f});
    d.process();
    // Sample 0: ties go to the lower index. Sample 2: NaN in input 0 stays.
    // Sample 3: a later NaN is skipped.
    EXPECT_EQ(d.out(0, 4)[0], -0.2f);
    EXPECT_EQ(d.out(1, 4)[0], 3.0f * 0.1f);
    EXPECT_EQ(d.out(2, 4)[0], 0.7f);
    EXPECT_EQ(d.out(3, 4)[0], 0.1f);
    EXPECT_EQ(d.out(0, 4)[1], -1.0f);
    EXPECT_EQ(d.out(1, 4)[1], 2.0f * 0.1f);
    EXPECT_EQ(d.out(2, 4)[1], 1.0f);
    EXPECT_EQ(d.out(3, 4)[1], 3.0f * 0.1f);
    EXPECT_TRUE(std::isnan(d.out(0, 4)[2]));
    EXPECT_TRUE(std::isnan(d.out(2, 4)[2]));
    EXPECT_EQ(d.out(1, 4)[2], 0.0f);
    EXPECT_EQ(d.out(3, 4)[2], 0.0f);
    EXPECT_EQ(d.out(0, 4)[3], 0.5f);
    EXPECT_EQ(d.out(1, 4)[3], 0.0f);
    EXPECT_EQ(d.out(2, 4)[3], 0.6f);
    EXPECT_EQ(d.out(3, 4)[3], 3.0f * 0.1f);
}

TEST(MinMaxIndex, OneInputIsBothExtremes) {
    ztest::Driver d("MinMaxIndex", "AAAAa", 48000.0f, 4);
    startIndex(d, 1);
    d.set(4, {0.1f, -0.2f, 0.3f, kNaN});
    d.process();
    EXPECT_EQ(d.out(0, 3), d.out(4, 3));
    EXPECT_EQ(d.out(2, 3), d.out(4, 3));
    EXPECT_EQ(d.out(1, 4), std::vector<float>(4, 0.0f));
    EXPECT_EQ(d.out(3, 4), std::vector<float>(4, 0.0f));
}

TEST(MinMaxIndex, NoInputsWritesZerosAndSleeps) {
    ztest::Driver d("MinMaxIndex", "AAAA", 48000.0f, 8);
    for (int p = 0; p < 4; ++p) d.fill(p, 0.5f);
    d.events.addGraphStart(0);
    d.process();
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(d.out(p, 8), std::vector<float>(8, 0.0f));
        auto r = d.rec.streamingOf(p);
        ASSERT_EQ(r.size(), 2u);
        EXPECT_FALSE(r[1].streaming);
        EXPECT_EQ(r[1].offset, 0);
    }
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
}

TEST(MinMaxIndex, OutputsStreamWhileAnyInputStreams) {
    ztest::Driver d("MinMaxIndex", "AAAAaa", 48000.0f, 8);
    d.events.addStreaming(0, 4, true);
    d.events.addStreaming(0, 5, false);
    d.events.addGraphStart(0);
    d.process();
    d.events.addStreaming(3, 4, false);
    d.process();
    for (int p = 0; p < 4; ++p) {
        auto r = d.rec.streamingOf(p);
        ASSERT_FALSE(r.back().streaming);
        EXPECT_EQ(r.back().offset, 3);
        EXPECT_EQ(r.back().block, 1);
    }
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 2);
    d.events.addStreaming(5, 5, true);
    d.process();
    EXPECT_TRUE(d.rec.streamingOf(3).back().streaming);
    EXPECT_EQ(d.rec.streamingOf(3).back().offset, 5);
}

TEST(MinMaxIndex, InputsTakeTheirPositionInTheHostList) {
    // A float pin listed between the audio inputs keeps its place: the second
    // input is pin 6, and pin 5 is not compared.
    ztest::Driver d("MinMaxIndex", "AAAAafa", 48000.0f, 2);
    EXPECT_EQ(d.instance().bindBuffer(6, d.buffer(6)), 0);
    d.events.addStreaming(0, 4, true);
    d.events.addStreaming(0, 6, true);
    d.events.addFloat(0, 5, 3.0f);
    d.events.addGraphStart(0);
    d.set(4, {0.2f, 0.4f});
    d.set(6, {0.3f, -0.1f});
    d.process();
    EXPECT_EQ(d.out(0, 2), (std::vector<float>{0.2f, -0.1f}));
    EXPECT_EQ(d.out(3, 2), (std::vector<float>{0.1f, 0.0f}));
    EXPECT_EQ(d.out(1, 2), (std::vector<float>{0.0f, 0.1f}));
}

}  // namespace
