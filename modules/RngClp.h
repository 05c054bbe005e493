// Range clip: limits a signal to a range whose bounds are audio signals.
#pragma once

#include "framework/mp_pins.h"

class RngClp : public MpBase2 {
public:
    RngClp();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinSignal;
    AudioInPin pinLower;
    AudioInPin pinUpper;
    AudioOutPin pinOutput;
};
