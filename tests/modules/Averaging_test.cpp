// Averaging: cumulative mean since creation or the last reset.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int32_t kIn = 0, kReset = 1, kOut = 2;

void start(ztest::Driver& d, bool streaming) {
    d.events.addBool(0, kReset, false);
    d.events.addStreaming(0, kIn, streaming);
    d.events.addGraphStart(0);
}

TEST(Averaging, ConstantInputAndStepResponse) {
    ztest::Driver d("Averaging", "abA", 48000.0f, 8);
    start(d, true);
    d.set(kIn, {1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    d.process();
    EXPECT_EQ(d.out(kOut, 8), (std::vector<float>{1.0f, 1.0f, 1.0f, 0.75f, 0.6f, 0.5f,
                                                  static_cast<float>(3.0 / 7.0), 0.375f}));

    ztest::Driver c("Averaging", "abA", 48000.0f, 64);
    start(c, false);
    c.fill(kIn, 0.5f);
    for (int b = 0; b < 4; ++b) {
        c.process();
        for (float v : c.out(kOut, 64)) ASSERT_EQ(v, 0.5f);
    }
}

TEST(Averaging, MeanInDoubleAcrossBlocksAndSpans) {
    ztest::Driver d("Averaging", "abA", 48000.0f, 32);
    start(d, true);
    double sum = 0.0, n = 0.0;
    for (int b = 0; b < 20; ++b) {
        // Irrelevant events split the block into spans.
        if (b % 2 == 1) d.events.addStreaming(13, kIn, true);
        for (int i = 0; i < 32; ++i) d.buffer(kIn)[i] = std::sin(0.1f * (b * 32 + i)) + 0.1f;
        d.process();
        for (int i = 0; i < 32; ++i) {
            sum += static_cast<double>(d.buffer(kIn)[i]);
            n += 1.0;
            ASSERT_EQ(d.buffer(kOut)[i], static_cast<float>(sum / n)) << b << ":" << i;
        }
    }
}

TEST(Averaging, ResetUpdateToTrueClearsBetweenSpans) {
    ztest::Driver d("Averaging", "abA", 48000.0f, 16);
    start(d, true);
    for (int i = 0; i < 16; ++i) d.buffer(kIn)[i] = 0.25f * i;
    d.events.addBool(10, kReset, true);
    d.process();
    // Before the reset: the mean so far; at the reset sample: that sample exactly.
    EXPECT_EQ(d.buffer(kOut)[9], (0.25f * 45.0f) / 10.0f);
    EXPECT_EQ(d.buffer(kOut)[10], 2.5f);
    EXPECT_EQ(d.buffer(kOut)[11], static_cast<float>((2.5 + 2.75) / 2.0));

    // Holding the pin true does not keep clearing; an update to false does nothing.
    d.fill(kIn, 1.0f);
    d.events.addBool(4, kReset, false);
    d.process();
    double sum = 0.0;
    for (int i = 10; i < 16; ++i) sum += 0.25 * i;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(d.buffer(kOut)[i], static_cast<float>((sum + (i + 1)) / (6.0 + i + 1))) << i;

    // A second true update clears again, at its own offset.
    d.events.addBool(0, kReset, true);
    d.fill(kIn, -0.5f);
    d.process();
    for (float v : d.out(kOut, 16)) EXPECT_EQ(v, -0.5f);
}

TEST(Averaging, NanStaysUntilResetAndNeverSleeps) {
    ztest::Driver d("Averaging", "abA", 48000.0f, 16);
    start(d, false);
    d.fill(kIn, 0.0f);
    d.buffer(kIn)[3] = std::numeric_limits<float>::quiet_NaN();
    d.process();
    EXPECT_EQ(d.buffer(kOut)[2], 0.0f);
    EXPECT_TRUE(std::isnan(d.buffer(kOut)[3]));
    EXPECT_TRUE(std::isnan(d.buffer(kOut)[15]));
    d.fill(kIn, 0.125f);
    d.events.addBool(5, kReset, true);
    d.process();
    EXPECT_TRUE(std::isnan(d.buffer(kOut)[4]));
    for (int i = 5; i < 16; ++i) EXPECT_EQ(d.buffer(kOut)[i], 0.125f);

    // Static input: the output stays streaming as the base reported it at graph
    // start, so the instance never asks to sleep.
    for (int b = 0; b < 10; ++b) d.process();
    const auto st = d.rec.streamingOf(kOut);
    ASSERT_EQ(st.size(), 1u);
    EXPECT_TRUE(st[0].streaming);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
}

}  // namespace
