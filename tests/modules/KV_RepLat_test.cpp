// Latency report: audio passes unchanged, the latency reaches the host's
// second interface (clamped at 0), streaming follows the input.
#include <gtest/gtest.h>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

enum { kIn = 0, kLatency = 1, kOut = 2 };

std::vector<int32_t> latencies(const Driver& d) {
    std::vector<int32_t> r;
    for (const Call& c : d.rec.of(Call::Latency)) r.push_back(c.pin);
    return r;
}

TEST(KV_RepLat, PassesAudioAndReportsLatency) {
    Driver d("KV_RepLat", "aiA", 48000.0f, 8);
    d.events.addInt(0, kLatency, 128);
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    const std::vector<float> x{0.5f, -1.0f, 3.0f, 0.0f, -0.0f, 1e-40f, 7.0f, -7.0f};
    d.set(kIn, x);
    d.process();
    EXPECT_EQ(d.out(kOut, 8), x);
    EXPECT_EQ(latencies(d), (std::vector<int32_t>{128}));
    EXPECT_EQ(d.instance().host().latency(), 128);

    // Mid-block updates are passed on; a negative latency is reported as 0.
    d.events.addInt(3, kLatency, -20);
    d.events.addInt(6, kLatency, 7);
    d.process();
    EXPECT_EQ(latencies(d), (std::vector<int32_t>{128, 0, 7}));
    EXPECT_EQ(d.instance().host().latency(), 7);
    EXPECT_EQ(d.out(kOut, 8), x);
}

// A host offering only the main interface.
class MainOnlyHost final : public mp::IMpHost {
public:
    explicit MainOnlyHost(zhost::InstanceHost& h) : h_(h) {}
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override {
        if (iid == mp::kIID_IMpUnknown || iid == mp::kIID_IMpHost) {
            *out = this;
            return mp::MP_OK;
        }
        *out = nullptr;
        return mp::MP_NOSUPPORT;
    }
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    int32_t sendPinValue(int32_t o, int32_t p, int32_t s, const void* d) override {
        return h_.sendPinValue(o, p, s, d);
    }
    int32_t sendPinStreaming(int32_t o, int32_t p, bool s) override {
        return h_.sendPinStreaming(o, p, s);
    }
    int32_t requestSleep() override { return h_.requestSleep(); }
    int32_t postGuiMessage(int32_t i, int32_t s, const void* d) override {
        return h_.postGuiMessage(i, s, d);
    }
    int32_t readBlockSize(int32_t* n) override { return h_.readBlockSize(n); }
    int32_t readSampleRate(float* r) override { return h_.readSampleRate(r); }
    int32_t readHostId(int32_t m, char16_t* t) override { return h_.readHostId(m, t); }
    int32_t readHostVersion(int32_t* v) override { return h_.readHostVersion(v); }
    int32_t readRegisteredName(int32_t m, char16_t* t) override {
        return h_.readRegisteredName(m, t);
    }
    int32_t isEditor(int32_t* y) override { return h_.isEditor(y); }
    int32_t openPinIterator(mp::IMpPinIterator** o) override { return h_.openPinIterator(o); }
    int32_t readHandle(int32_t* h) override { return h_.readHandle(h); }
    int32_t resolveFilename(const char16_t* n, int32_t m, char16_t* o) override {
        return h_.resolveFilename(n, m, o);
    }
    int32_t requestSharedTable(const char16_t* k, void** m, float r, int32_t s,
                               int32_t* n) override {
        return h_.requestSharedTable(k, m, r, s, n);
    }

private:
    zhost::InstanceHost& h_;
};

TEST(KV_RepLat, WithoutTheSecondHostInterfaceReportsNothingAndStillPasses) {
    std::unique_ptr<MainOnlyHost> host;
    Driver d("KV_RepLat", "aiA", 48000.0f, 4);
    host = std::make_unique<MainOnlyHost>(d.instance().host());
    ASSERT_EQ(d.plugin()->attachHost(host.get()), mp::MP_OK);
    d.events.addInt(0, kLatency, 64);
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    d.set(kIn, {1.0f, 2.0f, 3.0f, 4.0f});
    d.process();
    EXPECT_EQ(d.out(kOut, 4), (std::vector<float>{1.0f, 2.0f, 3.0f, 4.0f}));
    EXPECT_TRUE(latencies(d).empty());
    EXPECT_EQ(d.instance().host().latency(), 0);
    EXPECT_FALSE(d.rec.streamingOf(kOut).empty());  // the main interface still works
}

TEST(KV_RepLat, StreamingFollowsTheInputAndSleepsWhenStatic) {
    Driver d("KV_RepLat", "aiA", 48000.0f, 16);
    d.events.addInt(0, kLatency, 0);
    d.events.addStreaming(0, kIn, false);
    d.events.addGraphStart(0);
    d.fill(kIn, 0.25f);
    d.process();
    auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_TRUE(s[0].streaming);  // graph start
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 0);
    EXPECT_EQ(d.out(kOut, 16), std::vector<float>(16, 0.25f));
    EXPECT_EQ(latencies(d), (std::vector<int32_t>{0}));
    // The report came at 0, so this block's samples complete the countdown.
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 0);

    d.rec.calls.clear();
    d.events.addStreaming(9, kIn, true);
    d.process();
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 9);
    d.events.addStreaming(2, kIn, false);
    d.process();
    s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 2);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
}

}  // namespace
