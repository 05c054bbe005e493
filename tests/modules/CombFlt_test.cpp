// CombFlt: feedback comb with an allpass-interpolated delay in samples or as
// a frequency, and its decay-to-silence streaming report.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int32_t kIn = 0, kDelay = 1, kScale = 2, kFeedback = 3, kOut = 4;

// Straight model of the filter, written from the algorithm's description.
struct CombModel {
    static constexpr int kSize = 5001;
    std::vector<float> line = std::vector<float>(kSize, 0.0f);
    int w = 0;
    float s = 0.0f;
    float step(float x, float delayIn, float fb, bool freq, float rate) {
        float t = delayIn * 10.0f;
        if (freq) t = (rate * 0.001f) / t;
        const float f = std::max(-1.0f, std::min(1.0f, fb));
        int u;
        float v;
        if (t < 1.0f) {
            u = 1, v = 1.0f;
        } else if (t > 5000.0f) {
            u = 5000, v = 1.0f;
        } else {
            u = static_cast<int>(std::trunc(t));
            v = 1.0f - (t - static_cast<float>(u));
        }
        const int i = (w - u + kSize) % kSize;
        const int j = (i + kSize - 1) % kSize;
        s = line[j] + (line[i] - s) * v;
        const float y = (s - x) * f + x;
        line[w] = y;
        w = (w + 1) % kSize;
        return y;
    }
};

// Host start: inputs streaming (or not), scale, then graph start, all at 0.
void start(ztest::Driver& d, int scale, bool inStreaming = true, bool ctlStreaming = false) {
    d.events.addInt(0, kScale, scale);
    d.events.addStreaming(0, kIn, inStreaming);
    d.events.addStreaming(0, kDelay, ctlStreaming);
    d.events.addStreaming(0, kFeedback, ctlStreaming);
    d.events.addGraphStart(0);
}

std::vector<float> runImpulse(ztest::Driver& d, int total) {
    std::vector<float> out;
    for (int b = 0; out.size() < static_cast<size_t>(total); ++b) {
        d.fill(kIn, 0.0f);
        if (b == 0) d.buffer(kIn)[0] = 1.0f;
        d.process();
        const auto o = d.out(kOut, d.blockSize());
        out.insert(out.end(), o.begin(), o.end());
    }
    return out;
}

TEST(CombFlt, ZeroFeedbackPassesInput) {
    ztest::Driver d("CombFlt", "aaeaA", 48000.0f, 64);
    start(d, 0);
    d.fill(kDelay, 0.3f);
    d.fill(kFeedback, 0.0f);
    for (int b = 0; b < 3; ++b) {
        for (int i = 0; i < 64; ++i) d.buffer(kIn)[i] = std::sin(0.37f * (b * 64 + i)) * 0.8f;
        d.process();
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(d.buffer(kOut)[i], d.buffer(kIn)[i]) << b << ":" << i;
    }
}

TEST(CombFlt, IntegerDelayEchoesHalveEveryEightSamples) {
    for (float fb : {0.5f, -0.5f}) {
        ztest::Driver d("CombFlt", "aaeaA", 48000.0f, 64);
        start(d, 0);
        d.fill(kDelay, 0.8f);  // t = 8 samples
        d.fill(kFeedback, fb);
        const auto out = runImpulse(d, 192);
        float expect = (0.0f - 1.0f) * fb + 1.0f;  // the empty line blended in
        for (int n = 0; n < 192; ++n) {
            if (n % 8 == 0) {
                ASSERT_EQ(out[n], expect) << "fb " << fb << " n " << n;
                expect = expect * fb;
            } else {
                ASSERT_EQ(out[n], 0.0f) << "fb " << fb << " n " << n;
            }
        }
    }
}

TEST(CombFlt, DelayClampsToOneAndToFiveThousandSamples) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Below one sample (and a NaN delay): the echo comes one sample later.
    for (float delayIn : {0.05f, 0.0f, -2.0f, nan}) {
        ztest::Driver d("CombFlt", "aaeaA", 48000.0f, 16);
        start(d, 0);
        d.fill(kDelay, delayIn);
        d.fill(kFeedback, 0.5f);
        const auto out = runImpulse(d, 16);
        for (int n = 0; n < 6; ++n) EXPECT_EQ(out[n], std::ldexp(1.0f, -(n + 1))) << delayIn;
    }
    // 5000 exactly and above: echoes at 5000 and 10000 and nowhere else, so the
    // interpolator's older neighbour is really 5001 samples old.
    for (float delayIn : {500.0f, 600.0f, 1e30f}) {
        ztest::Driver d("CombFlt", "aaeaA", 48000.0f, 256);
        start(d, 0);
        d.fill(kDelay, delayIn);
        d.fill(kFeedback, 0.5f);
        const auto out = runImpulse(d, 10240);
        for (int n = 0; n < 10240; ++n) {
            const float expect = n == 0 ? 0.5f : n == 5000 ? 0.25f : n == 10000 ? 0.125f : 0.0f;
            ASSERT_EQ(out[n], expect) << "delay " << delayIn << " n " << n;
        }
    }
}

TEST(CombFlt, FrequencyScaleReadsOneVoltAsOneKilohertz) {
    ztest::Driver d("CombFlt", "aaeaA", 48000.0f, 64);
    start(d, 1);
    d.fill(kDelay, 0.1f);  // 1 kHz: 48 samples at 48 kHz
    d.fill(kFeedback, 0.9f);
    const auto out = runImpulse(d, 256);
    CombModel m;
    for (int n = 0; n < 256; ++n)
        ASSERT_EQ(out[n], m.step(n == 0 ? 1.0f : 0.0f, 0.1f, 0.9f, true, 48000.0f)) << n;
    // The echo lands (to within the tiny fraction of single precision) at 48.
    EXPECT_NEAR(out[48], 0.9f * 0.1f, 1e-5f);
    EXPECT_NEAR(out[47], 0.0f, 1e-5f);
    EXPECT_NEAR(out[49], 0.0f, 1e-5f);
    // A zero frequency asks for an endless period: the longest delay.
    ztest::Driver z("CombFlt", "aaeaA", 48000.0f, 256);
    start(z, 1);
    z.fill(kDelay, 0.0f);
    z.fill(kFeedback, 0.5f);
    const auto zo = runImpulse(z, 5120);
    EXPECT_EQ(zo[5000], 0.25f);
    EXPECT_EQ(zo[4999], 0.0f);
}

TEST(CombFlt, ModulatedFractionalDelayAndFeedbackMatchModel) {
    ztest::Driver d("CombFlt", "aaeaA", 44100.0f, 32);
    start(d, 0, true, true);
    CombModel m;
    int n = 0;
    for (int b = 0; b < 40; ++b) {
        // Events mid-block split the spans; the state must carry across them.
        if (b % 3 == 1) d.events.addInt(7, kScale, 0);
        for (int i = 0; i < 32; ++i, ++n) {
            d.buffer(kIn)[i] = std::sin(0.05f * n) + (n % 17 == 0 ? 1.0f : 0.0f);
            d.buffer(kDelay)[i] = 0.5f + 0.3f * std::sin(0.01f * n);
            d.buffer(kFeedback)[i] = 1.5f * std::sin(0.003f * n);  // runs into the clamp
        }
        d.process();
        for (int i = 0; i < 32; ++i) {
            const int k = b * 32 + i;
            ASSERT_EQ(d.buffer(kOut)[i], m.step(d.buffer(kIn)[i], d.buffer(kDelay)[i],
                                                d.buffer(kFeedback)[i], false, 44100.0f))
                << k;
        }
    }
}

TEST(CombFlt, NanFeedbackPassesInput) {
    ztest::Driver d("CombFlt", "aaeaA", 48000.0f, 64);
    start(d, 0);
    d.fill(kDelay, 0.8f);
    d.fill(kFeedback, std::numeric_limits<float>::quiet_NaN());
    for (int i = 0; i < 64; ++i) d.buffer(kIn)[i] = 0.01f * i - 0.3f;
    d.process();
    for (int i = 0; i < 64; ++i) EXPECT_EQ(d.buffer(kOut)[i], d.buffer(kIn)[i]);
    d.fill(kFeedback, 0.5f);  // and the loop is clean afterwards
    d.process();
    for (int i = 0; i < 64; ++i) EXPECT_TRUE(std::isfinite(d.buffer(kOut)[i]));
}

TEST(CombFlt, NotStreamingBeforeGraphStartWritesZeros) {
    ztest::Driver d("CombFlt", "aaeaA", 48000.0f, 64);
    d.fill(kIn, 0.7f);
    d.fill(kOut, 3.0f);
    d.fill(kDelay, 0.8f);
    // Inputs announced but no graph start: the input's first streaming event
    // reports the output streaming, so this instance does compute.
    d.events.addStreaming(0, kIn, true);
    d.process();
    EXPECT_EQ(d.buffer(kOut)[0], 0.7f);
    ASSERT_EQ(d.rec.streamingOf(kOut).size(), 1u);
    EXPECT_TRUE(d.rec.streamingOf(kOut)[0].streaming);
}

TEST(CombFlt, DecayedTailStopsStreamingSleepsAndResumesWithOldState) {
    const int bs = 64;
    ztest::Driver d("CombFlt", "aaeaA", 48000.0f, bs);
    start(d, 0);
    d.fill(kDelay, 0.8f);
    d.fill(kFeedback, 0.5f);
    CombModel m;

    // Block 0: an impulse on a streaming input. Block 1: the input stops.
    d.fill(kIn, 0.0f);
    d.buffer(kIn)[0] = 1.0f;
    d.process();
    for (int i = 0; i < bs; ++i) m.step(d.buffer(kIn)[i], 0.8f, 0.5f, false, 48000.0f);
    d.fill(kIn, 0.0f);
    d.events.addStreaming(0, kIn, false);

    // Independently: the first sample from which 5000 outputs in a row are
    // below 1e-5 is the 5000th quiet one; the report comes at its span's end.
    int quiet = 0, reportBlock = -1, reportOffset = -1;
    for (int b = 1; b < 200 && reportBlock < 0; ++b) {
        for (int i = 0; i < bs; ++i) {
            const float y = m.step(0.0f, 0.8f, 0.5f, false, 48000.0f);
            quiet = std::fabs(y) < 1e-5f ? quiet + 1 : 0;
            if (quiet == 5000 && reportBlock < 0) reportBlock = b, reportOffset = bs - 1;
        }
    }
    ASSERT_GT(reportBlock, 0);
    for (int b = 1; b <= reportBlock + 3; ++b) d.process();

    const auto st = d.rec.streamingOf(kOut);
    // Graph start and the input's first event, the input's stop event, decayed.
    ASSERT_EQ(st.size(), 4u);
    EXPECT_TRUE(st[2].streaming);
    EXPECT_EQ(st[2].block, 1);
    EXPECT_FALSE(st[3].streaming);
    EXPECT_EQ(st[3].block, reportBlock);
    EXPECT_EQ(st[3].offset, reportOffset);
    // One more host block is computed (zeros), then the instance asks to sleep.
    const auto sleeps = d.rec.of(ztest::Call::Sleep);
    ASSERT_FALSE(sleeps.empty());
    EXPECT_EQ(sleeps[0].block, reportBlock + 1);

    // Waking: a new impulse at offset 10 of a streaming input. The filter goes on
    // from where it stopped; the zeros written meanwhile did not advance it.
    d.fill(kOut, 9.0f);
    d.fill(kIn, 0.0f);
    d.buffer(kIn)[10] = 1.0f;
    d.events.addStreaming(10, kIn, true);
    d.process();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(d.buffer(kOut)[i], 0.0f);
    for (int i = 10; i < bs; ++i)
        ASSERT_EQ(d.buffer(kOut)[i], m.step(d.buffer(kIn)[i], 0.8f, 0.5f, false, 48000.0f)) << i;
    const auto st2 = d.rec.streamingOf(kOut);
    ASSERT_EQ(st2.size(), 5u);
    EXPECT_TRUE(st2[4].streaming);
    EXPECT_EQ(st2[4].offset, 10);
}

TEST(CombFlt, StopEventInAnEmptyBlockReportsAQuietOutputAtOnce) {
    ztest::Driver d("CombFlt", "aaeaA", 48000.0f, 512);
    start(d, 0);
    d.fill(kDelay, 0.8f);
    d.fill(kIn, 0.0f);
    for (int b = 0; b < 10; ++b) d.process();  // 5120 quiet samples while streaming
    ASSERT_EQ(d.rec.streamingOf(kOut).size(), 2u);
    // The input stops in a block of no samples: the long-quiet output is
    // reported static at the start of that empty span.
    d.events.addStreaming(0, kIn, false);
    d.process(0);
    const auto st = d.rec.streamingOf(kOut);
    ASSERT_EQ(st.size(), 4u);
    EXPECT_TRUE(st[2].streaming);
    EXPECT_FALSE(st[3].streaming);
    EXPECT_EQ(st[3].offset, 0);
    EXPECT_EQ(st[3].block, 10);
}

TEST(CombFlt, QuietStreamingInputNeverStopsTheOutput) {
    ztest::Driver d("CombFlt", "aaeaA", 48000.0f, 512);
    start(d, 0);
    d.fill(kDelay, 0.8f);
    d.fill(kIn, 0.0f);
    for (int b = 0; b < 30; ++b) d.process();
    for (const auto& c : d.rec.streamingOf(kOut)) {
        EXPECT_TRUE(c.streaming);
        EXPECT_EQ(c.block, 0);
    }
    EXPECT_EQ(d.rec.sleepRequests(), 0);
}

}  // namespace
