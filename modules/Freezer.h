// Track and hold: passes the input while the control is in one state and
// holds a sample while it is in the other; a held output is reported static.
#pragma once

#include "framework/mp_pins.h"

class Freezer : public MpBase2 {
public:
    Freezer();
    void onPinsChanged() override;

private:
    // One loop per polarity and held-sample setting, both fixed for a span.
    template <bool kPassWhileHigh, bool kHoldPrevious>
    void subProcess(int32_t count);
    void selectLoop();

    AudioInPin pinInput;
    AudioInPin pinControl;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinPolarity;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinHeldSample;
    AudioOutPin pinOutput;

    bool passWhileHigh_ = false;
    bool holdPrevious_ = false;
    bool frozen_ = false;
    float last_ = 0.0f;
    float held_ = 0.0f;
};
