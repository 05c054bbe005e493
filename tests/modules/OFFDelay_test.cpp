// Off delay: gate following, hold length from milliseconds and sample rate,
// reloads, streaming reports at the exact samples, and sleep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

enum { kIdle = 0, kActive = 1, kHold = 2, kGate = 3, kOut = 4 };
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Idle is -1, active +1 (both static), the gate streams from the buffer.
void start(Driver& d, float holdMs) {
    d.events.addFloat(0, kHold, holdMs);
    d.events.addStreaming(0, kIdle, false);
    d.events.addStreaming(0, kActive, false);
    d.events.addStreaming(0, kGate, true);
    d.events.addGraphStart(0);
    d.fill(kIdle, -1.0f);
    d.fill(kActive, 1.0f);
}

// Runs gate samples through in blocks; returns +1/-1 per output sample.
std::vector<int> runGate(Driver& d, const std::vector<float>& gate) {
    std::vector<int> r;
    const int n = d.blockSize();
    for (size_t at = 0; at < gate.size(); at += n) {
        for (int i = 0; i < n; ++i) d.buffer(kGate)[i] = at + i < gate.size() ? gate[at + i] : 0.0f;
        d.process();
        for (int i = 0; i < n && at + i < gate.size(); ++i)
            r.push_back(d.buffer(kOut)[i] > 0.0f ? 1 : -1);
    }
    return r;
}

TEST(OFFDelay, ZeroHoldFollowsTheGateExactly) {
    Driver d("OFF Delay", "aafaA", 48000.0f, 8);
    start(d, 0.0f);
    // Already on at the first sample (a rising gate); 0.0 and NaN are off.
    const std::vector<float> gate{1.0f, 0.5f, 0.0f, 1e-30f, -1.0f, kNaN, 2.0f, 0.0f};
    EXPECT_EQ(runGate(d, gate), (std::vector<int>{1, 1, -1, 1, -1, -1, 1, -1}));
}

TEST(OFFDelay, OneMillisecondAt48kHoldsFortyEightSamples) {
    Driver d("OFF Delay", "aafaA", 48000.0f, 32);
    start(d, 1.0f);
    std::vector<float> gate(128, 0.0f);
    for (int i = 0; i < 10; ++i) gate[i] = 1.0f;  // falls at 10, across blocks
    const auto y = runGate(d, gate);
    for (int i = 0; i < 128; ++i) EXPECT_EQ(y[i], i < 10 + 48 ? 1 : -1) << i;
}

TEST(OFFDelay, HoldUsesTheSampleRateAtTheTimeOfTheUpdate) {
    Driver d("OFF Delay", "aafaA", 44100.0f, 64);
    start(d, 2.5f);
    const int h = static_cast<int>(std::trunc(2.5f * 0.001f * 44100.0f));
    std::vector<float> gate(256, 0.0f);
    gate[0] = 1.0f;
    auto y = runGate(d, gate);
    int held = 0;
    while (held < 256 && y[held] == 1) ++held;
    EXPECT_EQ(held, 1 + h);
    for (int i = held; i < 256; ++i) EXPECT_EQ(y[i], -1);

    // A new sample rate counts only from the next hold-time update.
    d.instance().host().setSampleRate(96000.0f);
    y = runGate(d, gate);
    held = 0;
    while (held < 256 && y[held] == 1) ++held;
    EXPECT_EQ(held, 1 + h);
    d.events.addFloat(0, kHold, 2.5f);
    y = runGate(d, gate);
    held = 0;
    while (held < 256 && y[held] == 1) ++held;
    EXPECT_EQ(held, 1 + static_cast<int>(std::trunc(2.5f * 0.001f * 96000.0f)));
}

TEST(OFFDelay, NegativeAndNaNHoldCountAsZeroHugeHoldIsClamped) {
    for (float ms : {-5.0f, kNaN}) {
        Driver d("OFF Delay", "aafaA", 48000.0f, 4);
        start(d, ms);
        EXPECT_EQ(runGate(d, {1.0f, 0.0f, 0.0f, 0.0f}), (std::vector<int>{1, -1, -1, -1}));
    }
    for (float ms : {1e30f, std::numeric_limits<float>::infinity()}) {
        Driver d("OFF Delay", "aafaA", 48000.0f, 64);
        start(d, ms);
        std::vector<float> gate(512, 0.0f);
        gate[0] = 1.0f;
        EXPECT_EQ(runGate(d, gate), std::vector<int>(512, 1));
    }
}

TEST(OFFDelay, RisingGateReloadsAndHoldChangesWaitForTheNextRise) {
    Driver d("OFF Delay", "aafaA", 48000.0f, 64);
    start(d, 0.1f);  // 0.1 ms: 4 samples (0.1 * 0.001 * 48000 = 4.8)
    std::vector<float> gate(64, 0.0f);
    gate[0] = 1.0f;
    gate[3] = 1.0f;  // rises again during the hold: the full hold again
    auto y = runGate(d, gate);
    EXPECT_EQ(std::vector<int>(y.begin(), y.begin() + 10),
              (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, -1, -1}));

    // A hold change during a gate: the running hold keeps the old length.
    std::fill(gate.begin(), gate.end(), 0.0f);
    for (int i = 0; i < 5; ++i) gate[i] = 1.0f;
    for (int i = 20; i < 22; ++i) gate[i] = 1.0f;
    for (int i = 0; i < 64; ++i) d.buffer(kGate)[i] = gate[i];
    d.events.addFloat(2, kHold, 0.05f);  // 2.4 -> 2 samples
    d.process();
    for (int i = 0; i < 30; ++i) {
        const bool active = i < 5 + 4 || (i >= 20 && i < 22 + 2);
        EXPECT_EQ(d.buffer(kOut)[i], active ? 1.0f : -1.0f) << i;
    }
}

TEST(OFFDelay, StreamingReportsAtRiseAndAfterTheSpanThatEndsIdle) {
    Driver d("OFF Delay", "aafaA", 48000.0f, 16);
    start(d, 0.125f);  // 6 samples
    d.fill(kGate, 0.0f);
    d.process();  // block 0: idle throughout
    auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 3u);  // graph start, input events, then steady after the span
    EXPECT_TRUE(s[0].streaming);
    EXPECT_TRUE(s[1].streaming);
    EXPECT_FALSE(s[2].streaming);
    EXPECT_EQ(s[2].offset, 16);

    d.rec.calls.clear();
    d.buffer(kGate)[5] = 1.0f;  // on at 5, off at 6, hold to 11
    d.process();                // block 1
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 5);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(d.buffer(kOut)[i], (i >= 5 && i < 12) ? 1.0f : -1.0f) << i;

    // The hold runs over the end of the block: no steady report there.
    d.rec.calls.clear();
    d.fill(kGate, 0.0f);
    d.buffer(kGate)[14] = 1.0f;
    d.process();  // block 2
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 14);
    d.fill(kGate, 0.0f);
    d.process();  // block 3: hold ends at 4, steady from the block end
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 16);
    EXPECT_EQ(d.buffer(kOut)[4], 1.0f);
    EXPECT_EQ(d.buffer(kOut)[5], -1.0f);
    EXPECT_EQ(d.rec.sleepRequests(), 0);  // the gate still streams
}

TEST(OFFDelay, SleepsWithSteadyInputsAndWakesOnAStreamingEvent) {
    Driver d("OFF Delay", "aafaA", 48000.0f, 16);
    d.events.addFloat(0, kHold, 1.0f);
    for (int p : {kIdle, kActive, kGate}) d.events.addStreaming(0, p, false);
    d.events.addGraphStart(0);
    d.fill(kIdle, 0.3f);
    d.fill(kActive, 0.6f);
    d.process();  // block 0: steady from its end
    EXPECT_EQ(d.out(kOut, 16), std::vector<float>(16, 0.3f));
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.process();  // block 1: sleep
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 1);

    // The gate becomes a static 1 at 3: streaming from 3, active source.
    d.rec.calls.clear();
    d.events.addStreaming(3, kGate, false);
    for (int i = 3; i < 16; ++i) d.buffer(kGate)[i] = 1.0f;
    d.process();
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 3);
    EXPECT_EQ(d.buffer(kOut)[2], 0.3f);
    EXPECT_EQ(d.buffer(kOut)[3], 0.6f);
}

}  // namespace

namespace {

// A block of 0 samples produces no sample, so it cannot end on the idle
// source: the steady report waits for the first real span.
TEST(OFFDelay, EmptyBlockReportsNothingSteady) {
    Driver d("OFF Delay", "aafaA", 48000.0f, 8);
    d.events.addFloat(0, kHold, 0.0f);
    for (int p : {kIdle, kActive, kGate}) d.events.addStreaming(0, p, false);
    d.events.addGraphStart(0);
    d.process(0);
    for (const Call& c : d.rec.streamingOf(kOut)) EXPECT_TRUE(c.streaming);
    d.process();
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_FALSE(s.empty());
    EXPECT_FALSE(s.back().streaming);
    EXPECT_EQ(s.back().offset, 8);
}

}  // namespace

namespace {

// A host reporting a negative sample rate makes the hold negative: it counts
// as no hold rather than a countdown that never reaches 0.
TEST(OFFDelay, NegativeSampleRateHoldsNothing) {
    Driver d("OFF Delay", "aafaA", 48000.0f, 8);
    d.instance().host().setSampleRate(-48000.0f);
    start(d, 1.0f);
    EXPECT_EQ(runGate(d, {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}),
              (std::vector<int>{1, -1, -1, -1, -1, -1, -1, -1}));
}

}  // namespace
