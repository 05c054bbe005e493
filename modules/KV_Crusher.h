// Bit and sample-rate crusher: a sample-and-hold clocked by a phase
// accumulator, each held sample quantised to n bits over -1..1 and placed in
// the middle of its step.
#pragma once

#include <cstdint>

#include "framework/mp_pins.h"

class KV_Crusher : public MpBase2 {
public:
    KV_Crusher();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);
    template <bool kQuantise>
    void run(int32_t count);
    void updateRate();
    void updateResolution();

    AudioInPin pinInput;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinRate;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_INT> pinBits;
    AudioOutPin pinOutput;

    static constexpr uint32_t kAllBits = 0xFFFFFFFFu;
    uint32_t mask_ = kAllBits;  // all bits: no quantisation
    float phase_ = 1.0f;
    float increment_ = 1.0f;
    float held_ = 0.0f;
    float offset_ = 0.0f;
};
