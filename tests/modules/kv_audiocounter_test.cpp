// KV_AudioCounter: edges, count modes, reset, streaming and sleep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int kClock = 0, kReset = 1, kEdge = 2, kMode = 3, kLimit = 4, kOut = 5;

void start(ztest::Driver& d, int edge, int mode, int limit, bool setLimit = true) {
    d.events.addInt(0, kEdge, edge);
    d.events.addInt(0, kMode, mode);
    if (setLimit) d.events.addInt(0, kLimit, limit);
    d.events.addStreaming(0, kClock, true);
    d.events.addStreaming(0, kReset, false);
    d.events.addGraphStart(0);
}

// Square clock, low for 3 samples then high for 3: rising edges at 3, 9, 15 ...
float square(int n) {
    return (n / 3) % 2 ? 0.5f : -0.5f;
}

// Counts after each of `edges` rising edges, from blocks of 16.
std::vector<float> countsAtEdges(ztest::Driver& d, int edges) {
    std::vector<float> counts;
    for (int b = 0; static_cast<int>(counts.size()) < edges; ++b) {
        for (int i = 0; i < 16; ++i) d.buffer(kClock)[i] = square(b * 16 + i);
        d.process();
        for (int i = 0; i < 16; ++i) {
            const int n = b * 16 + i;
            if (n % 6 == 3 && static_cast<int>(counts.size()) < edges)
                counts.push_back(d.buffer(kOut)[i]);
        }
    }
    return counts;
}

std::vector<float> volts(std::vector<int> counts) {
    std::vector<float> v;
    for (int c : counts) v.push_back(static_cast<float>(c) * 0.1f);
    return v;
}

TEST(KV_AudioCounter, CountModesWithLimitThree) {
    struct Case {
        int mode;
        std::vector<int> counts;
    };
    for (const Case& c : {Case{0, {1, 2, 3, 4, 5, 6, 7, 8}}, Case{1, {1, 2, 3, 3, 3, 3, 3, 3}},
                          Case{2, {1, 2, 3, 0, 1, 2, 3, 0}}, Case{3, {1, 2, 3, 2, 1, 0, 1, 2}},
                          Case{7, {0, 0, 0, 0, 0, 0, 0, 0}}}) {
        ztest::Driver d("KV_AudioCounter", "aaeeiA", 48000.0f, 16);
        start(d, 0, c.mode, 3);
        EXPECT_EQ(countsAtEdges(d, 8), volts(c.counts)) << "mode " << c.mode;
    }
}

TEST(KV_AudioCounter, LimitZeroOrNegativeActsAsOne) {
    for (int limit : {0, -4}) {
        ztest::Driver d("KV_AudioCounter", "aaeeiA", 48000.0f, 16);
        start(d, 0, 3, limit);
        EXPECT_EQ(countsAtEdges(d, 6), volts({1, 0, 1, 0, 1, 0})) << limit;
    }
    ztest::Driver d("KV_AudioCounter", "aaeeiA", 48000.0f, 16);
    start(d, 0, 2, 0);
    EXPECT_EQ(countsAtEdges(d, 4), volts({1, 0, 1, 0}));
}

TEST(KV_AudioCounter, LimitNeverSetIsZero) {
    // Stop and wrap hold the count at 0; up and down, which would turn down
    // from 0 past the bottom, bounces between 0 and 1.
    const std::vector<std::vector<int>> want = {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 1, 0}};
    for (int mode : {1, 2, 3}) {
        ztest::Driver d("KV_AudioCounter", "aaeeiA", 48000.0f, 16);
        start(d, 0, mode, 0, false);
        EXPECT_EQ(countsAtEdges(d, 4), volts(want[mode - 1])) << "mode " << mode;
    }
}

TEST(KV_AudioCounter, EdgeConditionsAtZero) {
    ztest::Driver d("KV_AudioCounter", "aaeeiA", 48000.0f, 8);
    start(d, 0, 0, 0);
    // From exactly 0 upwards counts; a NaN swallows the crossing around it.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    d.set(kClock, {0.0f, 0.3f, 0.0f, 0.2f, -1.0f, nan, 1.0f, 1.0f});
    d.process();
    EXPECT_EQ(d.out(kOut, 8), volts({0, 1, 1, 2, 2, 2, 2, 2}));

    ztest::Driver f("KV_AudioCounter", "aaeeiA", 48000.0f, 8);
    start(f, 1, 0, 0);
    // Falling: p >= 0 and c < 0; reaching 0 is not enough. The first sample
    // falls from the initial 0.
    f.set(kClock, {-0.1f, 0.5f, 0.0f, 0.4f, -0.4f, 0.0f, -0.1f, -0.2f});
    f.process();
    EXPECT_EQ(f.out(kOut, 8), volts({1, 1, 1, 1, 2, 2, 3, 3}));

    ztest::Driver o("KV_AudioCounter", "aaeeiA", 48000.0f, 8);
    start(o, 2, 0, 0);
    o.set(kClock, {-1, 1, -1, 1, -1, 1, -1, 1});
    o.process();
    EXPECT_EQ(o.out(kOut, 8), volts({0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(KV_AudioCounter, EdgeStraddlingBlocksAndSpans) {
    ztest::Driver d("KV_AudioCounter", "aaeeiA", 48000.0f, 8);
    start(d, 0, 0, 0);
    d.set(kClock, {-1, -1, -1, -1, -1, -1, -1, -1});
    d.process();
    d.set(kClock, {1, 1, -1, -1, 1, 1, 1, 1});
    d.events.addInt(4, kMode, 0);  // a span boundary right at an edge
    d.process();
    EXPECT_EQ(d.out(kOut, 8), volts({1, 1, 1, 1, 2, 2, 2, 2}));
}

TEST(KV_AudioCounter, ResetClearsAndTracksTheClock) {
    ztest::Driver d("KV_AudioCounter", "aaeeiA", 48000.0f, 12);
    start(d, 0, 3, 5);
    d.events.addStreaming(0, kReset, true);
    d.set(kClock, {-1, 1, -1, 1, -1, 1, 1, 1, -1, 1, -1, 1});
    d.set(kReset, {0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0});
    d.process();
    // Counts 1, 2; reset clears; the rising edge at 5 happens during the
    // reset and does not count after it; the next edge at 9 counts 1.
    EXPECT_EQ(d.out(kOut, 12), volts({0, 1, 1, 2, 0, 0, 0, 0, 0, 1, 1, 2}));
}

TEST(KV_AudioCounter, ReportsStaticWhenClockAndResetStopAndSleeps) {
    ztest::Driver d("KV_AudioCounter", "aaeeiA", 48000.0f, 16);
    start(d, 0, 0, 0);
    d.fill(kClock, -1.0f);
    d.process();
    // The clock stops at a high value: the last edge lies on the stop sample.
    for (int i = 6; i < 16; ++i) d.buffer(kClock)[i] = 1.0f;
    d.events.addStreaming(6, kClock, false);
    d.process();
    EXPECT_EQ(d.buffer(kOut)[5], 0.0f);
    EXPECT_EQ(d.buffer(kOut)[6], 0.1f);
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 6);
    EXPECT_EQ(reports.back().block, 1);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 2);
    // A streaming reset wakes the output.
    d.events.addStreaming(3, kReset, true);
    d.process();
    reports = d.rec.streamingOf(kOut);
    EXPECT_TRUE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 3);
}

}  // namespace
