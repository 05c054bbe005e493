// Control outputs belong to their module: host value events leave them alone.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

TEST(OutputPins, HostValueEventsDoNotChangeAControlOutput) {
    // The oscilloscope's frame output (pin 5) publishes its value at graph start.
    ztest::Driver d("Oscilloscope", "aaefbX", 48000.0f, 64);
    const float junk[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    d.events.add(0, mp::EVENT_PIN_SET, 5, junk, sizeof junk);
    d.events.addGraphStart(0);
    d.process();
    const auto values = d.rec.of(ztest::Call::Value);
    ASSERT_FALSE(values.empty());
    for (const auto& v : values) {
        EXPECT_EQ(v.pin, 5);
        EXPECT_TRUE(v.bytes.empty()) << "the host's bytes leaked into the output";
    }
}

}  // namespace
