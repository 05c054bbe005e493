// Glider and Glider2: glide values at the sample level, settling, sleep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "support/test_support.h"

namespace {

constexpr int kTarget = 0, kTime = 1, kMode = 2, kReset = 3, kOut = 4;
constexpr int k2Target = 0, k2Rise = 1, k2Fall = 2, k2Mode = 3, k2Reset = 4, k2Out = 5;

// One sample of a slew limiter moving y towards g by at most `step`.
float slew(float y, float g, float step) {
    if (g > y) return std::min(g, y + step);
    if (y > g) return std::max(g, y - step);
    return y;
}

// First block of a Glider: initial values, streaming states, graph start.
void startGlider(ztest::Driver& d, int mode, bool targetStreams) {
    d.events.addInt(0, kMode, mode);
    d.events.addStreaming(0, kTarget, targetStreams);
    d.events.addStreaming(0, kTime, false);
    d.events.addStreaming(0, kReset, false);
    d.events.addGraphStart(0);
}

TEST(Glider, ConstantTimeCoversAJumpInTheGlideTime) {
    ztest::Driver d("Glider", "aaeaA", 48000.0f, 64);
    d.fill(kTarget, 1.0f);
    d.fill(kTime, 0.1f);  // 1 s
    startGlider(d, 0, false);

    const float step = 1.0f / 48000.0f;
    float y = 0.0f;
    int arrival = -1;
    for (int b = 0; b < 760 && arrival < 0; ++b) {
        d.process();
        for (int i = 0; i < 64; ++i) {
            y = slew(y, 1.0f, step);
            ASSERT_EQ(d.buffer(kOut)[i], y) << "block " << b << " sample " << i;
            if (y == 1.0f && arrival < 0) arrival = b * 64 + i;
        }
    }
    // 48000 steps of 1/48000, give or take the rounding of the running sum
    // in single precision (it arrives about 30 samples early).
    ASSERT_NEAR(arrival, 48000, 48);
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0].streaming);
    EXPECT_EQ(reports[0].block, 0);
    EXPECT_FALSE(reports[1].streaming);
    EXPECT_EQ(reports[1].block, arrival / 64);
    EXPECT_EQ(reports[1].offset, arrival % 64);
    EXPECT_EQ(d.rec.sleepRequests(), 0);

    // One more host block of output is computed, then the instance asks to sleep.
    const int settledBlock = arrival / 64;
    for (int b = settledBlock + 1; b < settledBlock + 3; ++b) d.process();
    auto sleeps = d.rec.of(ztest::Call::Sleep);
    ASSERT_FALSE(sleeps.empty());
    EXPECT_EQ(sleeps[0].block, settledBlock + 1);
    EXPECT_EQ(d.buffer(kOut)[63], 1.0f);
}

TEST(Glider, ConstantRateMovesOneVoltPerGlideTimeWhateverTheDistance) {
    for (float goal : {0.3f, -0.05f}) {
        ztest::Driver d("Glider", "aaeaA", 1000.0f, 100);
        d.fill(kTarget, goal);
        d.fill(kTime, 0.1f);
        startGlider(d, 1, true);
        const float step = 0.1f / (1.0f * 1000.0f);
        float y = 0.0f;
        for (int b = 0; b < 35; ++b) {
            d.process();
            for (int i = 0; i < 100; ++i) {
                y = slew(y, goal, step);
                ASSERT_EQ(d.buffer(kOut)[i], y) << goal << " at " << b * 100 + i;
            }
            if (b == 9) {
                EXPECT_NEAR(y, goal > 0 ? 0.1f : -0.05f, 1e-5f);  // after 1 s
            }
        }
        EXPECT_EQ(y, goal);
    }
}

TEST(Glider, ZeroOrNegativeTimeFollowsTheTarget) {
    for (float time : {0.0f, -0.2f}) {
        ztest::Driver d("Glider", "aaeaA", 48000.0f, 16);
        d.fill(kTime, time);
        startGlider(d, 0, true);
        for (int i = 0; i < 16; ++i) d.buffer(kTarget)[i] = std::sin(0.7f * i);
        d.process();
        EXPECT_EQ(d.out(kOut, 16), d.out(kTarget, 16));
    }
}

TEST(Glider, ResetHoldsTheOutputOnTheTarget) {
    ztest::Driver d("Glider", "aaeaA", 1000.0f, 8);
    d.fill(kTime, 0.1f);
    startGlider(d, 0, true);
    d.events.addStreaming(0, kReset, true);
    d.set(kTarget, {0.5f, 0.5f, 0.5f, 0.5f, -0.5f, -0.5f, -0.5f, -0.5f});
    d.set(kReset, {0.5f, 1.0f, 0.5f, 0.49f, 0.49f, 0.7f, 0.0f, 0.0f});
    d.process();
    const auto out = d.out(kOut, 8);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_EQ(out[2], 0.5f);
    EXPECT_EQ(out[3], 0.5f);  // already there
    // Released at sample 4: a 1 s glide from 0.5 to -0.5 begins.
    const float step = std::fabs((-0.5f - 0.5f) / (1.0f * 1000.0f));
    EXPECT_EQ(out[4], 0.5f - step);
    EXPECT_EQ(out[5], -0.5f);  // reset again
    // The target has not moved since sample 4, so the glide from here keeps
    // the step computed then.
    EXPECT_EQ(out[6], -0.5f);
}

TEST(Glider, StepIsKeptWhenOnlyTheTimeChangesMidGlide) {
    ztest::Driver d("Glider", "aaeaA", 1000.0f, 10);
    d.fill(kTime, 0.1f);
    startGlider(d, 0, true);
    d.events.addStreaming(0, kTime, true);
    d.fill(kTarget, 1.0f);
    d.set(kTime, {0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.01f, 0.01f, 0.01f, 0.01f, 0.01f});
    d.process();
    const float step = 1.0f / 1000.0f;
    float y = 0.0f;
    for (int i = 0; i < 10; ++i) {
        y = slew(y, 1.0f, step);
        EXPECT_EQ(d.buffer(kOut)[i], y) << i;
    }
    // In constant-rate mode the time is read every sample.
    ztest::Driver r("Glider", "aaeaA", 1000.0f, 4);
    startGlider(r, 1, true);
    r.events.addStreaming(0, kTime, true);
    r.fill(kTarget, 1.0f);
    r.set(kTime, {0.1f, 0.1f, 0.01f, 0.01f});
    r.process();
    y = 0.0f;
    for (int i = 0; i < 4; ++i) {
        const float t = 10.0f * (i < 2 ? 0.1f : 0.01f);
        y = slew(y, 1.0f, 0.1f / (t * 1000.0f));
        EXPECT_EQ(r.buffer(kOut)[i], y) << i;
    }
}

TEST(Glider, ResultIsTheSameWhateverTheSpanAndBlockSplits) {
    // One run in blocks of 37 with events cutting spans, one in blocks of 64.
    ztest::Driver a("Glider", "aaeaA", 2000.0f, 37);
    ztest::Driver b("Glider", "aaeaA", 2000.0f, 64);
    startGlider(a, 0, true);
    startGlider(b, 0, true);
    std::vector<float> outA, outB;
    auto target = [](int n) { return (n / 50) % 2 ? 0.8f : -0.3f; };
    for (int blk = 0; blk < 10; ++blk) {
        for (int i = 0; i < 37; ++i) {
            a.buffer(kTarget)[i] = target(blk * 37 + i);
            a.buffer(kTime)[i] = 0.02f;
        }
        a.events.addInt(5, kMode, 0);  // same mode again: only cuts the span
        a.events.addInt(20, kMode, 0);
        a.process();
        auto o = a.out(kOut, 37);
        outA.insert(outA.end(), o.begin(), o.end());
    }
    for (int blk = 0; blk < 6; ++blk) {
        for (int i = 0; i < 64; ++i) {
            b.buffer(kTarget)[i] = target(blk * 64 + i);
            b.buffer(kTime)[i] = 0.02f;
        }
        b.process();
        auto o = b.out(kOut, 64);
        outB.insert(outB.end(), o.begin(), o.end());
    }
    for (size_t n = 0; n < 370; ++n) ASSERT_EQ(outA[n], outB[n]) << n;
}

TEST(Glider, TargetStoppingMidGlideSettlesAtTheSampleOfArrivalAndWakesAgain) {
    ztest::Driver d("Glider", "aaeaA", 1000.0f, 32);
    d.fill(kTime, 0.001f);  // 10 ms = 10 samples per jump
    startGlider(d, 0, true);
    d.fill(kTarget, 0.0f);
    d.process();  // block 0: target 0, output 0
    // Block 1: target jumps to 1 at sample 4 and stops streaming at 8.
    for (int i = 4; i < 32; ++i) d.buffer(kTarget)[i] = 1.0f;
    d.events.addStreaming(8, kTarget, false);
    d.process();
    const auto out = d.out(kOut, 32);
    float y = 0.0f;
    const float s = std::fabs((1.0f - 0.0f) / (10.0f * 0.001f * 1000.0f));
    int arrival = -1;
    for (int i = 0; i < 32; ++i) {
        if (i >= 4) y = slew(y, 1.0f, s);
        EXPECT_EQ(out[i], y) << i;
        if (y == 1.0f && arrival < 0) arrival = i;
    }
    ASSERT_GE(arrival, 13);
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_EQ(reports.back().streaming, false);
    EXPECT_EQ(reports.back().block, 1);
    EXPECT_EQ(reports.back().offset, arrival);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.process();  // block 2: one block of countdown, then sleep
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 2);
    EXPECT_EQ(d.buffer(kOut)[31], 1.0f);

    // A streaming start wakes it at the event's sample.
    d.fill(kTarget, 1.0f);
    for (int i = 10; i < 32; ++i) d.buffer(kTarget)[i] = 0.5f;
    d.events.addStreaming(6, kTarget, true);
    d.process();
    reports = d.rec.streamingOf(kOut);
    EXPECT_TRUE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 6);
    EXPECT_EQ(reports.back().block, 3);
    EXPECT_EQ(d.buffer(kOut)[9], 1.0f);
    EXPECT_EQ(d.buffer(kOut)[10], 1.0f - 0.05f);  // a new 10-sample glide
    EXPECT_EQ(d.buffer(kOut)[31], 0.5f);
    EXPECT_EQ(d.rec.sleepRequests(), 1);
}

TEST(Glider, StaticTargetAlreadyReachedSettlesAtTheFirstSample) {
    ztest::Driver d("Glider", "aaeaA", 48000.0f, 64);
    d.fill(kTime, 0.1f);
    startGlider(d, 0, false);
    d.process();
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(reports[1].streaming);
    EXPECT_EQ(reports[1].offset, 0);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    // Time, reset and mode changes do not wake a settled glider.
    d.events.addInt(3, kMode, 1);
    d.events.addStreaming(3, kReset, true);
    d.process();
    EXPECT_EQ(d.rec.streamingOf(kOut).size(), 2u);
}

TEST(Glider, NaNTargetTakenAtOnceDoesNotStickTheOutput) {
    ztest::Driver d("Glider", "aaeaA", 1000.0f, 6);
    startGlider(d, 0, true);
    d.events.addStreaming(0, kTime, true);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    d.set(kTarget, {0.2f, nan, 0.4f, 0.4f, 0.4f, 0.4f});
    d.set(kTime, {0.0f, 0.0f, 0.1f, 0.1f, 0.1f, 0.1f});
    d.process();
    const auto out = d.out(kOut, 6);
    EXPECT_EQ(out[0], 0.2f);
    EXPECT_TRUE(std::isnan(out[1]));
    EXPECT_EQ(out[2], 0.4f);  // starts over from the target
    EXPECT_EQ(out[5], 0.4f);
}

TEST(Glider, NaNTimeOrNaNTargetWhileGliding) {
    ztest::Driver d("Glider", "aaeaA", 1000.0f, 6);
    startGlider(d, 1, true);
    d.events.addStreaming(0, kTime, true);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    d.set(kTarget, {0.5f, 0.5f, nan, 0.5f, 0.5f, 0.5f});
    d.set(kTime, {0.1f, 0.1f, 0.1f, 0.1f, nan, 0.1f});
    d.process();
    const auto out = d.out(kOut, 6);
    const float s = 0.1f / (1.0f * 1000.0f);
    EXPECT_EQ(out[0], s);
    EXPECT_EQ(out[1], s + s);
    EXPECT_EQ(out[2], s + s);  // a NaN target holds the output
    EXPECT_EQ(out[3], s + s + s);
    EXPECT_EQ(out[4], 0.5f);  // a NaN time has no limit
    EXPECT_EQ(out[5], 0.5f);
}

TEST(Glider2, RisesAndFallsWithTheirOwnTimes) {
    ztest::Driver d("Glider2", "aaaeaA", 1000.0f, 100);
    d.events.addInt(0, k2Mode, 0);
    d.events.addStreaming(0, k2Target, true);
    d.events.addStreaming(0, k2Rise, false);
    d.events.addStreaming(0, k2Fall, false);
    d.events.addStreaming(0, k2Reset, false);
    d.events.addGraphStart(0);
    d.fill(k2Rise, 0.1f);  // 1 s up
    d.fill(k2Fall, 0.5f);  // 5 s down
    std::vector<float> out;
    auto target = [](int n) { return n < 1500 ? 1.0f : 0.0f; };
    for (int b = 0; b < 80; ++b) {
        for (int i = 0; i < 100; ++i) d.buffer(k2Target)[i] = target(b * 100 + i);
        d.process();
        auto o = d.out(k2Out, 100);
        out.insert(out.end(), o.begin(), o.end());
    }
    const float up = std::fabs(1.0f / (10.0f * 0.1f * 1000.0f));
    const float down = std::fabs((0.0f - 1.0f) / (10.0f * 0.5f * 1000.0f));
    float y = 0.0f;
    int top = -1, bottom = -1;
    for (int n = 0; n < 8000; ++n) {
        y = slew(y, target(n), target(n) > y ? up : down);
        ASSERT_EQ(out[n], y) << n;
        if (y == 1.0f && top < 0) top = n;
        if (n >= 1500 && y == 0.0f && bottom < 0) bottom = n;
    }
    EXPECT_NEAR(top, 1000, 3);
    EXPECT_NEAR(bottom, 1500 + 5000, 3);
}

TEST(Glider2, TimeRulesInEachDirection) {
    struct Case {
        float rise, fall;
        bool followsUp, followsDown;
    };
    // Both zero or both non-positive: the target at once. Only one negative:
    // that direction is immediate, the other glides.
    for (Case c : {Case{0.0f, 0.0f, true, true}, Case{-0.1f, 0.0f, true, true},
                   Case{-0.1f, 0.1f, true, false}, Case{0.1f, -0.1f, false, true},
                   Case{0.1f, 0.1f, false, false}}) {
        ztest::Driver d("Glider2", "aaaeaA", 1000.0f, 4);
        d.events.addInt(0, k2Mode, 0);
        d.events.addStreaming(0, k2Target, true);
        d.events.addGraphStart(0);
        d.fill(k2Rise, c.rise);
        d.fill(k2Fall, c.fall);
        d.set(k2Target, {0.5f, 0.5f, -0.5f, -0.5f});
        d.process();
        const auto out = d.out(k2Out, 4);
        EXPECT_EQ(out[0] == 0.5f, c.followsUp) << c.rise << " " << c.fall;
        if (c.followsUp) {
            EXPECT_EQ(out[2] == -0.5f, c.followsDown) << c.rise << " " << c.fall;
        }
    }
}

TEST(Glider2, NegativeZeroRiseIsAZeroTimeInConstantRateMode) {
    ztest::Driver d("Glider2", "aaaeaA", 1000.0f, 4);
    d.events.addInt(0, k2Mode, 1);
    d.events.addStreaming(0, k2Target, true);
    d.events.addGraphStart(0);
    d.fill(k2Rise, -0.0f);
    d.fill(k2Fall, 0.1f);
    d.set(k2Target, {0.5f, 0.5f, 0.2f, 0.2f});
    d.process();
    const auto out = d.out(k2Out, 4);
    EXPECT_EQ(out[0], 0.5f);  // up at once, never towards -inf
    EXPECT_EQ(out[2], 0.5f - 0.1f / (1.0f * 1000.0f));
}

TEST(Glider2, SettlesWhenTheStaticTargetIsReached) {
    ztest::Driver d("Glider2", "aaaeaA", 1000.0f, 16);
    d.events.addInt(0, k2Mode, 1);
    d.events.addStreaming(0, k2Target, false);
    d.events.addGraphStart(0);
    d.fill(k2Target, 0.001f);
    d.fill(k2Rise, 0.1f);  // 0.1 per s: 0.0001 per sample, 10 samples
    d.fill(k2Fall, 0.1f);
    d.process();
    const float s = 0.1f / (1.0f * 1000.0f);
    float y = 0.0f;
    int arrival = -1;
    for (int i = 0; i < 16; ++i) {
        y = slew(y, 0.001f, s);
        EXPECT_EQ(d.buffer(k2Out)[i], y);
        if (y == 0.001f && arrival < 0) arrival = i;
    }
    ASSERT_GE(arrival, 9);
    auto reports = d.rec.streamingOf(k2Out);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].offset, arrival);
    EXPECT_FALSE(reports[1].streaming);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
}

}  // namespace
