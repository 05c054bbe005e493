// KV_Crusher: sample-rate reduction by a phase-clocked hold, and quantisation
// to n bits with each level in the middle of its step.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int32_t kIn = 0, kRate = 1, kBits = 2, kOut = 3;

// The level of x at n bits: steps of 2^(1-n) from -1, the output in the middle of
// its step, x + 1 rounded to single precision first.
float level(float x, int n) {
    if (n > 31) return x;
    const int bits = n < 1 ? 1 : n;
    const double steps = std::ldexp(1.0, bits);
    const float a = x + 1.0f;
    double index = std::floor(static_cast<double>(a) * steps / 2.0);
    if (x <= -1.0f) index = 0.0;
    if (x >= 1.0f || index > steps - 1.0) index = steps - 1.0;
    return static_cast<float>(-1.0 + (index + 0.5) * 2.0 / steps);
}

void start(ztest::Driver& d, bool streaming) {
    d.events.addStreaming(0, kIn, streaming);
    d.events.addGraphStart(0);
}

void ramp(ztest::Driver& d, int block, float from = -1.2f, float step = 0.0037f) {
    for (int i = 0; i < d.blockSize(); ++i)
        d.buffer(kIn)[i] = from + step * static_cast<float>(block * d.blockSize() + i);
}

TEST(KV_Crusher, PassesInputUntoldOrUnreduced) {
    for (bool configured : {false, true}) {
        ztest::Driver d("KV_Crusher", "afiA", 48000.0f, 64);
        if (configured) {
            d.events.addFloat(0, kRate, -3.0f);
            d.events.addInt(0, kBits, 32);
        }
        start(d, true);
        for (int b = 0; b < 3; ++b) {
            ramp(d, b);
            d.buffer(kIn)[5] = 1e-20f;
            d.process();
            for (int i = 0; i < 64; ++i) ASSERT_EQ(d.buffer(kOut)[i], d.buffer(kIn)[i]) << i;
        }
    }
}

TEST(KV_Crusher, QuantisationLevels) {
    const float below1 = std::nextafter(1.0f, 0.0f);
    const std::vector<float> xs = {-3.0f,
                                   -1.0f,
                                   -0.999f,
                                   -0.5f,
                                   -1e-7f,
                                   0.0f,
                                   0.3f,
                                   0.5f,
                                   0.9921875f,
                                   below1,
                                   1.0f,
                                   7.0f,
                                   std::numeric_limits<float>::infinity()};
    ztest::Driver d("KV_Crusher", "afiA", 48000.0f, 16);
    d.events.addInt(0, kBits, 8);
    start(d, true);
    d.set(kIn, xs);
    d.process();
    const std::vector<float> want = {-0.99609375f, -0.99609375f, -0.99609375f,   -0.49609375f,
                                     -0.00390625f, 0.00390625f,  level(0.3f, 8), 0.50390625f,
                                     0.99609375f,  0.99609375f,  0.99609375f,    0.99609375f,
                                     0.99609375f};
    for (size_t i = 0; i < xs.size(); ++i) EXPECT_EQ(d.buffer(kOut)[i], want[i]) << xs[i];

    // One bit: -0.5 below zero, +0.5 from zero on; zero and negative widths act as one bit.
    for (int bits : {1, 0, -7}) {
        ztest::Driver o("KV_Crusher", "afiA", 48000.0f, 8);
        o.events.addInt(0, kBits, bits);
        start(o, true);
        o.set(kIn, {-2.0f, -0.3f, -1e-7f, 0.0f, 1e-30f, 0.7f, below1, 3.0f});
        o.process();
        EXPECT_EQ(o.out(kOut, 8),
                  (std::vector<float>{-0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}))
            << bits;
    }

    // A sweep at several widths against the step model, changing width mid-block.
    ztest::Driver s("KV_Crusher", "afiA", 48000.0f, 256);
    start(s, true);
    for (int bits : {2, 3, 5, 12, 20}) {
        s.events.addInt(0, kBits, bits);
        for (int i = 0; i < 256; ++i) s.buffer(kIn)[i] = -1.1f + 2.2f * i / 255.0f;
        s.process();
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(s.buffer(kOut)[i], level(s.buffer(kIn)[i], bits)) << bits << ":" << i;
    }
}

TEST(KV_Crusher, HoldLengthsFollowThePhase) {
    // S/4: every taken sample is held for exactly 4 samples, across blocks.
    ztest::Driver d("KV_Crusher", "afiA", 48000.0f, 64);
    d.events.addFloat(0, kRate, 12000.0f);
    start(d, true);
    std::vector<float> in, out;
    for (int b = 0; b < 3; ++b) {
        ramp(d, b);
        d.process();
        auto i = d.out(kIn, 64), o = d.out(kOut, 64);
        in.insert(in.end(), i.begin(), i.end());
        out.insert(out.end(), o.begin(), o.end());
    }
    for (size_t n = 0; n < out.size(); ++n) ASSERT_EQ(out[n], in[n - n % 4]) << n;

    // Uneven ratios: the phase accumulates in single precision.
    for (float rate : {16000.0f, 7000.0f, 44099.0f}) {
        ztest::Driver u("KV_Crusher", "afiA", 44100.0f, 50);
        u.events.addFloat(0, kRate, rate);
        start(u, true);
        const float inc = rate / 44100.0f;
        float phase = 1.0f, held = 0.0f;
        int taken = 0;
        for (int b = 0; b < 20; ++b) {
            if (b == 7) u.events.addInt(17, kBits, 40);  // a split span, nothing else
            ramp(u, b, -0.9f, 0.001f);
            u.process();
            for (int i = 0; i < 50; ++i) {
                if (phase >= 1.0f) {
                    phase = phase - 1.0f;
                    held = u.buffer(kIn)[i];
                    ++taken;
                }
                ASSERT_EQ(u.buffer(kOut)[i], held) << rate << " " << b << ":" << i;
                phase = phase + inc;
            }
        }
        EXPECT_NEAR(taken, 1000.0 * rate / 44100.0, 1.5);
    }
}

TEST(KV_Crusher, LoweringTheRateAfterARateAboveTheHostsTakesEffectAtOnce) {
    ztest::Driver d("KV_Crusher", "afiA", 48000.0f, 64);
    d.events.addFloat(0, kRate, 96000.0f);
    start(d, true);
    for (int b = 0; b < 4; ++b) {
        ramp(d, b);
        d.process();
        for (int i = 0; i < 64; ++i) ASSERT_EQ(d.buffer(kOut)[i], d.buffer(kIn)[i]);
    }
    d.events.addFloat(5, kRate, 12000.0f);
    ramp(d, 4);
    d.process();
    for (int i = 5; i < 64; ++i) ASSERT_EQ(d.buffer(kOut)[i], d.buffer(kIn)[5 + (i - 5) / 4 * 4]);
}

TEST(KV_Crusher, NanInputAndRate) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int bits : {8, 32}) {
        ztest::Driver d("KV_Crusher", "afiA", 48000.0f, 8);
        d.events.addInt(0, kBits, bits);
        start(d, true);
        d.set(kIn, {0.5f, nan, -0.5f});
        d.process();
        EXPECT_EQ(d.buffer(kOut)[0], level(0.5f, bits));
        EXPECT_TRUE(std::isnan(d.buffer(kOut)[1])) << bits;
        EXPECT_EQ(d.buffer(kOut)[2], level(-0.5f, bits));
    }
    // A NaN rate means no reduction.
    ztest::Driver r("KV_Crusher", "afiA", 48000.0f, 64);
    r.events.addFloat(0, kRate, 12000.0f);
    r.events.addFloat(0, kRate, nan);
    start(r, true);
    ramp(r, 0);
    r.process();
    for (int i = 0; i < 64; ++i) ASSERT_EQ(r.buffer(kOut)[i], r.buffer(kIn)[i]);
}

TEST(KV_Crusher, StreamingFollowsInputAndStaticLevelIsExact) {
    ztest::Driver d("KV_Crusher", "afiA", 48000.0f, 64);
    d.events.addFloat(0, kRate, 4800.0f);  // hold 10
    d.events.addInt(0, kBits, 8);
    start(d, true);
    ramp(d, 0);
    for (int i = 20; i < 64; ++i) d.buffer(kIn)[i] = 0.3f;
    d.events.addStreaming(20, kIn, false);
    d.process();
    // Held in tens until the input stops at 20; from there the static level at once.
    for (int i = 0; i < 20; ++i) EXPECT_EQ(d.buffer(kOut)[i], level(d.buffer(kIn)[i / 10 * 10], 8));
    for (int i = 20; i < 64; ++i) EXPECT_EQ(d.buffer(kOut)[i], level(0.3f, 8)) << i;
    auto st = d.rec.streamingOf(kOut);
    ASSERT_EQ(st.size(), 3u);  // graph start, the input's first event, its stop
    EXPECT_TRUE(st[1].streaming);
    EXPECT_FALSE(st[2].streaming);
    EXPECT_EQ(st[2].offset, 20);

    // All pins static: one host block more (20 samples left here), then sleep.
    d.fill(kIn, 0.3f);
    d.process();
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 1);

    // A new width while static: the new level from the event on, announced as
    // a new constant at that offset.
    d.events.addInt(9, kBits, 2);
    d.process();
    for (int i = 9; i < 64; ++i) EXPECT_EQ(d.buffer(kOut)[i], -0.25f + 0.5f) << i;
    st = d.rec.streamingOf(kOut);
    ASSERT_EQ(st.size(), 4u);
    EXPECT_FALSE(st[3].streaming);
    EXPECT_EQ(st[3].offset, 9);
    EXPECT_EQ(st[3].block, 2);

    // A new rate, or the same width sent again, leaves a static level as it is:
    // nothing new to announce.
    d.events.addFloat(4, kRate, 9600.0f);
    d.events.addInt(30, kBits, 2);
    d.process();
    for (int i = 0; i < 64; ++i) EXPECT_EQ(d.buffer(kOut)[i], -0.25f + 0.5f) << i;
    EXPECT_EQ(d.rec.streamingOf(kOut).size(), 4u);

    // Waking mid-block takes a sample at the event at once, then holds 10.
    ramp(d, 3);
    d.events.addFloat(0, kRate, 4800.0f);
    d.events.addStreaming(7, kIn, true);
    d.process();
    for (int i = 7; i < 64; ++i)
        EXPECT_EQ(d.buffer(kOut)[i], level(d.buffer(kIn)[7 + (i - 7) / 10 * 10], 2)) << i;
    st = d.rec.streamingOf(kOut);
    ASSERT_EQ(st.size(), 5u);
    EXPECT_TRUE(st[4].streaming);
    EXPECT_EQ(st[4].offset, 7);
}

}  // namespace
