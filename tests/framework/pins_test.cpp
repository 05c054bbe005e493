// Pin kinds seen from the host: how control inputs read the bytes of a value
// event, and the updated flag of an audio input that never hears of its
// streaming state.
#include <gtest/gtest.h>

#include <cstdint>

#include "framework/mp_api.h"
#include "support/test_support.h"

using ztest::Driver;

namespace {

// NoiseGen reports its output streaming exactly when the gate (a bool input)
// reads true, so the reports show what the pin stored.
TEST(Pins, BoolInputReadsFourBytesAsAnIntAndAnyOtherCountAsOneByte) {
    enum { kType = 0, kGate = 1, kSeed = 2, kOut = 3 };
    Driver d("NoiseGen", "ebiA", 48000.0f, 16);
    const int32_t i256 = 256, i0 = 0;
    const unsigned char b0 = 0, b2 = 2;
    const unsigned char two[2] = {0x00, 0x01};  // only the first byte counts
    const unsigned char eight[8] = {0x01, 0, 0, 0, 0, 0, 0, 0};
    d.events.addInt(0, kSeed, 1);
    d.events.add(0, mp::EVENT_PIN_SET, kGate, &i256, 4);
    d.events.addGraphStart(0);
    d.events.add(2, mp::EVENT_PIN_SET, kGate, &b0, 1);
    d.events.add(4, mp::EVENT_PIN_SET, kGate, &b2, 1);
    d.events.add(6, mp::EVENT_PIN_SET, kGate, two, 2);
    d.events.add(8, mp::EVENT_PIN_SET, kGate, eight, 8);
    d.events.add(10, mp::EVENT_PIN_SET, kGate, &i0, 4);
    d.process();
    const auto s = d.rec.streamingOf(kOut);
    // publish at graph start, then one report per gate value
    ASSERT_EQ(s.size(), 7u);
    const int32_t offsets[] = {0, 0, 2, 4, 6, 8, 10};
    const bool on[] = {true, true, false, true, false, true, false};
    for (size_t k = 0; k < s.size(); ++k) {
        EXPECT_EQ(s[k].offset, offsets[k]) << k;
        EXPECT_EQ(s[k].streaming, on[k]) << k;
    }
}

// Without a streaming-state event the signal input's updated flag stays set,
// so every reaction (here to a coefficient value) re-enters watching: the
// output is reported streaming again and settles again.
TEST(Pins, AudioInputWithoutStreamingEventsStaysUpdated) {
    enum { kIn = 0, kR = 1, kOut = 2 };
    Driver d("DC_Blocker", "afA", 48000.0f, 16);
    d.events.addFloat(0, kR, 0.0f);
    d.events.addFloat(5, kR, 0.0f);
    d.process();
    const auto s = d.rec.streamingOf(kOut);
    ASSERT_EQ(s.size(), 4u);
    const int32_t offsets[] = {0, 0, 5, 5};
    const bool on[] = {true, false, true, false};
    for (size_t k = 0; k < s.size(); ++k) {
        EXPECT_EQ(s[k].offset, offsets[k]) << k;
        EXPECT_EQ(s[k].streaming, on[k]) << k;
    }
}

}  // namespace
