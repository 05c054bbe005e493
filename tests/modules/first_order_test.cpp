// DC blocker, first difference and leaky integrator, sample by sample, with
// the settled-output idiom's streaming reports and sleep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

// ---------------------------------------------------------------- DC_Blocker
enum { kDcIn = 0, kDcR = 1, kDcOut = 2 };

struct DcDriver : Driver {
    DcDriver(float r, bool streaming) : Driver("DC_Blocker", "afA", 48000.0f, 32) {
        events.addFloat(0, kDcR, r);
        events.addStreaming(0, kDcIn, streaming);
        events.addGraphStart(0);
    }
};

TEST(DCBlocker, FiltersExactlyAsWritten) {
    for (float r : {0.995f, 0.5f, 0.0f}) {
        DcDriver d(r, true);
        std::vector<float> x(32);
        for (int i = 0; i < 32; ++i) x[i] = std::sin(0.3f * static_cast<float>(i)) + 0.25f;
        d.set(kDcIn, x);
        d.process();
        d.process();  // a second block continues the state
        float x1 = x[31], y1 = 0.0f;
        {
            float px = 0.0f, py = 0.0f;
            for (int i = 0; i < 32; ++i) {
                py = r * py + (x[i] - px);
                px = x[i];
            }
            y1 = py;
        }
        const auto y = d.out(kDcOut, 32);
        for (int i = 0; i < 32; ++i) {
            const float e = r * y1 + (x[i] - x1);
            EXPECT_EQ(y[i], e) << "r=" << r << " i=" << i;
            x1 = x[i];
            y1 = e;
        }
    }
}

TEST(DCBlocker, CoefficientRangesNegativeBypassAndNaN) {
    {  // R = -3 is a pure first difference, like R = 0
        DcDriver d(-3.0f, true);
        d.set(kDcIn, {1.0f, 3.0f, 3.0f, -1.0f});
        d.process(4);
        EXPECT_EQ(d.out(kDcOut, 4), (std::vector<float>{1.0f, 2.0f, 0.0f, -4.0f}));
    }
    {  // R >= 1 passes the input through, and the state follows it
        DcDriver d(1.0f, true);
        d.set(kDcIn, {1.0f, 3.0f, 3.0f, -1.0f});
        d.process(4);
        EXPECT_EQ(d.out(kDcOut, 4), (std::vector<float>{1.0f, 3.0f, 3.0f, -1.0f}));
        d.events.addFloat(0, kDcR, 0.0f);
        d.set(kDcIn, {-1.0f, 0.0f});
        d.process(2);
        EXPECT_EQ(d.out(kDcOut, 2), (std::vector<float>{0.0f, 1.0f}));
    }
    {  // a NaN coefficient filters, and the output is NaN
        DcDriver d(std::numeric_limits<float>::quiet_NaN(), true);
        d.set(kDcIn, {1.0f, 1.0f});
        d.process(2);
        EXPECT_TRUE(std::isnan(d.out(kDcOut, 1)[0]));  // NaN * y1 poisons the sum
    }
}

TEST(DCBlocker, StaticInputSettlesAtTheFirstExactZeroAndSleeps) {
    DcDriver d(0.0f, false);
    d.fill(kDcIn, 0.5f);
    d.process();
    // y = 0.5 at sample 0 (x1 was 0), then 0.0 at sample 1: settle there.
    auto s = d.rec.streamingOf(kDcOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 0);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 1);
    const auto y = d.out(kDcOut, 32);
    EXPECT_EQ(y[0], 0.5f);
    for (int i = 1; i < 32; ++i) EXPECT_EQ(y[i], 0.0f);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 1);
    // Changing R while settled wakes nothing: the span before the event is
    // computed (zeros), the last span is left to the host's sleep.
    d.events.addFloat(3, kDcR, 0.5f);
    d.fill(kDcOut, 9.0f);
    d.process();
    const auto z = d.out(kDcOut, 32);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(z[i], i < 3 ? 0.0f : 9.0f) << i;
    EXPECT_EQ(d.rec.sleepRequests(), 2);
    EXPECT_EQ(d.rec.streamingOf(kDcOut).size(), 2u);
    // A streaming start wakes it at the exact offset.
    d.events.addStreaming(10, kDcIn, true);
    d.process();
    s = d.rec.streamingOf(kDcOut);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_TRUE(s[2].streaming);
    EXPECT_EQ(s[2].offset, 10);
}

TEST(DCBlocker, BypassWithStaticNonZeroInputNeverSleeps) {
    DcDriver d(2.0f, false);
    d.fill(kDcIn, 0.5f);
    for (int i = 0; i < 10; ++i) d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    EXPECT_EQ(d.rec.streamingOf(kDcOut).size(), 1u);
}

// ---------------------------------------------------------------- Derivator

TEST(Derivator, DifferenceAndSettlingOnlyWhileStatic) {
    Driver d("Derivator", "aA", 48000.0f, 8);
    d.events.addStreaming(0, 0, true);
    d.events.addGraphStart(0);
    d.set(0, {1.0f, 1.0f, 1.0f, 4.0f, 4.0f, 2.0f, 2.0f, 2.0f});
    d.process();
    EXPECT_EQ(d.out(1, 8), (std::vector<float>{1, 0, 0, 3, 0, -2, 0, 0}));
    // Repeated samples of a streaming input do not settle.
    EXPECT_EQ(d.rec.streamingOf(1).size(), 2u);  // publish + reaction
    // Stop at 3: the static input (2.0 held) gives y = 0 at once.
    d.fill(0, 2.0f);
    d.events.addStreaming(3, 0, false);
    d.process();
    auto s = d.rec.streamingOf(1);
    ASSERT_EQ(s.size(), 4u);
    EXPECT_TRUE(s[2].streaming);
    EXPECT_EQ(s[2].offset, 3);
    EXPECT_FALSE(s[3].streaming);
    EXPECT_EQ(s[3].offset, 3);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
}

TEST(Derivator, StaticChangeSettlesAfterTheStep) {
    Driver d("Derivator", "aA", 48000.0f, 8);
    d.events.addStreaming(0, 0, false);
    d.events.addGraphStart(0);
    d.process();
    // A host changes a static input's value: new constant, stop event.
    d.fill(0, 0.5f);
    d.events.addStreaming(2, 0, false);
    d.set(0, {0.0f, 0.0f});
    d.process();
    const auto y = d.out(1, 8);
    EXPECT_EQ(y[2], 0.5f);
    EXPECT_EQ(y[3], 0.0f);
    const auto s = d.rec.streamingOf(1);
    EXPECT_FALSE(s.back().streaming);
    EXPECT_EQ(s.back().offset, 3);
}

// --------------------------------------------------------------- Integrator
enum { kIntIn = 0, kIntC = 1, kIntOut = 2 };

TEST(Integrator, LeakFactorsIncludingClampsAndNaN) {
    Driver d("Integrator", "aaA", 48000.0f, 8);
    d.events.addStreaming(0, kIntIn, true);
    d.events.addStreaming(0, kIntC, true);
    d.events.addGraphStart(0);
    d.set(kIntIn, {1, 1, 1, 1, 0, 0, 0, 0});
    d.set(kIntC, {0.5f, 0.5f, -2.0f, 3.0f, -1.0f, 1.0f, 0.0f, 0.25f});
    d.process();
    // 1, 1.5, -0.5, 0.5, -0.5, -0.5, 0, 0
    EXPECT_EQ(d.out(kIntOut, 8),
              (std::vector<float>{1.0f, 1.5f, -0.5f, 0.5f, -0.5f, -0.5f, 0.0f, 0.0f}));
    d.fill(kIntIn, 1.0f);
    d.fill(kIntC, std::numeric_limits<float>::quiet_NaN());
    d.process(1);
    EXPECT_TRUE(std::isnan(d.out(kIntOut, 1)[0]));
}

TEST(Integrator, SettlesWhenTheOutputRepeatsAndWakesOnTheCoefficient) {
    Driver d("Integrator", "aaA", 48000.0f, 8);
    d.fill(kIntC, 1.0f);
    d.events.addStreaming(0, kIntIn, false);
    d.events.addStreaming(0, kIntC, false);
    d.events.addGraphStart(0);
    d.process();
    // c = 1 and x = 0: y repeats at once (0 == 0) and settles at sample 0.
    auto s = d.rec.streamingOf(kIntOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 0);
    // A coefficient change while settled goes back to watching.
    d.fill(kIntIn, 0.0f);
    d.fill(kIntC, 0.5f);
    d.events.addStreaming(5, kIntC, false);
    d.process();
    s = d.rec.streamingOf(kIntOut);
    ASSERT_EQ(s.size(), 4u);
    EXPECT_TRUE(s[2].streaming);
    EXPECT_EQ(s[2].offset, 5);
    EXPECT_FALSE(s[3].streaming);
    EXPECT_EQ(s[3].offset, 5);  // 0.5 * 0 + 0 == 0: repeats at once
}

// At zero input and zero output the sum stays 0 whatever the leak does, so a
// streaming leak does not keep a resting output awake.
TEST(Integrator, ZeroOutputSettlesEvenWithAStreamingLeak) {
    Driver d("Integrator", "aaA", 48000.0f, 8);
    d.set(kIntC, {0.5f, -0.25f, 3.0f, -2.0f, 1.0f, 0.0f, 0.75f, -1.0f});
    d.events.addStreaming(0, kIntIn, false);
    d.events.addStreaming(0, kIntC, true);
    d.events.addGraphStart(0);
    d.process();
    for (float v : d.out(kIntOut, 8)) EXPECT_EQ(v, 0.0f);
    const auto s = d.rec.streamingOf(kIntOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 0);
    d.process();
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 1);
}

// After that report a NaN leak sample (NaN * 0) must not move the output the
// host was told is steady.
TEST(Integrator, StreamingNaNLeakAfterAZeroSettleKeepsTheZero) {
    Driver d("Integrator", "aaA", 48000.0f, 4);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    d.set(kIntC, {0.5f, nan, -3.0f, nan});
    d.events.addStreaming(0, kIntIn, false);
    d.events.addStreaming(0, kIntC, true);
    d.events.addGraphStart(0);
    d.process();
    const auto y = d.out(kIntOut, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(y[i], 0.0f) << i;
        EXPECT_FALSE(std::signbit(y[i])) << i;
    }
    const auto s = d.rec.streamingOf(kIntOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[1].offset, 0);
    EXPECT_FALSE(s[1].streaming);
}

TEST(Integrator, SettledHoldsTheLastOutput) {
    Driver d("Integrator", "aaA", 48000.0f, 8);
    d.fill(kIntC, 1.0f);
    d.fill(kIntIn, 0.25f);
    d.events.addStreaming(0, kIntIn, true);
    d.events.addStreaming(0, kIntC, false);
    d.events.addGraphStart(0);
    d.process();  // ramps 0.25 .. 2.0
    EXPECT_EQ(d.out(kIntOut, 8).back(), 2.0f);
    d.fill(kIntIn, 0.0f);
    d.events.addStreaming(0, kIntIn, false);
    d.process();
    for (float v : d.out(kIntOut, 8)) EXPECT_EQ(v, 2.0f);
    auto s = d.rec.streamingOf(kIntOut);
    EXPECT_FALSE(s.back().streaming);
    EXPECT_EQ(s.back().offset, 0);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
}

}  // namespace
