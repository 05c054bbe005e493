// Mixes inputs placed on a ring: the position walks round the ring (1 meets
// 0 again at the first input) and the focus blends from an equal mix of all
// inputs (0) to the crossfade of the two nearest (1).
#pragma once

#include <memory>
#include <vector>

#include "modules/MorphCurve.h"

class Morph2D : public MorphMixer {
public:
    Morph2D();
    int32_t open() override;
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);
    template <bool kCurve>
    void mix(int32_t count);

    AudioInPin pinPosition;
    AudioInPin pinFocus;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinCurve;
    AudioOutPin pinOutput;

    std::vector<float> weights_;
    // What the weights were computed for; -1 forces the first computation.
    float lastPosition_ = -1.0f;
    float lastFocus_ = 0.0f;
};
