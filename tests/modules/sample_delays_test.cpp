// Latency and FracDelay: delayed samples, tails of stopped inputs, sleep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int kIn = 0, kDelay = 1, kOut = 2;

void startDelay(ztest::Driver& d, bool fractional, float delay, bool streaming = true) {
    if (fractional) {
        d.events.addFloat(0, kDelay, delay);
    } else {
        d.events.addInt(0, kDelay, static_cast<int32_t>(delay));
    }
    d.events.addStreaming(0, kIn, streaming);
    d.events.addGraphStart(0);
}

// Runs `blocks` blocks with input sample n = f(n) and returns the whole output.
template <class F>
std::vector<float> run(ztest::Driver& d, int blocks, F f, int first = 0) {
    std::vector<float> out;
    const int bs = d.blockSize();
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < bs; ++i) d.buffer(kIn)[i] = f(first + b * bs + i);
        d.process();
        auto o = d.out(kOut, bs);
        out.insert(out.end(), o.begin(), o.end());
    }
    return out;
}

float ramp(int n) {
    return 0.001f * static_cast<float>(n % 500) - 0.2f;
}

TEST(Latency, DelaysByWholeSamplesAcrossBlocks) {
    for (int delay : {0, 3, 64, 5000}) {
        ztest::Driver d("Latency", "aiA", 48000.0f, 64);
        startDelay(d, false, static_cast<float>(delay));
        const auto out = run(d, 82, [](int n) { return n == 62 ? 1.0f : 0.0f; });
        for (int n = 0; n < static_cast<int>(out.size()); ++n)
            ASSERT_EQ(out[n], n == 62 + delay ? 1.0f : 0.0f) << "delay " << delay << " n " << n;
    }
}

TEST(Latency, DelayIsClampedToTheRing) {
    {
        ztest::Driver d("Latency", "aiA", 48000.0f, 64);
        startDelay(d, false, -7.0f);
        const auto out = run(d, 2, ramp);
        for (int n = 0; n < 128; ++n) ASSERT_EQ(out[n], ramp(n));
    }
    {
        ztest::Driver d("Latency", "aiA", 48000.0f, 64);
        startDelay(d, false, 123456.0f);
        const auto out = run(d, 82, [](int n) { return n == 5 ? 1.0f : 0.0f; });
        for (int n = 0; n < static_cast<int>(out.size()); ++n)
            ASSERT_EQ(out[n], n == 5005 ? 1.0f : 0.0f) << n;
    }
}

TEST(Latency, StoppedInputTurnsStaticExactlyDelaySamplesLater) {
    ztest::Driver d("Latency", "aiA", 48000.0f, 32);
    startDelay(d, false, 100.0f);
    for (int i = 0; i < 32; ++i) d.buffer(kIn)[i] = i < 20 ? ramp(i) : 0.25f;
    d.events.addStreaming(20, kIn, false);  // constant 0.25 from sample 20
    d.process();
    // Spans cut by events must not disturb the count.
    d.fill(kIn, 0.25f);
    d.events.addInt(10, kDelay, 100);
    d.events.addInt(11, kDelay, 100);
    d.process();
    d.process();
    auto reports = d.rec.streamingOf(kOut);
    for (const auto& r : reports) EXPECT_TRUE(r.streaming);  // the tail is still coming
    EXPECT_EQ(reports.back().block, 0);
    EXPECT_EQ(reports.back().offset, 20);
    d.process();  // block 3 holds absolute sample 120
    const size_t before = reports.size();
    reports = d.rec.streamingOf(kOut);
    ASSERT_EQ(reports.size(), before + 1);
    EXPECT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().block, 3);
    EXPECT_EQ(reports.back().offset, 120 - 96);
    EXPECT_EQ(d.buffer(kOut)[23], ramp(19));
    EXPECT_EQ(d.buffer(kOut)[24], 0.25f);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 4);
    EXPECT_EQ(d.buffer(kOut)[31], 0.25f);
    // Streaming again: reported at the event's sample.
    d.events.addStreaming(7, kIn, true);
    d.process();
    reports = d.rec.streamingOf(kOut);
    EXPECT_TRUE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 7);
    EXPECT_EQ(reports.back().block, 5);
}

TEST(Latency, WithoutDelayAStoppedInputIsStaticAtOnce) {
    ztest::Driver d("Latency", "aiA", 48000.0f, 16);
    startDelay(d, false, 0.0f);
    d.fill(kIn, 0.5f);
    d.events.addStreaming(9, kIn, false);
    d.process();
    d.process();
    auto reports = d.rec.streamingOf(kOut);
    // Streaming twice at 0 (values, then graph start); static once at the
    // stop and once more by the tail count of 0 in the span that begins there.
    ASSERT_EQ(reports.size(), 4u);
    for (size_t k = 2; k < 4; ++k) {
        EXPECT_FALSE(reports[k].streaming);
        EXPECT_EQ(reports[k].offset, 9);
        EXPECT_EQ(reports[k].block, 0);
    }
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 1);
}

TEST(Latency, LongerDelayOnAStaticInputStreamsTheOlderSamplesAgain) {
    ztest::Driver d("Latency", "aiA", 48000.0f, 32);
    startDelay(d, false, 4.0f);
    run(d, 8, ramp);  // samples 0..255 streaming
    d.fill(kIn, 0.5f);
    d.events.addStreaming(0, kIn, false);
    d.process();  // static from 256; output static from 260
    ASSERT_FALSE(d.rec.streamingOf(kOut).back().streaming);
    EXPECT_EQ(d.rec.streamingOf(kOut).back().offset, 4);
    const size_t settledReports = d.rec.streamingOf(kOut).size();

    // Block 9: the same delay again changes nothing, nor does a delay of 30
    // (at 37 samples since the stop), which only reads the stopped value; at sample 299 the delay
    // becomes 150, so samples 149.. of the ramp come out again and the output
    // streams until 150 samples have passed since the stop.
    d.events.addInt(3, kDelay, 4);
    d.events.addInt(5, kDelay, 30);
    d.events.addInt(11, kDelay, 150);
    d.process();
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_EQ(reports.size(), settledReports + 1);
    EXPECT_TRUE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 11);
    EXPECT_EQ(d.buffer(kOut)[4], 0.5f);
    EXPECT_EQ(d.buffer(kOut)[10], 0.5f);
    EXPECT_EQ(d.buffer(kOut)[11], ramp(149));
    EXPECT_EQ(d.buffer(kOut)[31], ramp(169));
    d.process();
    d.process();
    d.process();  // block 12: the last ramp sample (255) leaves at 405
    EXPECT_EQ(d.buffer(kOut)[405 - 384], ramp(255));
    EXPECT_EQ(d.buffer(kOut)[406 - 384], 0.5f);
    reports = d.rec.streamingOf(kOut);
    ASSERT_EQ(reports.size(), settledReports + 2);
    EXPECT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().block, 406 / 32);
    EXPECT_EQ(reports.back().offset, 406 % 32);
}

TEST(Latency, DelayChangesThatReadOnlyTheStoppedValueReportNothing) {
    ztest::Driver d("Latency", "aiA", 48000.0f, 32);
    startDelay(d, false, 100.0f);
    for (int i = 0; i < 32; ++i) d.buffer(kIn)[i] = i < 20 ? ramp(i) : 0.25f;
    d.events.addStreaming(20, kIn, false);
    d.process();
    const size_t stopped = d.rec.streamingOf(kOut).size();
    // 50 samples after the stop the delay shrinks to 10 and then grows to 80,
    // both inside the pending tail: the report stays 100 samples after the
    // stop.
    d.fill(kIn, 0.25f);
    d.process();
    d.events.addInt(6, kDelay, 10);
    d.events.addInt(9, kDelay, 80);
    d.process();
    EXPECT_EQ(d.rec.streamingOf(kOut).size(), stopped);
    EXPECT_EQ(d.buffer(kOut)[5], 0.0f);   // sample 69, 100 back: before the first
    EXPECT_EQ(d.buffer(kOut)[6], 0.25f);  // sample 70, 10 back
    EXPECT_EQ(d.buffer(kOut)[9], 0.0f);   // sample 73, 80 back
    EXPECT_EQ(d.buffer(kOut)[31], ramp(15));
    d.process();
    EXPECT_EQ(d.buffer(kOut)[3], ramp(19));
    EXPECT_EQ(d.buffer(kOut)[4], 0.25f);  // sample 100 on: the stopped value
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_EQ(reports.size(), stopped + 1);
    EXPECT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().block, 120 / 32);
    EXPECT_EQ(reports.back().offset, 120 % 32);
}

// Independent first-order allpass over the recorded input history.
std::vector<float> allpass(const std::vector<float>& x, float delay) {
    const int n = static_cast<int>(delay);
    const float f = delay - static_cast<float>(n);
    const float eta = (1.0f - f) / (1.0f + f);
    auto at = [&](int k) { return k < 0 ? 0.0f : x[k]; };
    std::vector<float> y(x.size());
    float prev = 0.0f;
    for (int k = 0; k < static_cast<int>(x.size()); ++k) {
        prev = eta >= 1.0f ? at(k - n) : at(k - n - 1) + (at(k - n) - prev) * eta;
        y[k] = prev;
    }
    return y;
}

TEST(FracDelay, InterpolatesWithTheAllpass) {
    for (float delay : {0.0f, 2.0f, 2.5f, 0.3f, 63.75f, 4999.9f}) {
        ztest::Driver d("FracDelay", "afA", 48000.0f, 64);
        startDelay(d, true, delay);
        const auto out = run(d, 85, ramp);
        std::vector<float> x(out.size());
        for (size_t k = 0; k < x.size(); ++k) x[k] = ramp(static_cast<int>(k));
        const auto want = allpass(x, delay);
        for (size_t k = 0; k < out.size(); ++k) ASSERT_EQ(out[k], want[k]) << delay << " " << k;
    }
    // Delay 2.5: eta is a third.
    ztest::Driver d("FracDelay", "afA", 48000.0f, 8);
    startDelay(d, true, 2.5f);
    d.set(kIn, {1.0f});
    d.process();
    const float eta = 0.5f / 1.5f;
    EXPECT_EQ(d.buffer(kOut)[2], eta);
    EXPECT_EQ(d.buffer(kOut)[3], 1.0f - eta * eta);
}

TEST(FracDelay, DelayIsClampedAndNaNMeansNone) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float delay : {-3.0f, nan}) {
        ztest::Driver d("FracDelay", "afA", 48000.0f, 64);
        startDelay(d, true, delay);
        const auto out = run(d, 1, ramp);
        for (int n = 0; n < 64; ++n) ASSERT_EQ(out[n], ramp(n)) << delay;
    }
    ztest::Driver d("FracDelay", "afA", 48000.0f, 64);
    startDelay(d, true, 1e9f);
    const auto out = run(d, 82, [](int n) { return n == 5 ? 1.0f : 0.0f; });
    for (int n = 0; n < static_cast<int>(out.size()); ++n)
        ASSERT_EQ(out[n], n == 5005 ? 1.0f : 0.0f) << n;
}

TEST(FracDelay, StoppedInputSettlesOnTheNewValueAfterTheDelay) {
    // Delay 1: the two samples before the stop are equal, the stopped value
    // differs; the tail must not end on the old value.
    ztest::Driver d("FracDelay", "afA", 48000.0f, 16);
    startDelay(d, true, 1.0f);
    d.fill(kIn, 0.0f);
    d.set(kIn, {0.1f, 0.2f, 0.5f, 0.5f});
    d.events.addStreaming(4, kIn, false);
    d.events.addFloat(5, kDelay, 1.0f);  // cuts spans: 4..5, 5..16
    d.process();
    const auto out = d.out(kOut, 16);
    EXPECT_EQ(out[4], 0.5f);
    EXPECT_EQ(out[5], 0.0f);
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_FALSE(reports.back().streaming);
    // Settled at sample 6 in the span 5..16: reported just past that span.
    EXPECT_EQ(reports.back().offset, 16);
    EXPECT_EQ(reports.back().block, 0);
    // Reported at the block's end: the next block is the one counted down.
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 1);
}

TEST(FracDelay, SettledOutputHoldsAndTheRingWaits) {
    ztest::Driver d("FracDelay", "afA", 48000.0f, 16);
    startDelay(d, true, 2.0f);
    d.fill(kIn, 0.75f);
    d.set(kIn, {0.1f, 0.2f});
    d.events.addStreaming(2, kIn, false);
    d.process();
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 16);
    EXPECT_EQ(d.buffer(kOut)[15], 0.75f);
    // While settled the output holds whatever the input buffer holds and the
    // ring does not advance.
    d.fill(kIn, -1.0f);
    d.process();
    for (float v : d.out(kOut, 16)) EXPECT_EQ(v, 0.75f);
    d.events.addStreaming(8, kIn, true);
    d.process();
    reports = d.rec.streamingOf(kOut);
    EXPECT_TRUE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 8);
    EXPECT_EQ(d.buffer(kOut)[7], 0.75f);
    EXPECT_EQ(d.buffer(kOut)[9], 0.75f);  // from the ring written before the hold
    EXPECT_EQ(d.buffer(kOut)[10], -1.0f);
}

TEST(FracDelay, FractionalTailDecaysBelowTheThreshold) {
    ztest::Driver d("FracDelay", "afA", 48000.0f, 64);
    startDelay(d, true, 2.5f);  // countdown trunc(3.0) = 3
    d.fill(kIn, 1.0f);
    d.events.addStreaming(0, kIn, false);
    d.process();
    // The allpass rings with factor -1/3 per sample; find where successive
    // outputs first differ by less than 1e-6 after the countdown.
    std::vector<float> x(64, 1.0f);
    const auto y = allpass(x, 2.5f);
    int settleAt = -1;
    for (int k = 4; k < 64 && settleAt < 0; ++k)
        if (std::fabs(y[k] - y[k - 1]) < 1e-6f) settleAt = k;
    ASSERT_GT(settleAt, 4);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(d.buffer(kOut)[k], y[k]);
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 64);
    d.process();
    for (float v : d.out(kOut, 64)) EXPECT_EQ(v, y[63]);
}

TEST(FracDelay, DelayChangeWhileSettledKeepsTheHeldOutput) {
    ztest::Driver d("FracDelay", "afA", 48000.0f, 32);
    startDelay(d, true, 1.0f);
    run(d, 2, ramp);
    d.fill(kIn, 0.5f);
    d.events.addStreaming(0, kIn, false);
    d.process();
    ASSERT_FALSE(d.rec.streamingOf(kOut).back().streaming);
    const size_t settled = d.rec.streamingOf(kOut).size();
    d.events.addFloat(4, kDelay, 40.0f);
    d.process();
    EXPECT_EQ(d.rec.streamingOf(kOut).size(), settled);
    for (float v : d.out(kOut, 32)) EXPECT_EQ(v, 0.5f);
}

// Zeros, then a ramp from sample 50, then a stop at 64 on the value 0.5.
float zerosThenRamp(int n) {
    return n < 50 ? 0.0f : (n < 64 ? ramp(n) : 0.5f);
}

void stopAfterZerosThenRamp(ztest::Driver& d, float delay) {
    startDelay(d, true, delay);
    run(d, 2, zerosThenRamp);
    d.fill(kIn, 0.5f);
    d.events.addStreaming(0, kIn, false);
}

TEST(FracDelay, LongerDelayDuringTheTailWatchesItsWholeLength) {
    ztest::Driver d("FracDelay", "afA", 48000.0f, 32);
    stopAfterZerosThenRamp(d, 10.0f);
    // At sample 66 the delay becomes 30: samples 36.. come out again, zeros up
    // to 49. The watch, due at sample 74, waits until 30 samples have passed
    // since the stop, so the output does not settle on those zeros.
    d.events.addFloat(2, kDelay, 30.0f);
    d.process();
    const auto out = d.out(kOut, 32);
    EXPECT_EQ(out[1], zerosThenRamp(65 - 10));
    EXPECT_EQ(out[2], 0.0f);  // sample 66, 30 back
    EXPECT_EQ(out[28], zerosThenRamp(64 + 28 - 30));
    EXPECT_EQ(out[30], 0.5f);
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_FALSE(reports.back().streaming);  // settled at 95 = 64 + 31
    EXPECT_EQ(reports.back().block, 2);
    EXPECT_EQ(reports.back().offset, 32);
    d.process();
    for (float v : d.out(kOut, 32)) EXPECT_EQ(v, 0.5f);
}

TEST(FracDelay, ShorterDelayDuringTheTailKeepsTheWatch) {
    ztest::Driver d("FracDelay", "afA", 48000.0f, 32);
    stopAfterZerosThenRamp(d, 10.0f);
    // The delay drops to 2 at sample 66; the watch still begins at 74.
    d.events.addFloat(2, kDelay, 2.0f);
    d.events.addFloat(8, kDelay, 2.0f);  // cuts the spans at 72
    d.process();
    auto reports = d.rec.streamingOf(kOut);
    ASSERT_FALSE(reports.back().streaming);
    EXPECT_EQ(reports.back().offset, 32);
    EXPECT_EQ(reports.back().block, 2);
}

}  // namespace
