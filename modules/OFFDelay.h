// Off delay: the output follows the active source while the gate is on and
// for a hold time after it goes off, then returns to the idle source.
#pragma once

#include "framework/mp_pins.h"

class OFFDelay : public MpBase2 {
public:
    OFFDelay();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinIdle;
    AudioInPin pinActive;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinHoldMs;
    AudioInPin pinGate;
    AudioOutPin pinOutput;

    int32_t holdLength_ = 0;  // samples
    int32_t countdown_ = 0;   // hold samples left
    bool previousGate_ = false;
};
