// NoiseGen: seeded xorshift white and pink noise with a gate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int32_t kType = 0, kGate = 1, kSeed = 2, kOut = 3;

struct NoiseModel {
    uint32_t s = 0, c = 0;
    uint32_t rows[7] = {};
    void step() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
    }
    float white() {
        step();
        return static_cast<float>(static_cast<double>(s) / 4294967295.0 - 0.5);
    }
    float pink() {
        step();
        s %= 536870912u;
        for (int k = 0; k < 7; ++k)
            if (c % (2u << k) == 0) rows[k] = s;
        uint32_t sum = s;
        for (uint32_t r : rows) sum += r;
        c = (c + 1) % 256;
        return static_cast<float>(static_cast<double>(sum) * 2.0 / (8.0 * 536870911.0) - 1.0);
    }
};

void start(ztest::Driver& d, int type, bool gate, int seed) {
    d.events.addInt(0, kType, type);
    d.events.addBool(0, kGate, gate);
    d.events.addInt(0, kSeed, seed);
    d.events.addGraphStart(0);
}

std::vector<float> render(ztest::Driver& d, int blocks) {
    std::vector<float> out;
    for (int b = 0; b < blocks; ++b) {
        d.process();
        const auto o = d.out(kOut, d.blockSize());
        out.insert(out.end(), o.begin(), o.end());
    }
    return out;
}

TEST(NoiseGen, WhiteSeedOneSequence) {
    ztest::Driver d("NoiseGen", "ebiA", 48000.0f, 64);
    start(d, 0, true, 1);
    const auto out = render(d, 4);
    EXPECT_NEAR(out[0], -0.49993706f, 1e-8f);
    EXPECT_NEAR(out[1], -0.48425257f, 1e-8f);
    EXPECT_NEAR(out[2], 0.11640410f, 1e-8f);
    EXPECT_EQ(out[0], static_cast<float>(270369.0 / 4294967295.0 - 0.5));
    EXPECT_EQ(out[1], static_cast<float>(67634689.0 / 4294967295.0 - 0.5));
    EXPECT_EQ(out[2], static_cast<float>(2647435461.0 / 4294967295.0 - 0.5));
    NoiseModel m;
    m.s = 1;
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], m.white()) << i;
}

TEST(NoiseGen, WhiteRangeAndMoments) {
    ztest::Driver d("NoiseGen", "ebiA", 48000.0f, 1024);
    start(d, 0, true, 123456789);
    const auto out = render(d, 200);
    double sum = 0.0, sq = 0.0, lag = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_GE(out[i], -0.5f);
        ASSERT_LE(out[i], 0.5f);
        sum += out[i];
        sq += double(out[i]) * out[i];
        if (i > 0) lag += double(out[i]) * out[i - 1];
    }
    const double n = static_cast<double>(out.size());
    EXPECT_NEAR(sum / n, 0.0, 0.003);
    EXPECT_NEAR(sq / n, 1.0 / 12.0, 0.001);  // uniform on -0.5 .. 0.5
    EXPECT_NEAR(lag / sq, 0.0, 0.01);        // no memory from sample to sample
}

TEST(NoiseGen, PinkMatchesRowModelAndIsLowHeavy) {
    ztest::Driver d("NoiseGen", "ebiA", 48000.0f, 100);  // blocks not a multiple of 2^k
    start(d, 1, true, 987654);
    const auto out = render(d, 1000);
    NoiseModel m;
    m.s = 987654;
    double sq = 0.0, lag = 0.0, diffSq = 0.0, mean = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], m.pink()) << i;
        ASSERT_GE(out[i], -1.0f);
        ASSERT_LE(out[i], 1.0f);
        mean += out[i];
    }
    mean /= static_cast<double>(out.size());
    for (size_t i = 1; i < out.size(); ++i) {
        const double a = out[i] - mean, b = out[i - 1] - mean;
        sq += a * a;
        lag += a * b;
        diffSq += (a - b) * (a - b);
    }
    EXPECT_NEAR(mean, 0.0, 0.02);
    // Rows held over 2..128 samples: strong correlation between neighbours,
    // unlike white noise, and much less energy in the first difference.
    EXPECT_GT(lag / sq, 0.6);
    EXPECT_LT(diffSq / sq, 0.8);
}

TEST(NoiseGen, SeedZeroIsStuck) {
    ztest::Driver w("NoiseGen", "ebiA", 48000.0f, 64);
    start(w, 0, true, 0);
    for (float v : render(w, 2)) ASSERT_EQ(v, -0.5f);

    // No seed at all: the same. Pink reaches -1.0 once every row is overwritten.
    ztest::Driver p("NoiseGen", "ebiA", 48000.0f, 64);
    p.events.addInt(0, kType, 1);
    p.events.addBool(0, kGate, true);
    p.events.addGraphStart(0);
    const auto out = render(p, 3);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], -1.0f) << i;  // rows start at 0 too
}

TEST(NoiseGen, SwitchingReseedingAndReproducibility) {
    auto run = [](std::vector<float>* out) {
        ztest::Driver d("NoiseGen", "ebiA", 48000.0f, 64);
        start(d, 0, true, 42);
        d.events.addInt(10, kType, 3);  // pink from 10
        d.process();
        auto o = d.out(kOut, 64);
        out->insert(out->end(), o.begin(), o.end());
        d.events.addInt(30, kType, 0);   // white again
        d.events.addInt(50, kSeed, 42);  // re-seed
        d.process();
        o = d.out(kOut, 64);
        out->insert(out->end(), o.begin(), o.end());
    };
    std::vector<float> a, b;
    run(&a);
    run(&b);
    EXPECT_EQ(a, b);

    NoiseModel m;
    m.s = 42;
    for (int i = 0; i < 128; ++i) {
        if (i == 114) m.s = 42;
        const float want = (i >= 10 && i < 94) ? m.pink() : m.white();
        ASSERT_EQ(a[i], want) << i;
    }
    // The re-seed restarts the white sequence exactly.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(a[114 + i], a[i]);
}

TEST(NoiseGen, GateSilencesStreamsAndSleeps) {
    ztest::Driver d("NoiseGen", "ebiA", 48000.0f, 64);
    start(d, 0, true, 7);
    d.events.addBool(40, kGate, false);
    d.process();
    NoiseModel m;
    m.s = 7;
    for (int i = 0; i < 40; ++i) EXPECT_EQ(d.buffer(kOut)[i], m.white());
    for (int i = 40; i < 64; ++i) EXPECT_EQ(d.buffer(kOut)[i], 0.0f);
    auto st = d.rec.streamingOf(kOut);
    ASSERT_EQ(st.size(), 3u);  // graph start, gate on, gate off
    EXPECT_TRUE(st[1].streaming);
    EXPECT_FALSE(st[2].streaming);
    EXPECT_EQ(st[2].offset, 40);

    // A type change while off waits for the gate; the instance sleeps one host
    // block after the output went quiet.
    d.events.addInt(3, kType, 1);
    d.fill(kOut, 5.0f);
    d.process();
    for (int i = 0; i < 40; ++i) EXPECT_EQ(d.buffer(kOut)[i], 0.0f);
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(ztest::Call::Sleep)[0].block, 1);

    d.events.addBool(20, kGate, true);
    d.process();
    for (int i = 20; i < 64; ++i) EXPECT_EQ(d.buffer(kOut)[i], m.pink()) << i;
    st = d.rec.streamingOf(kOut);
    ASSERT_EQ(st.size(), 4u);
    EXPECT_TRUE(st[3].streaming);
    EXPECT_EQ(st[3].offset, 20);
    EXPECT_EQ(d.rec.sleepRequests(), 1);
}

TEST(NoiseGen, OutputIsDefinedWithoutAGateEvent) {
    ztest::Driver d("NoiseGen", "ebiA", 48000.0f, 64);
    d.fill(kOut, 3.0f);
    d.events.addInt(0, kSeed, 5);
    d.events.addGraphStart(0);
    d.process();
    for (float v : d.out(kOut, 64)) EXPECT_EQ(v, 0.0f);
}

}  // namespace
