#include "modules/KV_ZXDet.h"

#include "framework/mp_factory.h"

REGISTER_DSP(KV_ZXDet, u"KV_ZXDet");

KV_ZXDet::KV_ZXDet() {
    registerPin(pinSignal);
    registerPin(pinDirection);
    registerPin(pinOutput);
    selectSpanRoutine(&KV_ZXDet::subProcess);
}

void KV_ZXDet::onPinsChanged() {
    // Any streaming event of the signal may bring a crossing (a new constant
    // can lie across zero from the last sample), so wake the output.
    if (pinSignal.isUpdated()) pinOutput.reportStreaming(true, -1);
    if (pinDirection.isUpdated()) direction_ = pinDirection.getValue();
}

void KV_ZXDet::subProcess(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();

    if (!pinOutput.isStreaming()) {
        for (int32_t i = 0; i < count; ++i) out[i] = 0.0f;
        return;
    }

    const float* in = pinSignal.buffer() + spanOffset();
    // Unknown directions detect nothing.
    const bool rising = direction_ == kRising || direction_ == kBoth;
    const bool falling = direction_ == kFalling || direction_ == kBoth;
    float p = previous_;
    for (int32_t i = 0; i < count; ++i) {
        const float c = in[i];
        // Strict on both sides: a sample of exactly 0.0 breaks a crossing.
        const bool up = p < 0.0f && c > 0.0f;
        const bool down = p > 0.0f && c < 0.0f;
        out[i] = ((rising && up) || (falling && down)) ? 1.0f : 0.0f;
        p = c;
    }

    // A steady input produces no more pulses once a span ends without one.
    const bool endsInZero = count == 0 || out[count - 1] == 0.0f;
    if (!pinSignal.isStreaming() && endsInZero)
        pinOutput.reportStreaming(false, spanOffset() + count);
    previous_ = p;
}
