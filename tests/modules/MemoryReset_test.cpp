// Memory/reset latches: level and edge triggering, the switch sample, the
// streaming reports of the selected source, and sleep.
#include <gtest/gtest.h>

#include <limits>

#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

enum { kSrc0 = 0, kSrc1 = 1, kSet = 2, kReset = 3, kOut = 4 };
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Source 0 is -(n+1), source 1 is +(n+1), so every sample tells its source.
void start(Driver& d, bool sources, bool triggers) {
    d.events.addStreaming(0, kSrc0, sources);
    d.events.addStreaming(0, kSrc1, sources);
    d.events.addStreaming(0, kSet, triggers);
    d.events.addStreaming(0, kReset, triggers);
    d.events.addGraphStart(0);
    for (int i = 0; i < d.blockSize(); ++i) {
        d.buffer(kSrc0)[i] = -static_cast<float>(i + 1);
        d.buffer(kSrc1)[i] = static_cast<float>(i + 1);
    }
}

// +1 where the output came from source 1, -1 from source 0.
std::vector<int> sources(Driver& d, int n) {
    std::vector<int> r;
    for (int i = 0; i < n; ++i) r.push_back(d.buffer(kOut)[i] > 0.0f ? 1 : -1);
    return r;
}

TEST(MemoryReset, LevelTriggersSwitchAtTheSampleTheyGoHigh) {
    Driver d("Memory/Reset", "aaaaA", 48000.0f, 10);
    start(d, true, true);
    d.set(kSet, {0.0f, 0.4999f, 0.5f, 0.0f, 0.0f, 1.0f, 0.0f, kNaN, 0.0f, 0.0f});
    d.set(kReset, {0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.7f, 0.0f});
    d.process();
    EXPECT_EQ(sources(d, 10), (std::vector<int>{-1, -1, 1, 1, -1, 1, 1, 1, -1, -1}));
    EXPECT_EQ(d.buffer(kOut)[2], 3.0f);  // the switch sample carries the new source
    EXPECT_EQ(d.buffer(kOut)[4], -5.0f);
    // Each switch reports the new source's state at its sample.
    const auto s = d.rec.streamingOf(kOut);
    std::vector<int32_t> offsets;
    for (const Call& c : s) {
        EXPECT_TRUE(c.streaming);
        offsets.push_back(c.offset);
    }
    // graph start, the initial pending report, then the switches
    EXPECT_EQ(offsets, (std::vector<int32_t>{0, 0, 2, 4, 5, 8}));
}

TEST(MemoryReset, BothLevelsHighAlternateSampleBySample) {
    Driver d("Memory/Reset", "aaaaA", 48000.0f, 6);
    start(d, true, true);
    d.fill(kSet, 1.0f);
    d.fill(kReset, 1.0f);
    d.process();
    EXPECT_EQ(sources(d, 6), (std::vector<int>{1, -1, 1, -1, 1, -1}));
}

TEST(MemoryReset, AlternationBetweenStaticSourcesReportsEverySwitch) {
    Driver d("Memory/Reset", "aaaaA", 48000.0f, 16);
    d.events.addStreaming(0, kSrc0, false);
    d.events.addStreaming(0, kSrc1, false);
    d.events.addStreaming(0, kSet, false);
    d.events.addStreaming(0, kReset, false);
    d.events.addGraphStart(0);
    d.fill(kSrc0, 0.25f);
    d.fill(kSrc1, 0.75f);
    d.fill(kSet, 1.0f);
    d.fill(kReset, 1.0f);
    for (int b = 0; b < 4; ++b) {
        d.rec.calls.clear();
        d.process();
        for (int i = 0; i < 16; ++i) EXPECT_EQ(d.buffer(kOut)[i], i % 2 ? 0.25f : 0.75f);
        // Every switch reports the new source, static, at its own sample;
        // the first block starts with the graph start's report.
        auto s = d.rec.streamingOf(kOut);
        if (b == 0) {
            ASSERT_FALSE(s.empty());
            EXPECT_TRUE(s[0].streaming);
            EXPECT_EQ(s[0].offset, 0);
            s.erase(s.begin());
        }
        ASSERT_EQ(s.size(), 16u) << b;
        for (int i = 0; i < 16; ++i) {
            EXPECT_FALSE(s[i].streaming);
            EXPECT_EQ(s[i].offset, i);
        }
    }
    // Each report restarts the countdown, so the switching never sleeps.
    EXPECT_EQ(d.rec.sleepRequests(), 0);

    // The reset trigger drops to a static 0 at 11 (latch set before it):
    // the output stays on source 1; the report the start left pending, held
    // back while every sample switched, comes at 11.
    d.rec.calls.clear();
    d.events.addStreaming(11, kReset, false);
    for (int i = 11; i < 16; ++i) d.buffer(kReset)[i] = 0.0f;
    d.process();  // block 4
    EXPECT_EQ(d.buffer(kOut)[10], 0.75f);
    for (int i = 11; i < 16; ++i) EXPECT_EQ(d.buffer(kOut)[i], 0.75f);
    auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_FALSE(s[i].streaming);
        EXPECT_EQ(s[i].offset, i);
    }
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.fill(kReset, 0.0f);
    d.process();  // block 5: the block of samples counted from 11, then sleep
    EXPECT_EQ(d.out(kOut, 16), std::vector<float>(16, 0.75f));
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 5);
}

TEST(MemoryReset, BothLevelsHighBetweenStreamingSourcesReportEverySwitch) {
    Driver d("Memory/Reset", "aaaaA", 48000.0f, 8);
    start(d, true, false);
    d.fill(kSet, 1.0f);
    d.fill(kReset, 1.0f);
    d.process();
    EXPECT_EQ(sources(d, 8), (std::vector<int>{1, -1, 1, -1, 1, -1, 1, -1}));
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 9u);  // graph start, then one per sample
    for (size_t i = 0; i < s.size(); ++i) {
        EXPECT_TRUE(s[i].streaming);
        EXPECT_EQ(s[i].offset, i == 0 ? 0 : static_cast<int32_t>(i - 1));
    }
}

TEST(MemoryReset, BothLevelsHighForOneSampleIsAnOrdinarySwitch) {
    Driver d("Memory/Reset", "aaaaA", 48000.0f, 8);
    start(d, false, false);
    d.fill(kSrc0, 0.1f);
    d.fill(kSrc1, 0.9f);
    d.process();
    d.rec.calls.clear();
    d.events.addStreaming(5, kSet, false);
    d.events.addStreaming(5, kReset, false);
    d.events.addStreaming(6, kSet, false);
    d.events.addStreaming(6, kReset, false);
    d.buffer(kSet)[5] = 1.0f;
    d.buffer(kReset)[5] = 1.0f;
    d.process();
    EXPECT_EQ(d.out(kOut, 8), (std::vector<float>{0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.9f, 0.9f, 0.9f}));
    // Source 1 is static: reported so at the switch, and nothing more.
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_FALSE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 5);
}

TEST(MemoryReset, SleepsWithStaticInputsEvenWhenTheOutputWasLeftStreaming) {
    // No streaming events: the inputs count as static, the output only got
    // the graph start's report and nothing is pending.
    Driver d("Memory/Reset", "aaaaA", 48000.0f, 8);
    d.events.addGraphStart(0);
    d.fill(kSrc0, 0.3f);
    d.process();
    EXPECT_EQ(d.out(kOut, 8), std::vector<float>(8, 0.3f));
    EXPECT_EQ(d.rec.streamingOf(kOut).size(), 1u);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.process();
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 1);
}

TEST(MemoryReset2, EdgesOnlyAndAcrossBlocks) {
    Driver d("Memory/Reset2", "aaaaA", 48000.0f, 8);
    start(d, true, true);
    // Both triggers high: only the first rising edge acts (the set trigger
    // at sample 0, whose previous value starts at 0.0).
    d.fill(kSet, 1.0f);
    d.fill(kReset, 1.0f);
    d.process();
    EXPECT_EQ(sources(d, 8), std::vector<int>(8, 1));
    // Reset falls and rises again: a new edge at 3. The set trigger ends the
    // block low ...
    d.set(kReset, {1.0f, 0.2f, 0.2f, 0.5f, 1.0f, 1.0f, 1.0f, 1.0f});
    d.set(kSet, {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f});
    d.process();
    EXPECT_EQ(sources(d, 8), (std::vector<int>{1, 1, 1, -1, -1, -1, -1, -1}));
    // ... and rises at the start of the next one: an edge across the boundary.
    d.fill(kSet, 1.0f);
    d.fill(kReset, 1.0f);
    d.process();
    EXPECT_EQ(sources(d, 8), std::vector<int>(8, 1));
}

TEST(MemoryReset2, NaNIsNotHighAndNotBelowTheThreshold) {
    Driver d("Memory/Reset2", "aaaaA", 48000.0f, 8);
    start(d, true, true);
    // An edge needs the previous sample below 0.5: NaN then high is none.
    d.set(kSet, {kNaN, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.2f, 1.0f});
    d.set(kReset, {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    d.process();
    EXPECT_EQ(sources(d, 8), (std::vector<int>{-1, -1, -1, -1, -1, -1, -1, 1}));
    d.set(kSet, {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    d.set(kReset, {kNaN, 0.6f, 0.0f, kNaN, 0.0f, 0.6f, 0.0f, 0.0f});
    d.process();
    EXPECT_EQ(sources(d, 8), (std::vector<int>{1, 1, 1, 1, 1, -1, -1, -1}));
}

TEST(MemoryReset, UnselectedSourceReportsOnlyWhenSwitchedTo) {
    for (const char* id : {"Memory/Reset", "Memory/Reset2"}) {
        Driver d(id, "aaaaA", 48000.0f, 16);
        start(d, false, true);  // both sources static, triggers streaming
        d.process();
        d.rec.calls.clear();
        // Source 1 starts streaming at 3 while source 0 is heard: no report.
        d.events.addStreaming(3, kSrc1, true);
        d.buffer(kSet)[8] = 1.0f;  // the latch is set at 8
        d.process();
        auto s = d.rec.streamingOf(kOut);
        ASSERT_EQ(s.size(), 1u) << id;
        EXPECT_TRUE(s[0].streaming);
        EXPECT_EQ(s[0].offset, 8);
        d.buffer(kSet)[8] = 0.0f;

        // The heard source stops at 5: reported at 5 ...
        d.rec.calls.clear();
        d.events.addStreaming(5, kSrc1, false);
        d.process();
        s = d.rec.streamingOf(kOut);
        ASSERT_EQ(s.size(), 1u) << id;
        EXPECT_FALSE(s[0].streaming);
        EXPECT_EQ(s[0].offset, 5);
        // ... unless that very sample switches: the switch reports, and the
        // pending report follows at the next sample that does not switch.
        d.rec.calls.clear();
        d.events.addStreaming(5, kSrc1, true);
        d.buffer(kReset)[5] = 1.0f;
        d.process();
        s = d.rec.streamingOf(kOut);
        ASSERT_EQ(s.size(), 2u) << id;
        EXPECT_FALSE(s[0].streaming);  // source 0, static
        EXPECT_EQ(s[0].offset, 5);
        EXPECT_FALSE(s[1].streaming);
        EXPECT_EQ(s[1].offset, 6);
        EXPECT_EQ(d.rec.sleepRequests(), 0) << id;
    }
}

TEST(MemoryReset, AllInputsSteadySleepsOneBlockAfterTheReport) {
    for (const char* id : {"Memory/Reset", "Memory/Reset2"}) {
        Driver d(id, "aaaaA", 48000.0f, 16);
        start(d, false, false);
        d.fill(kSrc0, 0.1f);
        d.process();
        auto s = d.rec.streamingOf(kOut);
        ASSERT_EQ(s.size(), 2u);
        EXPECT_FALSE(s[1].streaming);
        EXPECT_EQ(s[1].offset, 0);
        EXPECT_EQ(d.out(kOut, 16), std::vector<float>(16, 0.1f));
        EXPECT_EQ(d.rec.sleepRequests(), 0);
        d.process();
        ASSERT_EQ(d.rec.sleepRequests(), 1) << id;
        EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 1);
        // A trigger going high wakes it and switches at the event's sample.
        d.rec.calls.clear();
        d.events.addStreaming(7, kSet, false);
        for (int i = 7; i < 16; ++i) d.buffer(kSet)[i] = 1.0f;
        d.fill(kSrc1, 0.9f);
        d.process();
        EXPECT_EQ(d.buffer(kOut)[6], 0.1f);
        EXPECT_EQ(d.buffer(kOut)[7], 0.9f);
        s = d.rec.streamingOf(kOut);
        ASSERT_EQ(s.size(), 1u);
        EXPECT_FALSE(s[0].streaming);
        EXPECT_EQ(s[0].offset, 7);
        EXPECT_EQ(d.rec.sleepRequests(), 0);
        d.process();
        ASSERT_EQ(d.rec.sleepRequests(), 1) << id;
        EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 3);
        EXPECT_EQ(d.out(kOut, 16), std::vector<float>(16, 0.9f));
    }
}

}  // namespace
