// Faults found by `zdsp validate`, each pinned down sample by sample.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

// Integrator: a repeated output is a resting one only while the leak input
// holds still. With a streaming leak the output moves again right after a
// repeat, so reporting it static there would be a lie.
TEST(IntegratorRegression, StreamingLeakKeepsTheOutputStreaming) {
    enum { kSignal = 0, kLeak = 1, kOut = 2 };
    ztest::Driver d("Integrator", "aaA", 48000.0f, 4);
    d.events.addStreaming(0, kSignal, false);
    d.events.addStreaming(0, kLeak, true);
    d.events.addGraphStart(0);
    d.fill(kSignal, 0.5f);
    d.set(kLeak, {1.0f, 0.0f, 1.0f, 1.0f});
    d.process();
    // y = c*y1 + x: 0.5, then 0.5 again (a repeat), then moving on.
    EXPECT_EQ(d.out(kOut, 4), (std::vector<float>{0.5f, 0.5f, 1.0f, 1.5f}));
    for (const auto& c : d.rec.streamingOf(kOut)) EXPECT_TRUE(c.streaming) << "at " << c.offset;

    // Once the leak stops too, the first repeat settles the output.
    d.events.addStreaming(0, kLeak, false);
    d.fill(kLeak, 0.0f);
    d.process();
    EXPECT_EQ(d.out(kOut, 4), (std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f}));
    const auto reports = d.rec.streamingOf(kOut);
    ASSERT_FALSE(reports.empty());
    EXPECT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 1);
    EXPECT_EQ(reports.back().block, 1);
}

}  // namespace
