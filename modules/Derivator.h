// First difference of the input: y = x - x1.
#pragma once

#include "framework/mp_pins.h"

class Derivator : public MpBase2 {
public:
    Derivator();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinSignal;
    AudioOutPin pinOutput;

    float x1_ = 0.0f;
    bool settled_ = false;
};
