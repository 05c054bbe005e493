// Strip-chart plotter. The DSP half reduces its input to one (minimum,
// maximum) pair per chart column and posts each pair to the GUI half as an
// 8-byte message; the GUI half scrolls its chart one pixel per pair.
#pragma once

#include "framework/mp_pins.h"

class Plotter : public MpBase2 {
public:
    Plotter();
    void onPinsChanged() override;

private:
    void capture(int32_t count);

    AudioInPin pinSignal;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinIntervalMs;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinRange;

    float gain_ = 1.0f;
    int32_t period_ = 1000;
    uint32_t counter_ = 0;
    // Minimum first, then maximum: together they are the message body.
    float extremes_[2] = {1.0e30f, -1.0e30f};
};
