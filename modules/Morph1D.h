// Crossfades along a line of inputs: position 0 is the first mixed input,
// position 1 the last, and at most two neighbours sound at once.
#pragma once

#include <memory>
#include <vector>

#include "framework/mp_pins.h"

class Morph1D : public MpBase2 {
public:
    Morph1D();
    int32_t open() override;
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);
    template <bool kCurve>
    void mix(int32_t count);

    AudioInPin pinPosition;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinCurve;
    AudioOutPin pinOutput;

    // Created in open(), one per extra audio input the host lists.
    std::vector<std::unique_ptr<AudioInPin>> inputs_;
    std::vector<const float*> reads_;
    bool curve_ = true;  // on until the selector says otherwise
    const float* table_ = nullptr;
    std::unique_ptr<float[]> ownTable_;
};
