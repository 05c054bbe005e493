// The graph engine driving real modules from the built library: event timing,
// graph start, streaming routing, sleep, sources and wiring errors.
#include "host/graph.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using zhost::Graph;
using zhost::TracedEvent;

std::vector<unsigned char> f32(float v) {
    std::vector<unsigned char> b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}

struct Run {
    std::vector<float> out;
};

// Runs `samples` samples in blocks and collects one audio pin.
std::vector<float> render(Graph& g, int32_t node, int32_t pin, int64_t samples) {
    std::vector<float> out;
    while (g.position() < samples) {
        const int32_t n =
            static_cast<int32_t>(std::min<int64_t>(g.blockSize(), samples - g.position()));
        g.runBlock(n);
        const float* b = g.audio(node, pin);
        out.insert(out.end(), b, b + n);
    }
    return out;
}

std::vector<TracedEvent> eventsOf(const Graph& g, int32_t node, int64_t blockStart = -1) {
    std::vector<TracedEvent> r;
    for (const TracedEvent& e : g.trace()) {
        if (e.node == node && (blockStart < 0 || e.blockStart == blockStart)) r.push_back(e);
    }
    return r;
}

bool has(const std::vector<TracedEvent>& ev, int32_t time, int32_t type, int32_t pin) {
    for (const auto& e : ev) {
        if (e.time == time && e.type == type && e.pin == pin) return true;
    }
    return false;
}

TEST(Graph, FirstBlockSendsValuesThenGraphStartAtTimeZero) {
    Graph g(ztest::library(), 48000.0f, 64);
    std::string err;
    const int32_t dc = g.addInstance("dc", "DC_Blocker", 0, &err);
    ASSERT_GE(dc, 0) << err;
    ASSERT_TRUE(g.setInitial(dc, 1, f32(0.5f), &err)) << err;
    ASSERT_TRUE(g.setInitial(dc, 0, f32(0.25f), &err)) << err;
    ASSERT_TRUE(g.prepare(&err)) << err;
    g.setTracing(true);
    g.runBlock(64);
    g.runBlock(64);
    const auto ev = eventsOf(g, dc);
    ASSERT_EQ(ev.size(), 3u);  // nothing in the second block
    for (const auto& e : ev) {
        EXPECT_EQ(e.time, 0);
        EXPECT_EQ(e.blockStart, 0);
    }
    // Control value, then the unconnected audio input's streaming stop, then graph start.
    EXPECT_EQ(ev[0].type, mp::EVENT_PIN_SET);
    EXPECT_EQ(ev[0].pin, 1);
    EXPECT_EQ(ev[0].value, f32(0.5f));
    EXPECT_EQ(ev[1].type, mp::EVENT_PIN_STREAMING_STOP);
    EXPECT_EQ(ev[1].pin, 0);
    EXPECT_EQ(ev[2].type, mp::EVENT_GRAPH_START);
    // The constant input is in the buffer: a DC blocker's first sample is x itself.
    EXPECT_EQ(g.audio(dc, 0)[0], 0.25f);
}

TEST(Graph, TimedConstantChangeLandsAtItsSampleAndPersists) {
    Graph g(ztest::library(), 48000.0f, 64);
    std::string err;
    const int32_t d = g.addInstance("d", "Derivator", 0, &err);
    ASSERT_GE(d, 0) << err;
    ASSERT_TRUE(g.addChange(100, d, 0, f32(1.0f), &err)) << err;   // block 1, offset 36
    ASSERT_TRUE(g.addChange(200, d, 0, f32(-1.0f), &err)) << err;  // block 3, offset 8
    ASSERT_TRUE(g.prepare(&err)) << err;
    g.setTracing(true);
    const std::vector<float> y = render(g, d, 1, 320);
    for (size_t i = 0; i < y.size(); ++i) {
        const float want = i == 100 ? 1.0f : i == 200 ? -2.0f : 0.0f;
        ASSERT_EQ(y[i], want) << "sample " << i;
    }
    EXPECT_TRUE(has(eventsOf(g, d, 64), 36, mp::EVENT_PIN_STREAMING_STOP, 0));
    EXPECT_TRUE(has(eventsOf(g, d, 192), 8, mp::EVENT_PIN_STREAMING_STOP, 0));
}

TEST(Graph, StreamingReportReachesDownstreamAtSameOffsetInSameBlock) {
    Graph g(ztest::library(), 48000.0f, 64);
    std::string err;
    const int32_t dc = g.addInstance("dc", "DC_Blocker", 0, &err);
    const int32_t d = g.addInstance("d", "Derivator", 0, &err);
    ASSERT_GE(d, 0) << err;
    ASSERT_TRUE(g.connect(dc, 2, d, 0, &err)) << err;
    ASSERT_TRUE(g.setInitial(dc, 1, f32(0.0f), &err)) << err;  // R = 0: a first difference
    ASSERT_TRUE(g.addChange(100, dc, 0, f32(1.0f), &err)) << err;
    ASSERT_TRUE(g.prepare(&err)) << err;
    g.setTracing(true);
    const std::vector<float> y = render(g, d, 1, 256);
    // The blocker goes streaming at the step and static one sample later;
    // the derivator sees both at those offsets of block 64..127.
    const auto ev = eventsOf(g, d, 64);
    EXPECT_TRUE(has(ev, 36, mp::EVENT_PIN_STREAMING_START, 0));
    EXPECT_TRUE(has(ev, 37, mp::EVENT_PIN_STREAMING_STOP, 0));
    // Graph start: the blocker's output publishes streaming at 0, downstream.
    EXPECT_TRUE(has(eventsOf(g, d, 0), 0, mp::EVENT_PIN_STREAMING_START, 0));
    // The wired input shares the blocker's buffer: d(x - x1) of an impulse.
    EXPECT_EQ(y[100], 1.0f);
    EXPECT_EQ(y[101], -1.0f);
    EXPECT_EQ(y[102], 0.0f);
}

TEST(Graph, SleepingInstanceIsSkippedUntilAnEventWakesIt) {
    Graph g(ztest::library(), 48000.0f, 32);
    std::string err;
    const int32_t d = g.addInstance("d", "Derivator", 0, &err);
    ASSERT_GE(d, 0) << err;
    ASSERT_TRUE(g.addChange(1000, d, 0, f32(0.5f), &err)) << err;
    ASSERT_TRUE(g.prepare(&err)) << err;
    const std::vector<float> y = render(g, d, 1, 32 * 20);
    EXPECT_TRUE(g.asleep(d));
    const auto before = g.stats(d);
    EXPECT_GE(before.sleepRequests, 1);
    EXPECT_GT(before.blocksAsleep, 10);  // settles at once and sleeps after one block
    const std::vector<float> z = render(g, d, 1, 32 * 40);
    // Woken exactly in the block holding sample 1000; the impulse is on time.
    EXPECT_EQ(z[1000 - 640], 0.5f);
    EXPECT_EQ(z[1001 - 640], 0.0f);
    EXPECT_GT(g.stats(d).blocksProcessed, before.blocksProcessed);
    EXPECT_TRUE(g.asleep(d));  // and asleep again afterwards
    for (float v : y) EXPECT_EQ(v, 0.0f);
}

// The graph passes over a sleeping instance without looking at it; an
// upstream report must still wake it inside the block, at its offset, and
// every block is counted as either processed or slept through.
TEST(Graph, SleepingChainIsWokenFromUpstreamWithinTheBlock) {
    Graph g(ztest::library(), 48000.0f, 64);
    std::string err;
    const int32_t dc = g.addInstance("dc", "DC_Blocker", 0, &err);
    const int32_t d = g.addInstance("d", "Derivator", 0, &err);
    ASSERT_GE(d, 0) << err;
    ASSERT_TRUE(g.connect(dc, 2, d, 0, &err)) << err;
    ASSERT_TRUE(g.setInitial(dc, 1, f32(0.0f), &err)) << err;
    ASSERT_TRUE(g.addChange(5000, dc, 0, f32(1.0f), &err)) << err;
    ASSERT_TRUE(g.addChange(5001, dc, 0, f32(0.0f), &err)) << err;
    ASSERT_TRUE(g.prepare(&err)) << err;
    const std::vector<float> before = render(g, d, 1, 4992);
    EXPECT_TRUE(g.asleep(dc));
    EXPECT_TRUE(g.asleep(d));
    EXPECT_GT(g.stats(d).blocksAsleep, 70);
    const std::vector<float> y = render(g, d, 1, 64 * 100);
    for (float v : before) EXPECT_EQ(v, 0.0f);
    // Block 78 holds 4992..5055: the blocker passes the impulse and its
    // difference; the derivator turns that into 1, -2, 1.
    const size_t at = 5000 - 4992;
    EXPECT_EQ(y[at - 1], 0.0f);
    EXPECT_EQ(y[at], 1.0f);
    EXPECT_EQ(y[at + 1], -2.0f);
    EXPECT_EQ(y[at + 2], 1.0f);
    EXPECT_EQ(y[at + 3], 0.0f);
    EXPECT_TRUE(g.asleep(dc));
    EXPECT_TRUE(g.asleep(d));
    for (int32_t node : {dc, d}) {
        const auto s = g.stats(node);
        EXPECT_EQ(s.blocksProcessed + s.blocksAsleep, 100) << node;
        EXPECT_LT(s.blocksProcessed, 10) << node;
    }
}

TEST(Graph, SourceReportsStreamingAtItsStartAndStopAtItsEnd) {
    Graph g(ztest::library(), 48000.0f, 64);
    std::string err;
    std::vector<float> samples = {0.5f, 1.0f, 0.25f, -0.5f};
    const int32_t src = g.addSource("s", {samples}, 70, &err);
    const int32_t d = g.addInstance("d", "Derivator", 0, &err);
    ASSERT_GE(d, 0) << err;
    ASSERT_TRUE(g.connect(src, 0, d, 0, &err)) << err;
    ASSERT_TRUE(g.prepare(&err)) << err;
    g.setTracing(true);
    const std::vector<float> y = render(g, d, 1, 192);
    EXPECT_TRUE(has(eventsOf(g, d, 0), 0, mp::EVENT_PIN_STREAMING_STOP, 0));
    EXPECT_TRUE(has(eventsOf(g, d, 64), 6, mp::EVENT_PIN_STREAMING_START, 0));
    EXPECT_TRUE(has(eventsOf(g, d, 64), 10, mp::EVENT_PIN_STREAMING_STOP, 0));
    const std::vector<float> want = {0.5f, 0.5f, -0.75f, -0.75f, 0.5f, 0.0f};
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(y[70 + i], want[i]) << i;
    EXPECT_EQ(y[69], 0.0f);
}

TEST(Graph, RejectsBadWiresAndCycles) {
    Graph g(ztest::library(), 48000.0f, 64);
    std::string err;
    const int32_t a = g.addInstance("a", "Derivator", 0, &err);
    const int32_t b = g.addInstance("b", "Derivator", 0, &err);
    const int32_t dc = g.addInstance("dc", "DC_Blocker", 0, &err);
    ASSERT_GE(dc, 0) << err;
    EXPECT_FALSE(g.connect(a, 0, b, 0, &err));   // from an input
    EXPECT_FALSE(g.connect(a, 1, b, 1, &err));   // to an output
    EXPECT_FALSE(g.connect(a, 1, dc, 1, &err));  // audio into float
    EXPECT_NE(err.find("float"), std::string::npos) << err;
    EXPECT_FALSE(g.connect(a, 1, a, 0, &err));  // onto itself
    ASSERT_TRUE(g.connect(a, 1, b, 0, &err)) << err;
    EXPECT_FALSE(g.connect(dc, 2, b, 0, &err));  // second wire into one audio input
    EXPECT_NE(err.find("one wire"), std::string::npos) << err;
    EXPECT_LT(g.addInstance("x", "NoSuchModule", 0, &err), 0);
    EXPECT_LT(g.addInstance("a", "Derivator", 0, &err), 0);  // duplicate name
    ASSERT_TRUE(g.connect(b, 1, a, 0, &err)) << err;
    EXPECT_FALSE(g.prepare(&err));
    EXPECT_NE(err.find("cycle"), std::string::npos) << err;
}

TEST(Graph, ValueChangeOnAWiredAudioInputIsRefused) {
    Graph g(ztest::library(), 48000.0f, 64);
    std::string err;
    const int32_t a = g.addInstance("a", "Derivator", 0, &err);
    const int32_t b = g.addInstance("b", "Derivator", 0, &err);
    ASSERT_TRUE(g.connect(a, 1, b, 0, &err)) << err;
    ASSERT_TRUE(g.addChange(10, b, 0, f32(1.0f), &err)) << err;
    EXPECT_FALSE(g.prepare(&err));
    EXPECT_NE(err.find("wired"), std::string::npos) << err;
}

TEST(Graph, RecordsTheLatencyAnInstanceReports) {
    Graph g(ztest::library(), 48000.0f, 64);
    std::string err;
    const int32_t r = g.addInstance("r", "KV_RepLat", 0, &err);
    ASSERT_GE(r, 0) << err;
    int32_t v = 100;
    std::vector<unsigned char> b(4);
    std::memcpy(b.data(), &v, 4);
    ASSERT_TRUE(g.setInitial(r, 1, b, &err)) << err;
    v = 250;
    std::memcpy(b.data(), &v, 4);
    ASSERT_TRUE(g.addChange(500, r, 1, b, &err)) << err;
    ASSERT_TRUE(g.prepare(&err)) << err;
    EXPECT_EQ(g.latency(r), 0);
    g.runBlock(64);
    EXPECT_EQ(g.latency(r), 100);
    for (int i = 0; i < 8; ++i) g.runBlock(64);
    EXPECT_EQ(g.latency(r), 250);
}

TEST(EventQueue, OrdersByTimeKeepingArrivalOrderAndLinksLongValues) {
    zhost::EventQueue q;
    q.reserve(8, 64);
    const float blob[4] = {1, 2, 3, 4};
    q.push(5, mp::EVENT_PIN_SET, 1, &blob[0], 4);
    q.push(0, mp::EVENT_GRAPH_START, -1);
    q.push(5, mp::EVENT_PIN_SET, 2, blob, 16);
    q.push(3, mp::EVENT_PIN_STREAMING_STOP, 0);
    const mp::MpEvent* e = q.link();
    std::vector<std::pair<int32_t, int32_t>> seen;
    for (; e != nullptr; e = e->next) seen.emplace_back(e->timeDelta, e->parm1);
    const std::vector<std::pair<int32_t, int32_t>> want = {{0, -1}, {3, 0}, {5, 1}, {5, 2}};
    EXPECT_EQ(seen, want);
    const mp::MpEvent* last = q.link()->next->next->next;
    ASSERT_NE(last->extraData, nullptr);
    EXPECT_EQ(std::memcmp(last->extraData, blob, 16), 0);
    const mp::MpEvent* third = q.link()->next->next;
    EXPECT_EQ(third->extraData, nullptr);
    float v = 0;
    std::memcpy(&v, &third->parm3, 4);
    EXPECT_EQ(v, 1.0f);
}

}  // namespace
