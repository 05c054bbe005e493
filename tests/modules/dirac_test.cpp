// Dirac: plain and band-limited impulse trains, the shared sine table, enable
// and generator switching, and non-finite or extreme inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int32_t kEnable = 0, kAmp = 1, kScaling = 2, kFreq = 3, kFreqScale = 4, kBandLimited = 5,
                  kMean = 6, kOut = 7;
constexpr const char* kLayout = "baeaebbA";
constexpr const char16_t* kKey = u"ZOLAN DIRAC OSC SINE TABLE";
constexpr int kN = 262144;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

struct Config {
    bool enable = true;
    int scaling = 0;
    int freqScale = 2;
    bool bandLimited = false;
    bool mean = false;
    bool ampStreaming = true;
    bool freqStreaming = true;
};

void start(ztest::Driver& d, const Config& s) {
    d.events.addBool(0, kEnable, s.enable);
    d.events.addInt(0, kScaling, s.scaling);
    d.events.addInt(0, kFreqScale, s.freqScale);
    d.events.addBool(0, kBandLimited, s.bandLimited);
    d.events.addBool(0, kMean, s.mean);
    d.events.addStreaming(0, kAmp, s.ampStreaming);
    d.events.addStreaming(0, kFreq, s.freqStreaming);
    d.events.addGraphStart(0);
}

const float* sineTable(ztest::Driver& d) {
    void* mem = nullptr;
    int32_t flag = -1;
    d.tables().request(kKey, -1.0f, kN * 4, &mem, &flag);
    EXPECT_EQ(flag, 0);
    return static_cast<const float*>(mem);
}

// The plain generator, single precision throughout.
struct PlainModel {
    float phase = 1.0f, period = 0.0f, inc = 0.0f, last = -1.0f;
    float step(float x, float freqIn, int scale, bool mean, bool scaled, float rate) {
        float w = 10.0f * freqIn;
        if (!(w > 0.0f)) w = 0.0f;
        if (w != last) {
            last = w;
            const float r = 0.001f * rate;
            if (scale >= 2) {
                period = w < 2.0f ? 2.0f : w;
                inc = w < 2.0f ? 0.5f : 1.0f / w;
            } else {
                float f = scale == 1 ? 0.22f * std::exp2f(w - 4.0f) : w;
                if (0.5f * r < f) f = 0.5f * r;
                if (f <= 0.0f) {
                    inc = 0.0f;
                    period = kInf;
                } else {
                    period = r / f;
                    inc = 1.0f / period;
                }
            }
        }
        float imp = 0.0f;
        if (phase >= 1.0f) {
            phase -= 1.0f;
            imp = 1.0f;
        }
        float y;
        if (scaled)
            y = mean ? x * 0.5f * period * (imp - inc) : x * 0.5f * period * imp;
        else
            y = mean ? (imp - inc) * x : x * imp;
        phase += inc;
        return y;
    }
};

TEST(Dirac, SineTableHoldsOneAccumulatedCycleWithMirroredHalves) {
    ztest::Driver d("Dirac", kLayout);
    const float* s = sineTable(d);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_FALSE(std::signbit(s[0]));
    EXPECT_EQ(s[kN / 2], 0.0f);
    EXPECT_TRUE(std::signbit(s[kN / 2]));
    EXPECT_EQ(s[kN / 4], 1.0f);
    EXPECT_EQ(s[3 * kN / 4], -1.0f);
    double a = 2.3968449810713143e-05;
    for (int k = 1; k < kN / 2; ++k) {
        ASSERT_EQ(s[k], static_cast<float>(std::sin(a))) << k;
        ASSERT_EQ(s[k + kN / 2], -s[k]) << k;
        ASSERT_NEAR(s[k], std::sin(2.0 * M_PI * k / kN), 1e-7) << k;
        a += 2.3968449810713143e-05;
    }
}

TEST(Dirac, SecondInstanceDoesNotRefillTheTable) {
    ztest::Driver d("Dirac", kLayout);
    void* mem = nullptr;
    int32_t flag = -1;
    d.tables().request(kKey, -1.0f, kN * 4, &mem, &flag);
    ASSERT_NE(mem, nullptr);
    auto* s = static_cast<float*>(mem);
    const float saved = s[1];
    s[1] = 123.0f;  // a refill would overwrite this
    std::string error;
    auto second = zhost::Instance::create(ztest::library(), "Dirac", d.tables(),
                                          ztest::pinLayout(kLayout), 48000.0f, 64, &error);
    ASSERT_TRUE(second) << error;
    EXPECT_EQ(second->open(), 0);
    EXPECT_EQ(s[1], 123.0f);
    EXPECT_EQ(d.tables().tableCount(), 1u);
    s[1] = saved;
}

TEST(Dirac, WithoutATableTheBandLimitedGeneratorIsSilentAndThePlainOneRuns) {
    zhost::SharedTableStore store;
    void* mem = nullptr;
    int32_t flag = 0;
    store.request(kKey, -1.0f, 4, &mem, &flag);  // too small: later askers get nothing
    std::string error;
    auto inst = zhost::Instance::create(ztest::library(), "Dirac", store, ztest::pinLayout(kLayout),
                                        48000.0f, 16, &error);
    ASSERT_TRUE(inst) << error;
    ASSERT_EQ(inst->open(), 0);
    std::vector<float> amp(16, 1.0f), freq(16, 0.4f), out(16, 7.0f);
    inst->bindBuffer(kAmp, amp.data());
    inst->bindBuffer(kFreq, freq.data());
    inst->bindBuffer(kOut, out.data());
    zhost::EventList ev;
    ev.addBool(0, kEnable, true);
    ev.addInt(0, kFreqScale, 2);
    ev.addBool(0, kBandLimited, true);
    ev.addGraphStart(0);
    inst->process(16, ev.head());
    for (float v : out) EXPECT_EQ(v, 0.0f);
    ev.clear();
    ev.addBool(0, kBandLimited, false);
    inst->process(16, ev.head());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], i % 4 == 0 ? 1.0f : 0.0f) << i;
}

TEST(Dirac, PlainPeriodEightWithMeanRemovalAndScaling) {
    for (int variant = 0; variant < 4; ++variant) {
        const bool mean = variant & 1, scaled = variant & 2;
        ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
        Config s;
        s.mean = mean;
        s.scaling = scaled ? 1 : 0;
        start(d, s);
        d.fill(kFreq, 0.8f);
        for (int b = 0; b < 3; ++b) {
            for (int i = 0; i < 64; ++i) d.buffer(kAmp)[i] = 0.25f + 0.01f * (b * 64 + i);
            d.process();
            for (int i = 0; i < 64; ++i) {
                const float x = d.buffer(kAmp)[i];
                const float imp = i % 8 == 0 ? 1.0f : 0.0f;
                float want = mean ? (imp - 0.125f) * x : x * imp;
                if (scaled) want = mean ? x * 0.5f * 8.0f * (imp - 0.125f) : x * 4.0f * imp;
                ASSERT_EQ(d.buffer(kOut)[i], want) << variant << " " << b << ":" << i;
            }
        }
        const auto st = d.rec.streamingOf(kOut);
        ASSERT_FALSE(st.empty());
        EXPECT_TRUE(st.back().streaming);
    }
}

TEST(Dirac, PlainFollowsTheFrequencySampleBySampleInEveryScale) {
    for (int scale : {0, 1, 2, 3, -1}) {
        for (float rate : {48000.0f, 44100.0f}) {
            ztest::Driver d("Dirac", kLayout, rate, 64);
            Config s;
            s.freqScale = scale;
            s.mean = true;
            start(d, s);
            PlainModel m;
            for (int b = 0; b < 8; ++b) {
                for (int i = 0; i < 64; ++i) {
                    const int n = b * 64 + i;
                    d.buffer(kAmp)[i] = 1.0f - 0.001f * n;
                    // held steps, a ramp and negatives, per scale
                    float f = scale == 1 ? 0.3f + 0.02f * (n / 50) : 0.05f * (1 + n / 70);
                    if (scale >= 2) f = 0.25f + 0.3f * (n / 90) - 0.2f;
                    if (n > 400) f = 0.0003f * (n - 400);
                    d.buffer(kFreq)[i] = f;
                }
                d.process();
                for (int i = 0; i < 64; ++i) {
                    const float want =
                        m.step(d.buffer(kAmp)[i], d.buffer(kFreq)[i], scale, true, false, rate);
                    ASSERT_EQ(d.buffer(kOut)[i], want)
                        << scale << " " << rate << " " << b << ":" << i;
                }
            }
        }
    }
}

TEST(Dirac, FrequencyIsClampedToNyquistAndLowValuesGivePeriodTwo) {
    struct Case {
        int scale;
        float in;
    };
    for (Case c : {Case{0, 100.0f}, Case{1, 50.0f}, Case{2, 0.1f}, Case{2, -3.0f}, Case{0, 2.5f}}) {
        ztest::Driver d("Dirac", kLayout, 48000.0f, 32);
        Config s;
        s.freqScale = c.scale;
        start(d, s);
        d.fill(kAmp, 1.0f);
        d.fill(kFreq, c.in);
        d.process();
        for (int i = 0; i < 32; ++i)
            ASSERT_EQ(d.buffer(kOut)[i], i % 2 == 0 ? 1.0f : 0.0f) << c.scale << " " << i;
    }
}

TEST(Dirac, EnableSwitchesSilenceAndRestartsWithAnImpulse) {
    ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
    start(d, Config{});
    d.fill(kAmp, 1.0f);
    d.fill(kFreq, 1.0f);  // period 10
    d.events.addBool(20, kEnable, false);
    d.events.addBool(45, kEnable, true);
    d.process();
    for (int i = 0; i < 64; ++i) {
        float want = 0.0f;
        if (i < 20) want = i % 10 == 0 ? 1.0f : 0.0f;
        if (i >= 45) want = (i - 45) % 10 == 0 ? 1.0f : 0.0f;
        ASSERT_EQ(d.buffer(kOut)[i], want) << i;
    }
    const auto st = d.rec.streamingOf(kOut);
    // graph start, enable at 0, off at 20, on at 45
    ASSERT_GE(st.size(), 3u);
    EXPECT_EQ(st[st.size() - 2].offset, 20);
    EXPECT_FALSE(st[st.size() - 2].streaming);
    EXPECT_EQ(st.back().offset, 45);
    EXPECT_TRUE(st.back().streaming);
}

TEST(Dirac, DisabledWithStaticInputsSleepsEnabledNever) {
    for (bool enable : {false, true}) {
        ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
        Config s;
        s.enable = enable;
        s.ampStreaming = false;
        s.freqStreaming = false;
        start(d, s);
        d.fill(kAmp, 1.0f);
        d.fill(kFreq, 0.5f);
        for (int b = 0; b < 4; ++b) d.process();
        if (enable) {
            EXPECT_EQ(d.rec.sleepRequests(), 0);
        } else {
            EXPECT_GT(d.rec.sleepRequests(), 0);
            const auto st = d.rec.streamingOf(kOut);
            EXPECT_FALSE(st.back().streaming);
            EXPECT_EQ(st.back().offset, 0);
        }
    }
}

TEST(Dirac, BandLimitedPeriodTwoAlternates) {
    for (bool mean : {false, true}) {
        ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
        Config s;
        s.bandLimited = true;
        s.mean = mean;
        start(d, s);
        d.fill(kFreq, 0.0f);  // below 2 samples: period 2
        for (int b = 0; b < 2; ++b) {
            for (int i = 0; i < 64; ++i) d.buffer(kAmp)[i] = 0.5f + 0.125f * (i % 5);
            d.process();
            for (int i = 0; i < 64; ++i) {
                const float x = d.buffer(kAmp)[i];
                const float want = mean ? (i % 2 == 0 ? x : -x) : (i % 2 == 0 ? 1.5f : -0.5f) * x;
                ASSERT_EQ(d.buffer(kOut)[i], want) << mean << " " << b << ":" << i;
            }
        }
    }
}

TEST(Dirac, BandLimitedTrainMatchesTheHarmonicSum) {
    // Period 16: harmonics 1..8, M = 17, t = 1/16, peaks every 16 samples.
    for (bool mean : {false, true}) {
        ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
        Config s;
        s.bandLimited = true;
        s.mean = mean;
        start(d, s);
        d.fill(kAmp, 1.0f);
        d.fill(kFreq, 1.6f);
        const float* sine = sineTable(d);
        double sum = 0.0;
        double phase = 0.0;
        for (int b = 0; b < 4; ++b) {
            d.process();
            for (int i = 0; i < 64; ++i) {
                const int n = b * 64 + i;
                const int k = static_cast<int>(phase * 262144.0);
                float ratio = (k == 0 || k == kN / 2) ? 17.0f : sine[(17 * k) & (kN - 1)] / sine[k];
                if (mean) ratio -= 1.0f;
                ASSERT_EQ(d.buffer(kOut)[i], ratio * (1.0f / 16.0f)) << mean << " " << n;
                // the analytic Dirichlet kernel, normalised
                const double th = 2.0 * M_PI * phase;
                double kernel =
                    std::abs(std::sin(th)) < 1e-12 ? 17.0 : std::sin(17 * th) / std::sin(th);
                if (mean) kernel -= 1.0;
                EXPECT_NEAR(d.buffer(kOut)[i], kernel / 16.0, 1e-4) << n;
                if (n % 16 == 0) {
                    EXPECT_NEAR(d.buffer(kOut)[i], mean ? 1.0 : 17.0 / 16.0, 1e-6);
                }
                sum += d.buffer(kOut)[i];
                phase += 0.5 / 16.0;
                if (phase >= 1.0) phase -= 1.0;
            }
        }
        // Mean over whole periods: 1/16 of the input, or 0 with mean removal.
        EXPECT_NEAR(sum / 256.0, mean ? 0.0 : 1.0 / 16.0, 1e-6);
    }
}

TEST(Dirac, BandLimitedScalingAndSwitchToPlainResetsPhase) {
    ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
    Config s;
    s.bandLimited = true;
    s.scaling = 1;
    start(d, s);
    d.fill(kAmp, 2.0f);
    d.fill(kFreq, 0.8f);  // period 8, peak 9/8, scaled by 4
    d.events.addBool(40, kBandLimited, false);
    d.process();
    EXPECT_EQ(d.buffer(kOut)[0], (9.0f * 0.125f) * (2.0f * 0.5f * 8.0f));
    EXPECT_EQ(d.buffer(kOut)[8], (9.0f * 0.125f) * 8.0f);
    for (int i = 40; i < 64; ++i)
        ASSERT_EQ(d.buffer(kOut)[i], (i - 40) % 8 == 0 ? 8.0f : 0.0f) << i;
}

TEST(Dirac, FrequencyZeroStopsBothGenerators) {
    // Linear scale, input 0 (or negative): the plain train ends after the
    // pending impulse (at once when scaled, as its height would be infinite);
    // the band-limited one is silent.
    for (int variant = 0; variant < 8; ++variant) {
        const bool bl = variant & 1, scaled = variant & 2, mean = variant & 4;
        ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
        Config s;
        s.freqScale = 0;
        s.bandLimited = bl;
        s.scaling = scaled ? 1 : 0;
        s.mean = mean;
        start(d, s);
        d.fill(kAmp, 0.5f);
        d.fill(kFreq, variant % 3 == 0 ? -0.2f : 0.0f);
        for (int b = 0; b < 3; ++b) {
            d.process();
            for (int i = 0; i < 64; ++i) {
                const float want = (!bl && !scaled && b == 0 && i == 0) ? 0.5f : 0.0f;
                ASSERT_EQ(d.buffer(kOut)[i], want) << variant << " " << b << ":" << i;
            }
        }
    }
}

TEST(Dirac, NonFiniteAndHugeFrequenciesStayFiniteAndRecover) {
    const std::vector<float> bad = {kNaN, kInf, -kInf, 1e30f, -1e30f, 3e38f, 1e-42f};
    for (int variant = 0; variant < 8; ++variant) {
        const bool bl = variant & 1, scaled = variant & 2, mean = variant & 4;
        for (int scale : {0, 1, 2}) {
            ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
            Config s;
            s.freqScale = scale;
            s.bandLimited = bl;
            s.scaling = scaled ? 1 : 0;
            s.mean = mean;
            start(d, s);
            for (float v : bad) {
                d.fill(kAmp, 1.0f);
                d.fill(kFreq, v);
                d.process();
                for (int i = 0; i < 64; ++i)
                    ASSERT_TRUE(std::isfinite(d.buffer(kOut)[i]))
                        << variant << " s" << scale << " v" << v << " " << i;
            }
            // Back to a normal frequency: impulses resume (period 2 clamp or 12).
            d.fill(kAmp, 1.0f);
            d.fill(kFreq, scale == 2 ? 1.2f : 0.4f);
            d.events.addInt(0, kFreqScale, scale);  // restarts the phase
            d.process();
            float peak = 0.0f;
            for (int i = 0; i < 64; ++i) peak = std::max(peak, std::fabs(d.buffer(kOut)[i]));
            EXPECT_GT(peak, 0.5f) << variant << " s" << scale;
        }
    }
}

TEST(Dirac, HugePeriodInBandLimitedKeepsAFinitePeakAtTheStart) {
    ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
    Config s;
    s.bandLimited = true;
    s.freqScale = 2;
    start(d, s);
    d.fill(kAmp, 1.0f);
    d.fill(kFreq, 1e9f);  // 1e10 samples per period
    d.process();
    // Far beyond the table's resolution the peak is held: still finite and
    // never above the peak.
    EXPECT_NEAR(d.buffer(kOut)[0], 1.0f, 1e-6);
    for (int i = 0; i < 64; ++i) EXPECT_LE(std::fabs(d.buffer(kOut)[i]), 1.0f + 1e-6f) << i;
}

TEST(Dirac, NonFiniteAmplitudeSamplesMultiplyTheTrainAsTheyAre) {
    // The amplitude is a plain factor: infinity on an impulse gives infinity,
    // on a zero of the train not-a-number, and not-a-number stays so. A twin
    // instance with amplitude 1 gives the train each sample is multiplied by.
    for (int variant = 0; variant < 8; ++variant) {
        const bool bl = variant & 1, scaled = variant & 2, mean = variant & 4;
        Config s;
        s.bandLimited = bl;
        s.scaling = scaled ? 1 : 0;
        s.mean = mean;
        ztest::Driver d("Dirac", kLayout, 48000.0f, 64);
        ztest::Driver unit("Dirac", kLayout, 48000.0f, 64);
        start(d, s);
        start(unit, s);
        for (ztest::Driver* dr : {&d, &unit}) {
            dr->fill(kFreq, 0.8f);  // period 8
            dr->fill(kAmp, 1.0f);
        }
        const std::vector<float> bad = {kInf, -kInf, kNaN};
        for (int i = 0; i < 64; ++i)
            if (i % 3 == 0) d.buffer(kAmp)[i] = bad[(i / 3) % 3];
        d.process();
        unit.process();
        int infinite = 0;
        for (int i = 0; i < 64; ++i) {
            const float want = unit.buffer(kOut)[i] * d.buffer(kAmp)[i];
            const float got = d.buffer(kOut)[i];
            if (std::isnan(want)) {
                ASSERT_TRUE(std::isnan(got)) << variant << " " << i;
            } else {
                ASSERT_EQ(got, want) << variant << " " << i;
                if (std::isinf(got)) ++infinite;
            }
        }
        EXPECT_GT(infinite, 0) << variant;
    }
}

}  // namespace
