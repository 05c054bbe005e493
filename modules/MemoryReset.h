// Set/reset latches switching their output between two audio sources:
// MemoryReset reacts to trigger levels, MemoryReset2 to rising edges.
#pragma once

#include "framework/mp_pins.h"

// Pins, state and the span routine shared by both latches; kEdge selects
// edge triggering.
template <bool kEdge>
class MemoryLatch : public MpBase2 {
public:
    MemoryLatch();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinResetSource;  // heard while the latch is reset
    AudioInPin pinSetSource;    // heard while the latch is set
    AudioInPin pinSet;
    AudioInPin pinReset;
    AudioOutPin pinOutput;

    bool latch_ = false;
    // The selected source changed its streaming state; tell the host at the
    // next sample that does not switch sources.
    bool pending_ = false;
    float previousSet_ = 0.0f;
    float previousReset_ = 0.0f;
};

class MemoryReset : public MemoryLatch<false> {};
class MemoryReset2 : public MemoryLatch<true> {};
