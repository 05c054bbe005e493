// Oscilloscope2, DSP half: frame length, frame timing at the sample level,
// frame contents in both modes, sample-rate changes and unusable settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

constexpr int kX = 0, kY = 1, kMode = 2, kSweep = 3, kFrame = 4;
constexpr const char* kLayout = "aaefX";

struct Pt {
    float x, y;
};

std::vector<Pt> points(const Call& c) {
    std::vector<Pt> p(c.bytes.size() / 8);
    if (!p.empty()) std::memcpy(p.data(), c.bytes.data(), p.size() * 8);
    return p;
}

// The frames sent so far. The graph start publishes the output's value as it
// stands (still empty then); that is not a frame.
std::vector<Call> frames(const Driver& d) {
    std::vector<Call> r;
    for (const Call& c : d.rec.of(Call::Value)) {
        EXPECT_EQ(c.pin, kFrame);
        if (!c.bytes.empty()) r.push_back(c);
    }
    return r;
}

// Absolute sample positions of the frames sent so far.
std::vector<int64_t> framePositions(const Driver& d, int32_t blockSize) {
    std::vector<int64_t> at;
    for (const Call& c : frames(d))
        at.push_back(static_cast<int64_t>(c.block) * blockSize + c.offset);
    return at;
}

// Host start: initial values, streaming states, graph start.
void start(Driver& d, int32_t mode, float sweepHz) {
    d.events.addInt(0, kMode, mode);
    d.events.addFloat(0, kSweep, sweepHz);
    d.events.addStreaming(0, kX, true);
    d.events.addStreaming(0, kY, true);
    d.events.addGraphStart(0);
}

// Feeds sample n as X = n, Y = -n (exact in float up to 2^24).
void feedRamp(Driver& d, int64_t firstSample, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        d.buffer(kX)[i] = static_cast<float>(firstSample + i);
        d.buffer(kY)[i] = -static_cast<float>(firstSample + i);
    }
}

TEST(Oscilloscope2, XYFramesCarryEverySampleAndLeaveAtTheirLastSample) {
    const int32_t bs = 64;
    Driver d("Oscilloscope2", kLayout, 44100.0f, bs);
    start(d, 1, 30.0f);
    for (int b = 0; b < 50; ++b) {
        feedRamp(d, int64_t{b} * bs, bs);
        d.process();
    }
    // 1470 points a frame: the frames end on samples 1469 and 2939, in the
    // middle of blocks 22 and 45.
    const auto values = frames(d);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].block, 22);
    EXPECT_EQ(values[0].offset, 61);
    EXPECT_EQ(values[1].block, 45);
    EXPECT_EQ(values[1].offset, 59);
    for (int f = 0; f < 2; ++f) {
        ASSERT_EQ(values[f].bytes.size(), 11760u);
        const auto p = points(values[f]);
        for (int k = 0; k < 1470; ++k) {
            const float n = static_cast<float>(f * 1470 + k);
            ASSERT_EQ(p[k].x, n) << "frame " << f << " point " << k;
            ASSERT_EQ(p[k].y, -n) << "frame " << f << " point " << k;
        }
    }
    // A display never sleeps and reports no streaming. Besides the frames,
    // only the graph start's publication of the (still empty) output.
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    const auto all = d.rec.of(Call::Value);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_TRUE(all[0].bytes.empty());
    EXPECT_EQ(all[0].block, 0);
    EXPECT_EQ(all[0].offset, 0);
    EXPECT_TRUE(d.rec.of(Call::Streaming).empty());
}

TEST(Oscilloscope2, FrameLengthFollowsTheSampleRate) {
    for (const auto& [rate, length] : std::vector<std::pair<float, int>>{
             {48000.0f, 1600}, {44100.0f, 1470}, {96000.0f, 3200}, {30.0f, 1}, {59.0f, 1}}) {
        const int32_t bs = 256;
        Driver d("Oscilloscope2", kLayout, rate, bs);
        start(d, 1, 30.0f);
        for (int b = 0; b < 30; ++b) d.process();
        const auto at = framePositions(d, bs);
        ASSERT_FALSE(at.empty()) << rate;
        EXPECT_EQ(at[0], length - 1) << rate;
        for (size_t i = 1; i < at.size(); ++i) EXPECT_EQ(at[i] - at[i - 1], length) << rate;
        EXPECT_EQ(frames(d)[0].bytes.size(), static_cast<size_t>(length) * 8);
    }
}

TEST(Oscilloscope2, TimeModeSweepsXFromMinusOneAndWraps) {
    const int32_t bs = 100;
    const float rate = 3000.0f;  // 100 points a frame
    Driver d("Oscilloscope2", kLayout, rate, bs);
    const float hz = 75.0f;
    start(d, 0, hz);
    for (int i = 0; i < bs; ++i) d.buffer(kY)[i] = 0.25f * static_cast<float>(i);
    for (int b = 0; b < 3; ++b) d.process();

    const auto values = frames(d);
    ASSERT_EQ(values.size(), 3u);
    const float inc = std::min(rate, hz) / rate;
    float phase = 0.0f;
    int wraps = 0;
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(values[f].offset, 99);
        const auto p = points(values[f]);
        for (int k = 0; k < 100; ++k) {
            phase = phase + inc;
            if (phase >= 1.0f) {
                phase = phase - 1.0f;
                ++wraps;
            }
            ASSERT_EQ(p[k].x, phase + phase - 1.0f) << f << ":" << k;
            ASSERT_EQ(p[k].y, 0.25f * static_cast<float>(k));
            ASSERT_GE(p[k].x, -1.0f);
            ASSERT_LT(p[k].x, 1.0f);
        }
    }
    EXPECT_EQ(wraps, 7);  // 300 samples at 75 Hz / 3 kHz: 7.5 sweeps
}

TEST(Oscilloscope2, SweepAtOrAboveTheSampleRateStaysAtMinusOne) {
    Driver d("Oscilloscope2", kLayout, 3000.0f, 100);
    start(d, 0, 1.0e6f);
    d.process();
    const auto values = frames(d);
    ASSERT_EQ(values.size(), 1u);
    for (const Pt& p : points(values[0])) EXPECT_EQ(p.x, -1.0f);
}

TEST(Oscilloscope2, ModeSwitchTakesEffectAtTheEventAndKeepsEarlierPoints) {
    Driver d("Oscilloscope2", kLayout, 3000.0f, 100);
    start(d, 1, 30.0f);  // XY first
    feedRamp(d, 1000, 100);
    d.events.addInt(40, kMode, 0);  // time mode from sample 40 on
    d.process();
    const auto values = frames(d);
    ASSERT_EQ(values.size(), 1u);
    const auto p = points(values[0]);
    const float inc = std::min(3000.0f, 30.0f) / 3000.0f;
    float phase = 0.0f;
    for (int k = 0; k < 100; ++k) {
        phase = phase + inc;
        if (phase >= 1.0f) phase = phase - 1.0f;
        const float expectX = k < 40 ? static_cast<float>(1000 + k) : phase + phase - 1.0f;
        ASSERT_EQ(p[k].x, expectX) << k;  // the phase runs in XY mode too
        ASSERT_EQ(p[k].y, -static_cast<float>(1000 + k));
    }
}

TEST(Oscilloscope2, SweepChangeMidBlockChangesTheIncrementAtThatSample) {
    Driver d("Oscilloscope2", kLayout, 3000.0f, 100);
    start(d, 0, 30.0f);
    d.events.addFloat(25, kSweep, 300.0f);
    d.process();
    const auto p = points(frames(d).at(0));
    float phase = 0.0f;
    for (int k = 0; k < 100; ++k) {
        const float hz = k < 25 ? 30.0f : 300.0f;
        phase = phase + std::min(3000.0f, hz) / 3000.0f;
        if (phase >= 1.0f) phase = phase - 1.0f;
        ASSERT_EQ(p[k].x, phase + phase - 1.0f) << k;
    }
}

TEST(Oscilloscope2, NonFiniteSamplesAreCopiedUnchanged) {
    Driver d("Oscilloscope2", kLayout, 3000.0f, 100);
    start(d, 1, 30.0f);
    d.buffer(kX)[3] = std::nanf("");
    d.buffer(kY)[4] = -INFINITY;
    d.process();
    const auto p = points(frames(d).at(0));
    EXPECT_TRUE(std::isnan(p[3].x));
    EXPECT_EQ(p[4].y, -INFINITY);
    EXPECT_EQ(p[5].x, 0.0f);
}

// Decisions for settings the capture cannot use.

TEST(Oscilloscope2, SampleRateBelowThirtyHertzCapturesNothingAndDoesNotCrash) {
    for (float rate : {29.0f, 0.0f, -48000.0f, std::nanf("")}) {
        Driver d("Oscilloscope2", kLayout, rate, 64);
        start(d, 0, 30.0f);
        for (int b = 0; b < 20; ++b) d.process();
        EXPECT_TRUE(frames(d).empty()) << rate;
        EXPECT_EQ(d.rec.sleepRequests(), 0);
    }
}

TEST(Oscilloscope2, ShrinkingFrameRestartsBelowTheWritePositionGrowingFrameContinues) {
    const int32_t bs = 100;
    Driver d("Oscilloscope2", kLayout, 6000.0f, bs);  // 200 points
    start(d, 1, 30.0f);
    feedRamp(d, 0, bs);
    d.process();                                 // write index now 100
    d.instance().host().setSampleRate(1500.0f);  // 50 points: 100 lies outside
    feedRamp(d, 100, bs);
    d.events.addFloat(10, kSweep, 30.0f);  // the change is read at a pin change
    d.process();
    // The frame restarts at sample 110 with 50 points: sent at 159 and 209.
    auto at = framePositions(d, bs);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0], 159);
    auto p = points(frames(d)[0]);
    ASSERT_EQ(p.size(), 50u);
    EXPECT_EQ(p[0].x, 110.0f);
    EXPECT_EQ(p[49].x, 159.0f);

    // Frames of 50 go on (209, 259); at sample 300 the write index is 40
    // when the frame grows to 200 points: kept points stay, writing goes on.
    feedRamp(d, 200, bs);
    d.process();
    d.instance().host().setSampleRate(6000.0f);
    feedRamp(d, 300, bs);
    d.events.addFloat(0, kSweep, 30.0f);
    d.process();
    feedRamp(d, 400, bs);
    d.process();
    at = framePositions(d, bs);
    ASSERT_EQ(at.size(), 4u);
    EXPECT_EQ(at[1], 209);
    EXPECT_EQ(at[2], 259);
    EXPECT_EQ(at[3], 459);
    p = points(frames(d)[3]);
    ASSERT_EQ(p.size(), 200u);
    EXPECT_EQ(p[0].x, 260.0f);  // written before the change
    EXPECT_EQ(p[39].x, 299.0f);
    EXPECT_EQ(p[40].x, 300.0f);  // written after it
    EXPECT_EQ(p[199].x, 459.0f);
}

TEST(Oscilloscope2, ZeroOrNegativeSweepHoldsThePhaseStill) {
    for (float hz : {0.0f, -50.0f}) {
        Driver d("Oscilloscope2", kLayout, 3000.0f, 100);
        start(d, 0, 300.0f);
        d.events.addFloat(20, kSweep, hz);
        d.process();
        const auto p = points(frames(d).at(0));
        for (int k = 20; k < 100; ++k) {
            ASSERT_EQ(p[k].x, p[19].x) << hz << ":" << k;
            ASSERT_GE(p[k].x, -1.0f);
        }
    }
}

TEST(Oscilloscope2, NoFrameBeforeTheFirstPinChange) {
    // A host that sends only a graph start: nothing is known about the rate
    // yet, so nothing is captured (and nothing is written out of bounds).
    Driver d("Oscilloscope2", kLayout, 3000.0f, 100);
    d.events.addGraphStart(0);
    for (int b = 0; b < 3; ++b) d.process();
    EXPECT_TRUE(frames(d).empty());
    d.events.addFloat(0, kSweep, 30.0f);
    d.process();
    EXPECT_EQ(frames(d).size(), 1u);
}

}  // namespace
