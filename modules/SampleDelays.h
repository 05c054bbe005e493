// Short delay lines of up to 5000 samples: Latency (whole samples) and
// FracDelay (fractional, first-order allpass interpolation). Both keep the
// output streaming exactly as long as a stopped input's tail needs.
#pragma once

#include <array>

#include "framework/mp_pins.h"

class Latency : public MpBase2 {
public:
    static constexpr int32_t kMaxDelay = 5000;

    Latency();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);
    void followStaticInput();
    void followDelayChange();

    AudioInPin pinInput;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_INT> pinDelay;
    AudioOutPin pinOutput;

    std::array<float, kMaxDelay + 1> ring_{};
    int32_t write_ = 0;
    int32_t delay_ = 0;
    // Samples until the output turns static, while the input is static; it
    // rests at -1 once past (or inactive).
    int32_t countdown_ = -1;
    int32_t sinceStop_ = 0;  // samples written since the input turned static, at most the ring
};

class FracDelay : public MpBase2 {
public:
    static constexpr int32_t kMaxDelay = 5000;

    FracDelay();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);
    void followInput();
    void followDelayChange();

    AudioInPin pinInput;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinDelay;
    AudioOutPin pinOutput;

    std::array<float, kMaxDelay + 1> ring_{};
    int32_t write_ = 0;
    float delay_ = 0.0f;
    int32_t countdown_ = -1;
    int32_t sinceStop_ = 0;  // samples written since the input turned static, at most the ring
    float y_ = 0.0f;         // last output, also the allpass state
    float yPrev_ = 0.0f;     // the output before it
};
