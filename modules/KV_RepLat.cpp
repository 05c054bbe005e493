#include "modules/KV_RepLat.h"

#include "framework/mp_factory.h"

REGISTER_DSP(KV_RepLat, u"KV_RepLat");

KV_RepLat::KV_RepLat() {
    registerPin(pinSignal);
    registerPin(pinLatency);
    registerPin(pinOutput);
    selectSpanRoutine(&KV_RepLat::subProcess);
}

void KV_RepLat::onPinsChanged() {
    if (pinSignal.isUpdated()) pinOutput.reportStreaming(pinSignal.isStreaming(), -1);
    if (pinLatency.isUpdated() && host2() != nullptr) {
        const int32_t latency = pinLatency.getValue();
        host2()->reportLatency(latency < 0 ? 0 : latency);
    }
}

void KV_RepLat::subProcess(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    // A plain loop stays correct when the host hands both pins one buffer.
    for (int32_t i = 0; i < count; ++i) out[i] = in[i];
}
