// White or pink noise from a seedable 32-bit xorshift generator, gated on and
// off. The same seed and the same sequence of switches give the same noise.
#pragma once

#include <cstdint>

#include "framework/mp_pins.h"

class NoiseGen : public MpBase2 {
public:
    NoiseGen();
    void onPinsChanged() override;

private:
    void whiteNoise(int32_t count);
    void pinkNoise(int32_t count);
    void silence(int32_t count);
    void selectNoise();

    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinType;
    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinGate;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_INT> pinSeed;
    AudioOutPin pinOutput;

    uint32_t state_ = 0;
    uint32_t counter_ = 0;  // pink: 0 .. 255
    uint32_t rows_[7] = {};
};
