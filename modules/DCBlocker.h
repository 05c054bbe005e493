// One-pole high-pass removing a constant offset: y = R*y1 + (x - x1).
#pragma once

#include "framework/mp_settle.h"

class DCBlocker : public MpBase2 {
public:
    DCBlocker();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinSignal;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinCoefficient;
    AudioOutPin pinOutput;

    float x1_ = 0.0f;
    float y1_ = 0.0f;
    SettledOutput settle_;
};
