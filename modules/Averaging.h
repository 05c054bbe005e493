// Cumulative average: the mean of every input sample since creation or the
// last reset.
#pragma once

#include "framework/mp_pins.h"

class Averaging : public MpBase2 {
public:
    Averaging();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinInput;
    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinReset;
    AudioOutPin pinOutput;

    // Double precision: the count stays exact up to 2^53 samples.
    double sum_ = 0.0;
    double count_ = 0.0;
};
