// Block processing seen from the host: event groups, span cuts, streaming
// counts and the sleep gate, observed through the first-order modules.
#include <gtest/gtest.h>

#include "framework/mp_api.h"
#include "support/test_support.h"

using ztest::Call;
using ztest::Driver;

namespace {

constexpr int kIn = 0, kOut = 1;  // Derivator

// Derivator reports streaming on every onPinsChanged, so its reports count
// the reactions; onGraphBegin adds one more (the output publishing itself).
TEST(Processing, GraphStartWithValuesAppliesValuesThenBeginsThenReacts) {
    Driver d("Derivator", "aA", 48000.0f, 16);
    d.events.addStreaming(0, kIn, false);
    d.events.addGraphStart(0);
    d.process();
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 3u);  // publish, reaction, settle at sample 0
    EXPECT_TRUE(s[0].streaming);
    EXPECT_TRUE(s[1].streaming);
    EXPECT_FALSE(s[2].streaming);
    EXPECT_EQ(s[2].offset, 0);
}

TEST(Processing, OneReactionPerGroupAndTheLastValueWins) {
    Driver d("Derivator", "aA", 48000.0f, 16);
    d.events.addStreaming(5, kIn, true);
    d.events.addStreaming(5, kIn, false);
    d.process();
    const auto s = d.rec.streamingOf(kOut);
    // The first span already settles (static input, y = 0 at sample 0); the
    // group at 5 reacts once, then the static input settles again at 5.
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].offset, 0);
    EXPECT_FALSE(s[0].streaming);
    EXPECT_EQ(s[1].offset, 5);
    EXPECT_TRUE(s[1].streaming);
    EXPECT_EQ(s[2].offset, 5);
    EXPECT_FALSE(s[2].streaming);
}

TEST(Processing, EventAtBlockLengthOrBeyondIsNotAppliedAndNoSpanOverruns) {
    Driver d("Derivator", "aA", 48000.0f, 16);
    std::vector<float> guard(16, 7.0f);
    d.set(kIn, std::vector<float>(16, 1.0f));
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    d.process();
    const size_t before = d.rec.calls.size();
    d.events.addStreaming(16, kIn, false);
    d.process(16);
    EXPECT_EQ(d.rec.calls.size(), before);  // no reaction
    d.events.addStreaming(40, kIn, false);  // far beyond the block
    d.process(16);
    EXPECT_EQ(d.rec.calls.size(), before);
}

TEST(Processing, EventsSplitTheBlockIntoSpans) {
    // DC blocker with R = 0 is a first difference: a step in the middle of a
    // static input shows exactly where each span began.
    Driver d("DC_Blocker", "afA", 48000.0f, 16);
    d.fill(0, 2.0f);
    d.events.addFloat(0, 1, 0.0f);
    d.events.addStreaming(0, 0, true);
    d.events.addGraphStart(0);
    d.events.addFloat(6, 1, 0.5f);  // R changes from sample 6 on
    d.process();
    const auto y = d.out(2, 16);
    EXPECT_EQ(y[0], 2.0f);
    for (int i = 1; i < 6; ++i) EXPECT_EQ(y[i], 0.0f) << i;
    EXPECT_EQ(y[6], 0.0f);
}

TEST(Processing, ZeroLengthBlockComputesNothing) {
    Driver d("DC_Blocker", "afA", 48000.0f, 16);
    d.fill(2, 7.0f);
    d.process(0);
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    // Events at time 0 of an empty block still form a group (no span
    // precedes them); later ones are beyond the block.
    d.events.addGraphStart(0);
    d.events.addStreaming(3, 0, true);
    d.process(0);
    for (float v : d.out(2, 16)) EXPECT_EQ(v, 7.0f);
    const auto s = d.rec.streamingOf(2);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 0);
}

TEST(Processing, UnknownTypesAndMidiEventsAreNoChange) {
    Driver d("Derivator", "aA", 48000.0f, 16);
    d.events.add(0, 77, kIn);
    d.events.add(0, mp::EVENT_MIDI, kIn);
    d.events.add(0, mp::EVENT_MIDI, 9);
    d.process();
    // No reaction, no publish: a fresh instance with nothing streaming sleeps.
    EXPECT_TRUE(d.rec.streamingOf(kOut).empty());
    EXPECT_EQ(d.rec.sleepRequests(), 1);
}

// A value or streaming event whose pin the instance lacks is not applied, but
// it still makes its group a change: the module reacts once.
TEST(Processing, EventsForUnknownPinsAreSkippedButStillCountAsAChange) {
    Driver d("Derivator", "aA", 48000.0f, 16);
    d.fill(kIn, 2.0f);
    d.set(kIn, {0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    d.events.addStreaming(5, 9, true);
    d.events.addStreaming(5, -1, false);
    d.events.addFloat(5, 2, 1.0f);
    d.process();
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 3u);
    // The first span settles at once (static input, y = 0 - 0).
    EXPECT_FALSE(s[0].streaming);
    EXPECT_EQ(s[0].offset, 0);
    // The reaction at 5 wakes it; the input (still static) steps to 2 there,
    // so y = 2 at 5 and 0 at 6, where it settles again.
    EXPECT_TRUE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 5);
    EXPECT_FALSE(s[2].streaming);
    EXPECT_EQ(s[2].offset, 6);
    EXPECT_EQ(d.out(kOut, 7)[5], 2.0f);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
}

TEST(SleepGate, FreshInstanceWithoutGraphStartSleepsWithoutComputing) {
    Driver d("DC_Blocker", "afA", 48000.0f, 16);
    d.fill(2, 7.0f);
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
    for (float v : d.out(2, 16)) EXPECT_EQ(v, 7.0f);
}

// A settled DC blocker counts one host block down, then asks for sleep in
// the last span of the next block.
TEST(SleepGate, SettledModuleSleepsAfterOneHostBlock) {
    Driver d("DC_Blocker", "afA", 48000.0f, 16);
    d.events.addFloat(0, 1, 0.0f);
    d.events.addStreaming(0, 0, false);
    d.events.addGraphStart(0);
    d.process();
    const auto s = d.rec.streamingOf(2);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_TRUE(s[0].streaming);
    EXPECT_FALSE(s[1].streaming);
    EXPECT_EQ(s[1].offset, 0);
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    d.fill(2, 7.0f);
    d.process();  // the countdown of 16 samples is computed
    for (float v : d.out(2, 16)) EXPECT_EQ(v, 0.0f);
    ASSERT_EQ(d.rec.sleepRequests(), 1);
    EXPECT_EQ(d.rec.of(Call::Sleep)[0].block, 1);
    d.fill(2, 7.0f);
    d.process();  // asleep: asks again, computes nothing
    EXPECT_EQ(d.rec.sleepRequests(), 2);
    for (float v : d.out(2, 16)) EXPECT_EQ(v, 7.0f);
}

TEST(SleepGate, NeverSleepsInASpanEndingAtAnEvent) {
    Driver d("DC_Blocker", "afA", 48000.0f, 16);
    d.events.addFloat(0, 1, 0.0f);
    d.events.addStreaming(0, 0, false);
    d.events.addGraphStart(0);
    d.process();
    // Values of R change nothing in the idiom, but they cut spans.
    for (int block = 0; block < 3; ++block) {
        d.events.addFloat(3, 1, 0.0f);
        d.events.addFloat(9, 1, 0.0f);
        d.process();
    }
    // Block 1 spends the countdown of 16 over three spans and asks only at
    // its end; each later block asks once, at its end.
    const auto sleeps = d.rec.of(Call::Sleep);
    ASSERT_EQ(sleeps.size(), 3u);
    EXPECT_EQ(sleeps[0].block, 1);
    EXPECT_EQ(sleeps[1].block, 2);
    EXPECT_EQ(sleeps[2].block, 3);
}

TEST(SleepGate, StreamingInputKeepsTheInstanceAwake) {
    Driver d("Derivator", "aA", 48000.0f, 16);
    d.events.addStreaming(0, kIn, true);
    d.events.addGraphStart(0);
    d.process();
    for (int i = 0; i < 20; ++i) d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 0);
}

// Integrator: two inputs and one output count towards the streaming pins;
// stopping one input while the other streams keeps it running.
TEST(SleepGate, StreamingCountAcrossInputsAndOutputs) {
    Driver d("Integrator", "aaA", 48000.0f, 16);
    d.fill(1, 0.5f);
    d.events.addStreaming(0, 0, true);
    d.events.addStreaming(0, 1, true);
    d.events.addGraphStart(0);
    d.process();
    d.events.addStreaming(4, 1, false);
    d.process();
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 0);
    // Now the signal stops too: y = 0.5*y1 + 0 decays, and settles only when
    // it repeats exactly (at 0).
    d.fill(0, 0.0f);
    d.events.addStreaming(0, 0, false);
    int blocks = 0;
    while (d.rec.sleepRequests() == 0 && blocks < 100) {
        d.process();
        ++blocks;
    }
    EXPECT_LT(blocks, 100);
    const auto s = d.rec.streamingOf(2);
    EXPECT_FALSE(s.back().streaming);
}

// Pins: the bool rules and short values.
TEST(Pins, ReportStreamingTwiceSendsTwiceButCountsOnce) {
    // Derivator's onPinsChanged reports streaming even when already
    // streaming; the count must not double (else it could never sleep).
    Driver d("Derivator", "aA", 48000.0f, 16);
    d.events.addStreaming(0, kIn, false);
    d.events.addGraphStart(0);
    d.process();
    d.process();
    EXPECT_EQ(d.rec.sleepRequests(), 1);
}

}  // namespace
