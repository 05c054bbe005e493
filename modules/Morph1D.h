// Crossfades along a line of inputs: position 0 is the first mixed input,
// position 1 the last, and at most two neighbours sound at once.
#pragma once

#include <memory>
#include <vector>

#include "modules/MorphCurve.h"

class Morph1D : public MorphMixer {
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
};
