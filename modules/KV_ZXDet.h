// Zero-crossing detector: a one-sample pulse of 1.0 at each crossing of zero
// in the selected direction; steady 0.0 once the input is steady.
#pragma once

#include "framework/mp_pins.h"

class KV_ZXDet : public MpBase2 {
public:
    enum Direction : int32_t { kRising = 0, kFalling = 1, kBoth = 2 };

    KV_ZXDet();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinSignal;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinDirection;
    AudioOutPin pinOutput;

    float previous_ = 0.0f;
    int32_t direction_ = kRising;
};
