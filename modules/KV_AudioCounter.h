// Counts zero crossings of an audio-rate clock and outputs the count at one
// volt (0.1) per count: free, stopping at, wrapping at, or bouncing between
// 0 and a limit. A positive reset input clears the count.
#pragma once

#include "framework/mp_pins.h"

class KV_AudioCounter : public MpBase2 {
public:
    KV_AudioCounter();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinClock;
    AudioInPin pinReset;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinEdge;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinMode;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_INT> pinLimit;
    AudioOutPin pinOutput;

    int32_t edgeMode_ = 0;   // 0 rising, 1 falling, other: none
    int32_t countMode_ = 0;  // 0 free, 1 stop, 2 wrap, 3 up and down, other: hold
    uint32_t n_ = 0;
    // 0 until the limit pin receives a value (stop and wrap then hold at 0).
    uint32_t limit_ = 0;
    float previous_ = 0.0f;
    bool countingDown_ = false;
};
