// Freezer: pass and hold at the sample level, streaming reports, sleep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/test_support.h"

namespace {

constexpr int kIn = 0, kControl = 1, kPolarity = 2, kHeld = 3, kOut = 4;

void start(ztest::Driver& d, int polarity, int held, bool inputStreams = true,
           bool controlStreams = true) {
    d.events.addInt(0, kPolarity, polarity);
    d.events.addInt(0, kHeld, held);
    d.events.addStreaming(0, kIn, inputStreams);
    d.events.addStreaming(0, kControl, controlStreams);
    d.events.addGraphStart(0);
}

float x(int n) {
    return 0.01f * static_cast<float>(n) - 0.3f;
}

void feed(ztest::Driver& d, int block, float (*control)(int)) {
    for (int i = 0; i < d.blockSize(); ++i) {
        const int n = block * d.blockSize() + i;
        d.buffer(kIn)[i] = x(n);
        d.buffer(kControl)[i] = control(n);
    }
}

TEST(Freezer, PassesWhileTheControlSaysPass) {
    ztest::Driver d("Freezer", "aaeeA", 48000.0f, 16);
    start(d, 1, 0);
    for (int b = 0; b < 3; ++b) {
        feed(d, b, [](int) { return 0.5f; });
        d.process();
        for (int i = 0; i < 16; ++i) ASSERT_EQ(d.buffer(kOut)[i], x(b * 16 + i));
    }
    for (const auto& r : d.rec.streamingOf(kOut)) EXPECT_TRUE(r.streaming);
}

TEST(Freezer, HoldsTheSampleAtOrBeforeTheFreeze) {
    // The control drops to exactly 0 (not high) at n = 21, and at n = 32,
    // the first sample of block 2, so that the sample before lies in the
    // previous block.
    for (int freezeAt : {21, 32}) {
        for (int held : {0, 1}) {
            ztest::Driver d("Freezer", "aaeeA", 48000.0f, 16);
            start(d, 1, held);
            static int at;
            at = freezeAt;
            std::vector<float> out;
            for (int b = 0; b < 4; ++b) {
                feed(d, b, [](int n) { return n < at ? 1.0f : 0.0f; });
                d.process();
                auto o = d.out(kOut, 16);
                out.insert(out.end(), o.begin(), o.end());
            }
            const float hold = held == 1 ? x(freezeAt - 1) : x(freezeAt);
            for (int n = 0; n < 64; ++n)
                ASSERT_EQ(out[n], n < freezeAt ? x(n) : hold) << freezeAt << " " << held;
            auto reports = d.rec.streamingOf(kOut);
            ASSERT_FALSE(reports.back().streaming);
            EXPECT_EQ(reports.back().block, freezeAt / 16);
            EXPECT_EQ(reports.back().offset, freezeAt % 16);
            EXPECT_EQ(d.rec.sleepRequests(), 0);  // the input still streams
        }
    }
}

TEST(Freezer, FollowsAgainFromTheSampleTheControlReturns) {
    ztest::Driver d("Freezer", "aaeeA", 48000.0f, 16);
    start(d, 1, 0);
    feed(d, 0, [](int n) { return n >= 3 && n < 9 ? -1.0f : 1.0f; });
    d.process();
    const auto out = d.out(kOut, 16);
    for (int n = 0; n < 16; ++n) EXPECT_EQ(out[n], n >= 3 && n < 9 ? x(3) : x(n)) << n;
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_FALSE(reports[reports.size() - 2].streaming);
    EXPECT_EQ(reports[reports.size() - 2].offset, 3);
    EXPECT_TRUE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 9);
}

TEST(Freezer, OtherPolarityFreezesWhileHighAndNaNIsNotHigh) {
    ztest::Driver d("Freezer", "aaeeA", 48000.0f, 8);
    start(d, 0, 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    d.set(kIn, {1, 2, 3, 4, 5, 6, 7, 8});
    d.set(kControl, {0.0f, nan, 0.2f, 0.2f, -0.1f, 1e-30f, nan, 0.0f});
    d.process();
    const std::vector<float> want{1, 2, 3, 3, 5, 6, 7, 8};
    EXPECT_EQ(d.out(kOut, 8), want);
}

TEST(Freezer, UnfreezingOntoAStaticInputReportsStaticThenSleeps) {
    ztest::Driver d("Freezer", "aaeeA", 48000.0f, 16);
    start(d, 1, 0);
    feed(d, 0, [](int n) { return n < 4 ? 1.0f : 0.0f; });  // frozen at 4
    d.process();
    // The input stops streaming at 0.9 while frozen: the output follows the
    // input's state even though it is held.
    d.fill(kIn, 0.9f);
    d.fill(kControl, 0.0f);
    d.events.addStreaming(5, kIn, false);
    d.process();
    auto reports = d.rec.streamingOf(kOut);
    EXPECT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 5);
    EXPECT_EQ(d.buffer(kOut)[15], x(4));
    // The control returns at 7 of block 2 and then stops streaming itself.
    for (int i = 0; i < 16; ++i) d.buffer(kControl)[i] = i < 7 ? 0.0f : 1.0f;
    d.events.addStreaming(10, kControl, false);
    d.process();
    EXPECT_EQ(d.buffer(kOut)[6], x(4));
    EXPECT_EQ(d.buffer(kOut)[7], 0.9f);
    reports = d.rec.streamingOf(kOut);
    EXPECT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().block, 2);
    EXPECT_EQ(reports.back().offset, 10);
    EXPECT_FALSE(reports[reports.size() - 2].streaming);
    EXPECT_EQ(reports[reports.size() - 2].offset, 7);  // the jump, then static
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.fill(kControl, 1.0f);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 3);
    EXPECT_EQ(d.buffer(kOut)[15], 0.9f);
}

}  // namespace
