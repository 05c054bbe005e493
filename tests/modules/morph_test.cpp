// Morph1D and Morph2D: weights at the named positions, the shared curve
// table, clamping, NaN behaviour, streaming and sleep reports.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

constexpr int kTableSize = 16384;
const char16_t* const kTableKey = u"ZOLAN MORPH LIN2VCA TABLE";
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// The curve as documented: float counter, float step, exp in double.
std::vector<float> expectedTable() {
    std::vector<float> t(kTableSize);
    float i = 0.0f;
    for (float& v : t) {
        const float x = (i * 6.103888e-05f - 1.0f) * 3.0f;
        const float e = static_cast<float>(std::exp(static_cast<double>(x)));
        v = 1.0f - (1.0f - e) * 1.0523957f;
        i += 1.0f;
    }
    return t;
}

float curveOf(const std::vector<float>& t, float w) {
    const float p = w * 16383.0f;
    const int k = static_cast<int>(p);
    const float f = p - static_cast<float>(k);
    return k <= 16382 ? f * t[k + 1] + (1.0f - f) * t[k] : (1.0f - f) * t[k];
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Morph1D pins: position, curve, out, then the mixed inputs.
constexpr int kPos1 = 0, kCurve1 = 1, kOut1 = 2, kIn1 = 3;
// Morph2D pins: position, focus, curve, out, then the mixed inputs.
constexpr int kPos2 = 0, kFocus2 = 1, kCurve2 = 2, kOut2 = 3, kIn2 = 4;

std::string layout1(int n) {
    return "aeA" + std::string(static_cast<size_t>(n), 'a');
}
std::string layout2(int n) {
    return "aaeA" + std::string(static_cast<size_t>(n), 'a');
}

// First block as a host sends it: the curve selector (if given), every audio
// input's streaming state, then graph start.
void start(Driver& d, const std::string& layout, int curvePin, int curve, bool streaming = true) {
    if (curvePin >= 0) d.events.addInt(0, curvePin, curve);
    for (size_t p = 0; p < layout.size(); ++p)
        if (layout[p] == 'a') d.events.addStreaming(0, static_cast<int>(p), streaming);
    d.events.addGraphStart(0);
}

// ------------------------------------------------------------------ table

TEST(MorphCurve, SharedTableHoldsTheCurveAndIsFilledOnlyOnce) {
    zhost::SharedTableStore store;
    const auto pins = ztest::pinLayout(layout1(3));
    std::string error;
    auto first =
        zhost::Instance::create(ztest::library(), "Morph1D", store, pins, 48000.0f, 16, &error);
    ASSERT_TRUE(first) << error;
    ASSERT_EQ(first->open(), mp::MP_OK);
    ASSERT_EQ(store.tableCount(), 1u);

    void* memory = nullptr;
    int32_t needInit = -1;
    ASSERT_EQ(store.request(kTableKey, -1.0f, kTableSize * 4, &memory, &needInit), mp::MP_OK);
    EXPECT_EQ(needInit, 0);
    auto* table = static_cast<float*>(memory);
    const auto expected = expectedTable();
    for (int i = 0; i < kTableSize; ++i) ASSERT_TRUE(sameBits(table[i], expected[i])) << i;
    EXPECT_EQ(table[16383], 1.0f);
    EXPECT_NEAR(table[1], 9.596e-06f, 1e-8f);
    EXPECT_NEAR(table[8191], 0.1824f, 1e-4f);
    EXPECT_NEAR(table[0], 0.0f, 2e-7f);

    // Mark the table: later instances of either module must use it as it is.
    table[8191] = 0.25f;
    table[8192] = 0.25f;
    for (const char* id : {"Morph1D", "Morph2D"}) {
        const std::string lay = std::string(id) == "Morph1D" ? layout1(3) : layout2(3);
        auto inst = zhost::Instance::create(ztest::library(), id, store, ztest::pinLayout(lay),
                                            48000.0f, 16, &error);
        ASSERT_TRUE(inst) << error;
        ASSERT_EQ(inst->open(), mp::MP_OK);
        EXPECT_EQ(table[8191], 0.25f) << id << " refilled the shared table";
    }
    EXPECT_EQ(store.tableCount(), 1u);

    // And the marked entries are what a curved Morph1D reads: 0.25 at w = 0.5.
    std::vector<std::vector<float>> bufs(6, std::vector<float>(16, 0.0f));
    auto inst =
        zhost::Instance::create(ztest::library(), "Morph1D", store, pins, 48000.0f, 16, &error);
    ASSERT_TRUE(inst) << error;
    ASSERT_EQ(inst->open(), mp::MP_OK);
    bufs[kPos1].assign(16, 0.25f);
    bufs[kIn1].assign(16, 1.0f);
    bufs[kIn1 + 1].assign(16, 10.0f);
    bufs[kIn1 + 2].assign(16, 100.0f);
    for (int p : {0, 2, 3, 4, 5}) inst->bindBuffer(p, bufs[static_cast<size_t>(p)].data());
    zhost::EventList ev;
    for (int p : {0, 3, 4, 5}) ev.addStreaming(0, p, true);
    ev.addGraphStart(0);
    inst->process(16, ev.head());
    EXPECT_EQ(bufs[kOut1][0], 0.25f * 1.0f + 0.25f * 10.0f);
}

TEST(MorphCurve, HostWithoutTheTableStillGetsTheCurve) {
    // A store already holding a smaller block under the key cannot serve it.
    zhost::SharedTableStore store;
    void* memory = nullptr;
    int32_t needInit = 0;
    ASSERT_EQ(store.request(kTableKey, -1.0f, 4, &memory, &needInit), mp::MP_OK);
    static_cast<float*>(memory)[0] = 5.0f;

    std::string error;
    auto inst = zhost::Instance::create(ztest::library(), "Morph1D", store,
                                        ztest::pinLayout(layout1(3)), 48000.0f, 16, &error);
    ASSERT_TRUE(inst) << error;
    ASSERT_EQ(inst->open(), mp::MP_OK);
    std::vector<std::vector<float>> bufs(6, std::vector<float>(16, 0.0f));
    for (int i = 0; i < 16; ++i) bufs[kPos1][static_cast<size_t>(i)] = i / 15.0f;
    bufs[kIn1].assign(16, 1.0f);
    bufs[kIn1 + 1].assign(16, 10.0f);
    bufs[kIn1 + 2].assign(16, 100.0f);
    for (int p : {0, 2, 3, 4, 5}) inst->bindBuffer(p, bufs[static_cast<size_t>(p)].data());
    zhost::EventList ev;
    for (int p : {0, 3, 4, 5}) ev.addStreaming(0, p, true);
    ev.addGraphStart(0);
    inst->process(16, ev.head());
    const auto t = expectedTable();
    for (int i = 0; i < 16; ++i) {
        const float s = (i / 15.0f) * 2.0f;
        float sum = 0.0f;
        const float x[3] = {1.0f, 10.0f, 100.0f};
        for (int k = 0; k < 3; ++k) {
            const float w = std::max(0.0f, 1.0f - std::fabs(s - static_cast<float>(k)));
            sum += curveOf(t, w) * x[k];
        }
        EXPECT_TRUE(sameBits(bufs[kOut1][static_cast<size_t>(i)], sum)) << i;
    }
    EXPECT_EQ(static_cast<float*>(memory)[0], 5.0f);  // the foreign block is left alone
}

// ---------------------------------------------------------------- Morph1D

TEST(Morph1D, NoMixedInputsGivesSilence) {
    Driver d("Morph1D", "aeA", 48000.0f, 16);
    d.fill(kOut1, 7.0f);
    d.fill(kPos1, 0.4f);
    start(d, "aeA", kCurve1, 0);
    d.process();
    for (float v : d.out(kOut1, 16)) EXPECT_TRUE(sameBits(v, 0.0f));

    Driver d2("Morph2D", "aaeA", 48000.0f, 16);
    d2.fill(kOut2, 7.0f);
    d2.fill(kPos2, 0.4f);
    d2.fill(kFocus2, 0.5f);
    start(d2, "aaeA", -1, 0);
    d2.process();
    for (float v : d2.out(kOut2, 16)) EXPECT_TRUE(sameBits(v, 0.0f));
}

TEST(Morph1D, SingleInputPassesAtFullWeightWhateverThePosition) {
    for (int curve : {0, 1}) {
        Driver d("Morph1D", layout1(1), 48000.0f, 8);
        d.set(kPos1, {-1.0f, 0.0f, 0.3f, 0.5f, 1.0f, 2.0f, kNaN, kInf});
        d.set(kIn1, {0.1f, -0.2f, 0.3f, 0.4f, -0.5f, 0.6f, 0.7f, -0.8f});
        start(d, layout1(1), kCurve1, curve);
        d.process();
        EXPECT_EQ(d.out(kOut1, 8), d.out(kIn1, 8)) << "curve " << curve;
    }
}

TEST(Morph1D, ThreeInputsWeightsAtQuarterAndHalf) {
    const auto t = expectedTable();
    for (int curve : {0, 1}) {
        Driver d("Morph1D", layout1(3), 48000.0f, 4);
        d.set(kPos1, {0.0f, 0.25f, 0.5f, 1.0f});
        d.fill(kIn1, 1.0f);
        d.fill(kIn1 + 1, 10.0f);
        d.fill(kIn1 + 2, 100.0f);
        start(d, layout1(3), kCurve1, curve);
        d.process();
        const auto o = d.out(kOut1, 4);
        EXPECT_EQ(o[0], 1.0f);
        const float half = curve ? curveOf(t, 0.5f) : 0.5f;
        EXPECT_EQ(o[1], half * 1.0f + half * 10.0f);
        EXPECT_EQ(o[2], 10.0f);
        EXPECT_EQ(o[3], 100.0f);
        if (curve) {
            EXPECT_NEAR(half, 0.1824f, 1e-4f);
        }
    }
}

TEST(Morph1D, CurveIsOnUntilTheSelectorArrivesAndSwitchesAtItsSample) {
    const auto t = expectedTable();
    Driver d("Morph1D", layout1(2), 48000.0f, 16);
    d.fill(kPos1, 0.5f);
    d.fill(kIn1, 1.0f);
    d.fill(kIn1 + 1, 3.0f);
    start(d, layout1(2), -1, 0);  // no selector value yet
    d.process();
    const float curved = curveOf(t, 0.5f) * 1.0f + curveOf(t, 0.5f) * 3.0f;
    for (float v : d.out(kOut1, 16)) EXPECT_EQ(v, curved);

    d.events.addInt(5, kCurve1, 0);
    d.events.addInt(11, kCurve1, 3);  // any non-zero value curves
    d.process();
    const auto o = d.out(kOut1, 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(o[static_cast<size_t>(i)], i >= 5 && i < 11 ? 2.0f : curved) << i;
}

TEST(Morph1D, PositionIsClampedAndNaNPositionCountsAsZero) {
    Driver d("Morph1D", layout1(3), 48000.0f, 6);
    d.set(kPos1, {-0.5f, 1.5f, kNaN, kInf, -kInf, 1.0f});
    d.fill(kIn1, 1.0f);
    d.fill(kIn1 + 1, 10.0f);
    d.fill(kIn1 + 2, 100.0f);
    start(d, layout1(3), kCurve1, 0);
    d.process();
    EXPECT_EQ(d.out(kOut1, 6), (std::vector<float>{1.0f, 100.0f, 1.0f, 100.0f, 1.0f, 100.0f}));
}

TEST(Morph1D, NonFiniteSampleOnAnyInputIsHeardEvenAtWeightZero) {
    for (int curve : {0, 1}) {
        Driver d("Morph1D", layout1(3), 48000.0f, 4);
        d.fill(kPos1, 0.0f);  // input 0 only
        d.fill(kIn1, 1.0f);
        d.set(kIn1 + 2, {kNaN, kInf, -kInf, 0.0f});
        start(d, layout1(3), kCurve1, curve);
        d.process();
        const auto o = d.out(kOut1, 4);
        EXPECT_TRUE(std::isnan(o[0]));
        EXPECT_TRUE(std::isnan(o[1]));
        EXPECT_TRUE(std::isnan(o[2]));
        EXPECT_EQ(o[3], 1.0f);
    }
}

// Sweeps the position per sample over several blocks with events in between
// and compares every sample with the formula computed here.
TEST(Morph1D, MatchesTheFormulaAcrossSpansAndBlocks) {
    const auto t = expectedTable();
    const int n = 5;
    Driver d("Morph1D", layout1(n), 48000.0f, 32);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-0.2f, 1.2f), s(-1.0f, 1.0f);
    bool curve = true;
    for (int block = 0; block < 6; ++block) {
        for (int i = 0; i < 32; ++i) {
            d.buffer(kPos1)[i] = u(rng);
            for (int k = 0; k < n; ++k) d.buffer(kIn1 + k)[i] = s(rng);
        }
        if (block == 0) start(d, layout1(n), kCurve1, 1);
        const int change = 3 + block * 4;
        d.events.addInt(change, kCurve1, block % 2);
        d.process();
        for (int i = 0; i < 32; ++i) {
            if (i == change) curve = block % 2 != 0;
            float pos = d.buffer(kPos1)[i];
            pos = pos < 0.0f ? 0.0f : (pos > 1.0f ? 1.0f : pos);
            const float sp = pos * static_cast<float>(n - 1);
            float sum = 0.0f;
            for (int k = 0; k < n; ++k) {
                const float w = std::max(0.0f, 1.0f - std::fabs(sp - static_cast<float>(k)));
                sum += (curve ? curveOf(t, w) : w) * d.buffer(kIn1 + k)[i];
            }
            ASSERT_TRUE(sameBits(d.buffer(kOut1)[i], sum)) << "block " << block << " i " << i;
        }
    }
}

TEST(Morph1D, OutputStreamsWhileAnyInputStreamsAndSleepsWhenAllAreStatic) {
    Driver d("Morph1D", layout1(2), 48000.0f, 16);
    start(d, layout1(2), kCurve1, 0, false);
    d.process();
    auto s = d.rec.streamingOf(kOut1);
    ASSERT_EQ(s.size(), 2u);  // graph start publishes, the reaction settles
    EXPECT_TRUE(s[0].streaming);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 0);
    EXPECT_EQ(d.rec.sleepRequests(), 1);  // after one block of static output
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 0);

    d.rec.calls.clear();
    d.events.addStreaming(9, kIn1 + 1, true);  // the last mixed input wakes it
    d.process();
    d.events.addInt(3, kCurve1, 1);
    d.process();
    d.process();
    s = d.rec.streamingOf(kOut1);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 9);
    EXPECT_EQ(s[0].block, 1);
    EXPECT_TRUE(s[1].streaming);  // a selector change re-reports the OR
    EXPECT_EQ(s[1].offset, 3);
    EXPECT_EQ(d.rec.sleepRequests(), 0);

    d.rec.calls.clear();
    d.events.addStreaming(4, kIn1 + 1, false);
    d.process();
    d.process();
    s = d.rec.streamingOf(kOut1);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_FALSE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 4);
    // One block's worth of samples after offset 4, then sleep at the end of a block.
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 5);
}

// ---------------------------------------------------------------- Morph2D

// The weights as documented, for a reference mix.
std::vector<float> weights2(float x, float y, int n) {
    std::vector<float> w(static_cast<size_t>(n));
    const float nf = static_cast<float>(n);
    const float share = 1.0f / nf;
    const float p = x * nf;
    for (int k = n - 1; k >= 0; --k) {
        float pk = p;
        if (k == 0 && p > nf - 1.0f) pk = p - nf;
        const float t = 1.0f - std::fabs(pk - static_cast<float>(k));
        const float m = (t < 0.0f ? 0.0f : t * y) + 1.0f - y;
        w[static_cast<size_t>(k)] = m * y + share * m * (1.0f - y);
    }
    return w;
}

TEST(Morph2D, RingClosesAtFullPositionAndBlendsLastWithFirstBelowIt) {
    const auto t = expectedTable();
    for (int curve : {0, 1}) {
        Driver d("Morph2D", layout2(3), 48000.0f, 4);
        d.set(kPos2, {1.0f, 0.0f, 0.7f, 0.999f});
        d.fill(kFocus2, 1.0f);
        d.fill(kIn2, 1.0f);
        d.fill(kIn2 + 1, 10.0f);
        d.fill(kIn2 + 2, 100.0f);
        start(d, layout2(3), kCurve2, curve);
        d.process();
        const auto o = d.out(kOut2, 4);
        const float one = curve ? t[16383] : 1.0f;
        const float zero = curve ? t[0] : 0.0f;
        EXPECT_EQ(o[0], one * 1.0f + zero * 10.0f + zero * 100.0f);  // X = 1 is input 0
        EXPECT_EQ(o[1], o[0]);
        for (int i : {2, 3}) {
            const auto w = weights2(d.buffer(kPos2)[i], 1.0f, 3);
            EXPECT_GT(w[0], 0.0f);
            EXPECT_EQ(w[1], 0.0f);
            EXPECT_GT(w[2], 0.0f);
            float sum = 0.0f;
            for (int k = 0; k < 3; ++k)
                sum += (curve ? curveOf(t, w[k]) : w[k]) * d.buffer(kIn2 + k)[i];
            EXPECT_EQ(o[static_cast<size_t>(i)], sum) << i;
        }
    }
}

TEST(Morph2D, ZeroFocusMixesAllInputsEquallyWhateverThePosition) {
    Driver d("Morph2D", layout2(4), 48000.0f, 5);
    d.set(kPos2, {0.0f, 0.3f, 0.55f, 0.999f, 1.0f});
    d.set(kFocus2, {0.0f, 0.0f, -3.0f, kNaN, -kInf});
    const float x[4] = {1.0f, 2.0f, 4.0f, 8.0f};
    for (int k = 0; k < 4; ++k) d.fill(kIn2 + k, x[k]);
    start(d, layout2(4), kCurve2, 0);
    d.process();
    const float q = 1.0f / 4.0f;
    const float expected = 0.0f + q * 1.0f + q * 2.0f + q * 4.0f + q * 8.0f;
    for (float v : d.out(kOut2, 5)) EXPECT_EQ(v, expected);
}

TEST(Morph2D, SingleInputWeightFollowsPositionThroughTheRingWrap) {
    Driver d("Morph2D", layout2(1), 48000.0f, 6);
    d.set(kPos2, {0.0f, 0.3f, 0.5f, 0.75f, 1.0f, 2.0f});
    d.fill(kFocus2, 1.0f);
    d.fill(kIn2, 1.0f);
    start(d, layout2(1), kCurve2, 0);
    d.process();
    const auto o = d.out(kOut2, 6);
    EXPECT_EQ(o[0], 1.0f);
    // m = t*Y + 1 - Y rounds t once at Y = 1; the weight is then m.
    const float t03 = 1.0f - std::fabs((0.3f - 1.0f) - 0.0f);
    EXPECT_EQ(o[1], (t03 * 1.0f + 1.0f) - 1.0f);
    EXPECT_EQ(o[2], 0.5f);
    EXPECT_EQ(o[3], 0.75f);
    EXPECT_EQ(o[4], 1.0f);
    EXPECT_EQ(o[5], 1.0f);
}

TEST(Morph2D, NonFiniteSampleOnAnyInputIsHeard) {
    for (int curve : {0, 1}) {
        Driver d("Morph2D", layout2(3), 48000.0f, 3);
        d.fill(kPos2, 0.0f);
        d.fill(kFocus2, 1.0f);  // input 0 only
        d.fill(kIn2, 1.0f);
        d.set(kIn2 + 1, {kNaN, kInf, 0.0f});
        start(d, layout2(3), kCurve2, curve);
        d.process();
        const auto o = d.out(kOut2, 3);
        EXPECT_TRUE(std::isnan(o[0]));
        EXPECT_TRUE(std::isnan(o[1]));
        EXPECT_EQ(o[2], curve ? expectedTable()[16383] : 1.0f);
    }
}

// Position and focus held for stretches (cached weights) and moving per
// sample, across blocks, with the curve switched mid-block.
TEST(Morph2D, MatchesTheFormulaAcrossSpansAndBlocks) {
    const auto t = expectedTable();
    const int n = 4;
    Driver d("Morph2D", layout2(n), 48000.0f, 32);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-0.2f, 1.2f), s(-1.0f, 1.0f);
    bool curve = false;
    float x = 0.0f, y = 0.0f;
    for (int block = 0; block < 8; ++block) {
        for (int i = 0; i < 32; ++i) {
            if (rng() % 5 == 0) x = u(rng);  // mostly steady
            if (rng() % 7 == 0) y = u(rng);
            d.buffer(kPos2)[i] = x;
            d.buffer(kFocus2)[i] = y;
            for (int k = 0; k < n; ++k) d.buffer(kIn2 + k)[i] = s(rng);
        }
        if (block == 0) start(d, layout2(n), kCurve2, 0);
        const int change = 1 + block * 3;
        d.events.addInt(change, kCurve2, (block + 1) % 2);
        d.process();
        for (int i = 0; i < 32; ++i) {
            if (i == change) curve = (block + 1) % 2 != 0;
            auto clamp = [](float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); };
            const auto w = weights2(clamp(d.buffer(kPos2)[i]), clamp(d.buffer(kFocus2)[i]), n);
            float sum = 0.0f;
            for (int k = 0; k < n; ++k)
                sum += (curve ? curveOf(t, w[static_cast<size_t>(k)]) : w[static_cast<size_t>(k)]) *
                       d.buffer(kIn2 + k)[i];
            ASSERT_TRUE(sameBits(d.buffer(kOut2)[i], sum)) << "block " << block << " i " << i;
        }
    }
}

TEST(Morph2D, FocusStreamingKeepsTheOutputStreaming) {
    Driver d("Morph2D", layout2(2), 48000.0f, 16);
    d.events.addStreaming(0, kPos2, false);
    d.events.addStreaming(0, kFocus2, true);
    d.events.addStreaming(0, kIn2, false);
    d.events.addStreaming(0, kIn2 + 1, false);
    d.events.addGraphStart(0);
    d.process();
    d.events.addStreaming(6, kFocus2, false);
    d.process();
    d.process();
    d.process();
    const auto s = d.rec.streamingOf(kOut2);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_TRUE(s[1].streaming);
    EXPECT_FALSE(s[2].streaming);
    EXPECT_EQ(s[2].offset, 6);
    EXPECT_EQ(s[2].block, 1);
    // Static from 6 in block 1: a block's worth of samples later (6 into
    // block 2) it asks to sleep instead of computing the rest, and again in
    // every later block the driver still runs.
    ASSERT_EQ(d.rec.sleepRequests(), 2);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 2);
    EXPECT_EQ(d.rec.of(Call::Sleep)[1].block, 3);
}

}  // namespace
