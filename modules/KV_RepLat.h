// Passes audio through unchanged and tells the host a latency in samples,
// for the host to compensate elsewhere in the graph.
#pragma once

#include "framework/mp_pins.h"

class KV_RepLat : public MpBase2 {
public:
    KV_RepLat();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinSignal;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_INT> pinLatency;
    AudioOutPin pinOutput;
};
