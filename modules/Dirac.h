// Impulse-train oscillator: a plain one-sample impulse per period, or a
// band-limited impulse built from a shared sine table, multiplied by an
// audio-rate amplitude.
#pragma once

#include "framework/mp_pins.h"

class Dirac : public MpBase2 {
public:
    static constexpr int32_t kTableSize = 262144;  // one sine cycle
    static constexpr int32_t kTableMask = kTableSize - 1;

    Dirac();
    int32_t open() override;
    void onPinsChanged() override;

private:
    void subProcessBandLimited(int32_t count);
    void subProcessPlain(int32_t count);
    void subProcessSilence(int32_t count);

    template <bool kMean, bool kScale>
    void plainLoop(int32_t count, float rate);
    template <bool kMean, bool kScale>
    void bandLimitedLoop(int32_t count, float rate);

    // A generator's loops by strategy: [remove mean][scaling on].
    using Loop = void (Dirac::*)(int32_t, float);
    using Loops = Loop[2][2];
    void runLoop(const Loops& loops, int32_t count);

    void selectGenerator();

    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinEnable;
    AudioInPin pinAmplitude;
    MpControlPin<int32_t, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinScaling;
    AudioInPin pinFrequency;
    MpControlPin<int32_t, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinFreqScale;
    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinBandLimited;
    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinRemoveMean;
    AudioOutPin pinOutput;

    double phase_ = 0.0;
    double period_ = 0.0;
    double increment_ = 0.0;
    float norm_ = 0.0f;          // t: 1/N
    int32_t harmonics_ = 0;      // M: odd multiplier of the table angle
    float peak_ = 0.0f;          // L: the ratio's value where it is 0/0
    float lastControl_ = -1.0f;  // never a valid control value: forces a recompute
    const float* sine_ = nullptr;
    bool bandLimited_ = false;
    bool running_ = false;
};
