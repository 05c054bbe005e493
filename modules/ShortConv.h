// Direct-form FIR of up to 1024 taps, the taps arriving as a blob of floats.
// A ring of partial sums spreads each input sample over the coming outputs,
// so each output is complete the moment it leaves the ring.
#pragma once

#include "framework/mp_pins.h"

class ShortConv : public MpBase2 {
public:
    static constexpr int32_t kMaxTaps = 1024;

    ShortConv();
    void onPinsChanged() override;

private:
    void convolve(int32_t count);
    void hold(int32_t count);
    void changeKernel();

    AudioInPin pinSignal;
    MpControlPin<MpBlob, mp::PIN_DIR_IN, mp::PIN_TYPE_BLOB> pinKernel;
    AudioOutPin pinOutput;

    int32_t length_ = 1;
    float unity_ = 1.0f;
    // Either &unity_ or the kernel blob's own storage, read in place: the pin
    // keeps its value until the next update, which comes with a new pointer.
    const float* kernel_ = &unity_;
    int32_t position_ = 0;
    int32_t countdown_ = 0;  // samples until a static input's response is complete
    float held_ = 0.0f;
    alignas(32) float acc_[kMaxTaps] = {};
};
