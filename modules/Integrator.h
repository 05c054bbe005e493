// Leaky accumulator: y = leak(y1) + x, the leak factor an audio input.
#pragma once

#include "framework/mp_settle.h"

class Integrator : public MpBase2 {
public:
    Integrator();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinSignal;
    AudioInPin pinCoefficient;
    AudioOutPin pinOutput;

    float y1_ = 0.0f;
    SettledOutput settle_;
};
