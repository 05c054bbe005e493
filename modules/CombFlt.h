// Feedback comb filter: the input blended towards the output's own delayed
// copy, with an audio-rate delay (in samples or as a frequency) read through
// a first-order allpass interpolator.
#pragma once

#include "framework/mp_pins.h"

class CombFlt : public MpBase2 {
public:
    CombFlt();
    void onPinsChanged() override;

    // One slot more than the longest delay, so that the interpolator's older
    // neighbour of a 5000-sample delay is 5001 samples old and not the newest.
    static constexpr int32_t kMaxDelay = 5000;
    static constexpr int32_t kLineSize = kMaxDelay + 1;

private:
    void subProcess(int32_t count);
    template <bool kFrequency>
    void run(int32_t count);

    AudioInPin pinInput;
    AudioInPin pinDelay;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinScale;
    AudioInPin pinFeedback;
    AudioOutPin pinOutput;

    float line_[kLineSize] = {};
    int32_t w_ = 0;
    float s_ = 0.0f;
    int32_t quiet_ = 0;
};
