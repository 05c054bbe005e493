// ShortConv: the convolution against a plain evaluation of the ring's sums,
// kernel blobs of every awkward size, the hold after a steady input, and the
// streaming and sleep reports around it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

constexpr int kIn = 0, kKernel = 1, kOut = 2;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void sendKernel(Driver& d, int time, const std::vector<float>& taps) {
    d.events.add(time, mp::EVENT_PIN_SET, kKernel, taps.data(),
                 static_cast<int32_t>(taps.size() * sizeof(float)));
}

void sendBytes(Driver& d, int time, const std::vector<unsigned char>& bytes) {
    d.events.add(time, mp::EVENT_PIN_SET, kKernel, bytes.empty() ? nullptr : bytes.data(),
                 static_cast<int32_t>(bytes.size()));
}

// y[t] = sum over j of h[j] * x[t - j], added in the order the ring receives
// them: the oldest input first, so h[L-1] first and h[0] last. Inputs from
// before the kernel arrived (index < from) are not part of the sum.
float reference(const std::vector<float>& h, const std::vector<float>& x, size_t t, size_t from) {
    float sum = 0.0f;
    for (size_t jj = h.size(); jj-- > 0;) {
        if (t < from + jj) continue;
        sum += h[jj] * x[t - jj];
    }
    return sum;
}

std::vector<float> randomTaps(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> h(n);
    for (float& v : h) v = u(rng);
    return h;
}

// Streams `blocks` blocks of random input through a kernel sent with the
// first block and checks every output sample against the plain sum.
void checkAgainstReference(const std::vector<float>& sent, size_t usedTaps, int blocks) {
    const std::vector<float> h(sent.begin(), sent.begin() + static_cast<long>(usedTaps));
    Driver d("ShortConv", "axA", 48000.0f, 64);
    std::mt19937 rng(static_cast<unsigned>(sent.size()));
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x;
    sendKernel(d, 0, sent);
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < 64; ++i) {
            const float v = u(rng);
            d.buffer(kIn)[i] = v;
            x.push_back(v);
        }
        d.process();
        for (int i = 0; i < 64; ++i) {
            const size_t t = static_cast<size_t>(b * 64 + i);
            ASSERT_TRUE(sameBits(d.buffer(kOut)[i], reference(h, x, t, 0)))
                << sent.size() << " taps, sample " << t << ": " << d.buffer(kOut)[i] << " vs "
                << reference(h, x, t, 0);
        }
    }
    EXPECT_EQ(d.rec.sleepRequests(), 0);
}

TEST(ShortConv, WithoutAKernelPassesTheInputThrough) {
    Driver d("ShortConv", "axA", 48000.0f, 16);
    d.set(kIn, {0.5f, -1.0f, 3.0f, kNaN, 1e-30f, -0.0f, 7.0f, 2.0f});
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    d.process();
    for (int i = 0; i < 16; ++i) {
        // -0 comes out as +0: the ring entry starts at +0 and takes the sample.
        const float want = d.buffer(kIn)[i] == 0.0f ? 0.0f : d.buffer(kIn)[i];
        EXPECT_TRUE(sameBits(d.buffer(kOut)[i], want) ||
                    (std::isnan(want) && std::isnan(d.buffer(kOut)[i])))
            << i;
    }
}

TEST(ShortConv, KernelZeroZeroOneDelaysByTwoSamplesAcrossBlocks) {
    Driver d("ShortConv", "axA", 48000.0f, 8);
    sendKernel(d, 0, {0.0f, 0.0f, 1.0f});
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    d.set(kIn, {1, 2, 3, 4, 5, 6, 7, 8});
    d.process();
    EXPECT_EQ(d.out(kOut, 8), (std::vector<float>{0, 0, 1, 2, 3, 4, 5, 6}));
    d.set(kIn, {9, 10, 11, 12, 13, 14, 15, 16});
    d.process();
    EXPECT_EQ(d.out(kOut, 8), (std::vector<float>{7, 8, 9, 10, 11, 12, 13, 14}));
}

// Bit-exact against the plain sum: this is what holds the vectorised ring
// loops to the scalar order of additions.
TEST(ShortConv, MatchesThePlainSumForKernelsOfOneTwoThreeAndOddLengths) {
    for (size_t n : {1u, 2u, 3u, 7u, 8u, 9u, 17u, 63u, 100u})
        checkAgainstReference(randomTaps(n, static_cast<unsigned>(n)), n, 6);
}

TEST(ShortConv, MatchesThePlainSumWithTheLongestKernel) {
    checkAgainstReference(randomTaps(1024, 1), 1024, 20);  // the ring wraps
}

TEST(ShortConv, ExtraTapsBeyondTheLongestKernelAreIgnored) {
    checkAgainstReference(randomTaps(1025, 2), 1024, 20);
}

TEST(ShortConv, BlobSizesThatAreNotWholeFloatsDropTheirTrailingBytes) {
    // 6 bytes: one tap (the first float). 13 bytes: three taps.
    const std::vector<float> taps = {0.5f, 0.25f, 2.0f, 100.0f};
    for (size_t bytes : {6u, 13u, 3u}) {
        Driver d("ShortConv", "axA", 48000.0f, 8);
        std::vector<unsigned char> raw(bytes);
        std::memcpy(raw.data(), taps.data(), bytes);
        sendBytes(d, 0, raw);
        d.events.addStreaming(0, kIn, true);
        d.events.addGraphStart(0);
        d.set(kIn, {1, 0, 0, 0, 3, 0, 0, 0});
        d.process();
        std::vector<float> want;
        if (bytes == 6) want = {0.5f, 0, 0, 0, 1.5f, 0, 0, 0};
        if (bytes == 13) want = {0.5f, 0.25f, 2.0f, 0, 1.5f, 0.75f, 6.0f, 0};
        if (bytes == 3) want = {1, 0, 0, 0, 3, 0, 0, 0};  // under one float: pass-through
        EXPECT_EQ(d.out(kOut, 8), want) << bytes << " bytes";
    }
}

TEST(ShortConv, KernelChangeMidBlockStartsFromAnEmptyRing) {
    Driver d("ShortConv", "axA", 48000.0f, 16);
    const std::vector<float> h1 = {0.5f, 0.25f, 0.125f};
    const std::vector<float> h2 = {1.0f, -1.0f};
    sendKernel(d, 0, h1);
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    sendKernel(d, 6, h2);
    // Same size: the blob keeps its storage, the taps change in place.
    const std::vector<float> h3 = {-0.5f, 4.0f};
    sendKernel(d, 11, h3);
    std::vector<float> x(16);
    for (int i = 0; i < 16; ++i) x[static_cast<size_t>(i)] = static_cast<float>(i + 1);
    d.set(kIn, x);
    d.process();
    for (size_t t = 0; t < 16; ++t) {
        const float want = t < 6    ? reference(h1, x, t, 0)
                           : t < 11 ? reference(h2, x, t, 6)
                                    : reference(h3, x, t, 11);
        EXPECT_EQ(d.buffer(kOut)[t], want) << t;
    }
}

TEST(ShortConv, EmptyBlobRestoresPassThroughWithoutLeftovers) {
    Driver d("ShortConv", "axA", 48000.0f, 16);
    sendKernel(d, 0, {0.0f, 1.0f, 1.0f});
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    sendBytes(d, 6, {});  // ring position 0 here: entry 0 holds the next partial sum
    d.fill(kIn, 1.0f);
    d.process();
    const auto o = d.out(kOut, 16);
    EXPECT_EQ(o[0], 0.0f);
    EXPECT_EQ(o[1], 1.0f);
    for (int i = 2; i < 6; ++i) EXPECT_EQ(o[static_cast<size_t>(i)], 2.0f) << i;
    for (int i = 6; i < 16; ++i) EXPECT_EQ(o[static_cast<size_t>(i)], 1.0f) << i;
}

TEST(ShortConv, NaNInputPoisonsOnlyTheOutputsItReaches) {
    Driver d("ShortConv", "axA", 48000.0f, 16);
    const std::vector<float> h = {1.0f, 2.0f, 3.0f};
    sendKernel(d, 0, h);
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    d.fill(kIn, 1.0f);
    d.buffer(kIn)[5] = kNaN;
    d.process();
    const auto o = d.out(kOut, 16);
    for (int i = 0; i < 16; ++i) {
        if (i >= 5 && i <= 7) {
            EXPECT_TRUE(std::isnan(o[static_cast<size_t>(i)])) << i;
        } else {
            EXPECT_EQ(o[static_cast<size_t>(i)], i == 0 ? 1.0f : (i == 1 ? 3.0f : 6.0f)) << i;
        }
    }
}

TEST(ShortConv, SteadyInputIsHeldOnceTheWholeKernelSeesIt) {
    Driver d("ShortConv", "axA", 48000.0f, 64);
    sendKernel(d, 0, {0.5f, 0.5f});
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    const int t0 = 20;
    const float v = 0.75f;
    std::vector<float> x(64);
    for (int i = 0; i < 64; ++i)
        x[static_cast<size_t>(i)] = i < t0 ? 0.01f * static_cast<float>(i) : v;
    d.set(kIn, x);
    d.events.addStreaming(t0, kIn, false);
    d.process();
    auto o = d.out(kOut, 64);
    EXPECT_EQ(o[t0], 0.5f * x[t0 - 1] + 0.5f * v);
    for (int i = t0 + 1; i < 64; ++i) EXPECT_EQ(o[static_cast<size_t>(i)], v) << i;
    auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 4u);  // publish, first reaction, reaction to the stop, the hold
    EXPECT_TRUE(s[2].streaming);
    EXPECT_EQ(s[2].offset, t0);
    EXPECT_FALSE(s[3].streaming);
    EXPECT_EQ(s[3].offset, t0 + 1);
    EXPECT_EQ(d.rec.sleepRequests(), 0);

    // The hold ignores the buffer (a static input holds one value anyway) and
    // the instance asks to sleep after one more block.
    d.fill(kIn, -5.0f);
    d.fill(kOut, 9.0f);
    d.process();
    for (float y : d.out(kOut, 64)) EXPECT_EQ(y, v);
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 1);

    // The input streams again at 5: the ring carries on from the steady state.
    d.rec.calls.clear();
    d.fill(kIn, v);
    for (int i = 5; i < 64; ++i) d.buffer(kIn)[i] = 0.125f * static_cast<float>(i % 3);
    d.events.addStreaming(5, kIn, true);
    d.process();
    o = d.out(kOut, 64);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(o[static_cast<size_t>(i)], v) << i;
    EXPECT_EQ(o[5], 0.5f * v + 0.5f * d.buffer(kIn)[5]);
    for (int i = 6; i < 64; ++i)
        EXPECT_EQ(o[static_cast<size_t>(i)], 0.5f * d.buffer(kIn)[i - 1] + 0.5f * d.buffer(kIn)[i])
            << i;
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 5);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
}

TEST(ShortConv, StaticFromTheStartHoldsTheFullResponseAfterKernelLength) {
    Driver d("ShortConv", "axA", 48000.0f, 16);
    sendKernel(d, 0, {1.0f, 2.0f, 3.0f});
    d.events.addStreaming(0, kIn, false);
    d.events.addGraphStart(0);
    d.fill(kIn, 2.0f);
    d.process();
    EXPECT_EQ(d.out(kOut, 16),
              (std::vector<float>{2, 6, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12}));
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_FALSE(s.empty());
    EXPECT_FALSE(s.back().streaming);
    EXPECT_EQ(s.back().offset, 2);
}

// A stop and a longer kernel in one group: the hold must wait for the new
// kernel's full length, not the old one's.
TEST(ShortConv, KernelChangeWhileSteadyWaitsForTheNewLength) {
    Driver d("ShortConv", "axA", 48000.0f, 32);
    sendKernel(d, 0, {1.0f, 1.0f});
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    d.events.addStreaming(10, kIn, false);
    sendKernel(d, 10, {1.0f, 2.0f, 3.0f, 4.0f});
    d.fill(kIn, 1.0f);
    d.process();
    const auto o = d.out(kOut, 32);
    EXPECT_EQ(o[10], 1.0f);
    EXPECT_EQ(o[11], 3.0f);
    EXPECT_EQ(o[12], 6.0f);
    for (int i = 13; i < 32; ++i) EXPECT_EQ(o[static_cast<size_t>(i)], 10.0f) << i;
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_FALSE(s.empty());
    EXPECT_FALSE(s.back().streaming);
    EXPECT_EQ(s.back().offset, 13);

    // A shorter kernel while steady: its response is complete within what is
    // left of the running count, which therefore stands.
    Driver c("ShortConv", "axA", 48000.0f, 32);
    sendKernel(c, 0, std::vector<float>(8, 1.0f));
    c.events.addStreaming(0, kIn, true);
    c.events.addGraphStart(0);
    c.events.addStreaming(10, kIn, false);
    sendKernel(c, 12, {1.0f, 1.0f});
    c.fill(kIn, 1.0f);
    c.process();
    const auto co = c.out(kOut, 32);
    EXPECT_EQ(co[12], 1.0f);
    for (int i = 13; i < 32; ++i) EXPECT_EQ(co[static_cast<size_t>(i)], 2.0f) << i;
    const auto cs = c.rec.streamingOf(kOut);
    ASSERT_FALSE(cs.empty());
    EXPECT_FALSE(cs.back().streaming);
    EXPECT_EQ(cs.back().offset, 17);

    // While held, a new kernel waits for the input's next streaming event.
    Driver h("ShortConv", "axA", 48000.0f, 8);
    sendKernel(h, 0, {1.0f, 1.0f});
    h.events.addStreaming(0, kIn, false);
    h.events.addGraphStart(0);
    h.fill(kIn, 1.0f);
    h.process();
    sendKernel(h, 2, {5.0f});
    h.process();
    for (float y : h.out(kOut, 8)) EXPECT_EQ(y, 2.0f);
    h.events.addStreaming(3, kIn, true);
    h.process();
    EXPECT_EQ(h.out(kOut, 8), (std::vector<float>{2, 2, 2, 5, 5, 5, 5, 5}));
}

TEST(ShortConv, WritesNothingBeforeTheSignalStateIsKnown) {
    Driver d("ShortConv", "axA", 48000.0f, 8);
    d.fill(kOut, 9.0f);
    d.fill(kIn, 1.0f);
    d.events.addGraphStart(0);
    d.process();
    for (float y : d.out(kOut, 8)) EXPECT_EQ(y, 9.0f);
}

}  // namespace
