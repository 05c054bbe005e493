// Plucked-string waveguide: the excitation enters a delay loop whose length
// follows an audio-rate pitch (allpass-interpolated, optionally crossfaded on
// jumps) and whose output feeds back through a one-pole lowpass, with a gated
// envelope on the feedback and tuning tables for period and decay.
#pragma once

#include "framework/mp_pins.h"

class DWG : public MpBase2 {
public:
    static constexpr int32_t kLineSize = 5000;
    static constexpr int32_t kFadeSamples = 49;

    DWG();
    int32_t open() override;
    void onPinsChanged() override;

    // Flags selecting one compiled variant of the loop, fixed for a span.
    enum : int32_t {
        kFlagFreq = 1,       // pitch input is a frequency
        kFlagCorrect = 2,    // period correction
        kFlagScale = 4,      // period-independent decay
        kFlagHalf = 8,       // output minus half the delayed excitation
        kFlagCrossfade = 16  // crossfade on length jumps
    };

private:
    void subProcess(int32_t count);
    void subProcessSilence(int32_t count);
    template <int32_t kFlags>
    void waveLoop(int32_t count, float r);

    void clearLoop();  // everything but the write index
    void clearAll();

    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinEnable;
    AudioInPin pinExcitation;
    AudioInPin pinPitch;
    MpControlPin<int32_t, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinPitchScale;
    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinCrossfade;
    AudioInPin pinGate;
    AudioInPin pinFeedback;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinRelease;
    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinDecayScaling;
    AudioInPin pinDamping;
    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinPeriodCorrection;
    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinHalfExcitation;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinLoss;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinClear;
    AudioOutPin pinOutput;

    float loop_[kLineSize] = {};        // A: the string
    float excitation_[kLineSize] = {};  // B: the excitation, for the half subtraction
    int32_t write_ = 0;
    int32_t tap1_ = 0;  // j
    int32_t tap2_ = 0;  // k
    int32_t fade_ = 0;  // samples of crossfade left
    int32_t quiet_ = 0;
    float lengthNow_ = 1.0f;
    float lengthTarget_ = 1.0f;
    float coef1_ = 0.0f;
    float coef2_ = 0.0f;
    float loopState1_ = 0.0f;  // allpass states: loop taps 1 and 2,
    float loopState2_ = 0.0f;
    float excState1_ = 0.0f;  // and excitation taps 1 and 2
    float excState2_ = 0.0f;
    float lowpass_ = 0.0f;
    float lossState_ = 0.0f;  // h
    float lossPrev_ = 0.0f;   // x-1
    float env_ = 0.0f;
    float fall_ = 0.0005875f;
    const float* periodCorrection_ = nullptr;
    const float* decayScaling_ = nullptr;
    float loss_[1024];
};
