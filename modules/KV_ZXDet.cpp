#include "modules/KV_ZXDet.h"

#include "framework/mp_factory.h"

REGISTER_DSP(KV_ZXDet, u"KV_ZXDet");

namespace {

// Pulses for the crossings of one direction setting, which is fixed for the
// span: the loop itself tests only the samples. Returns the last sample.
template <bool kRising, bool kFalling>
float scan(const float* in, float* out, int32_t count, float p) {
    for (int32_t i = 0; i < count; ++i) {
        const float c = in[i];
        // Strict on both sides: a sample of exactly 0.0 breaks a crossing.
        const bool up = kRising && p < 0.0f && c > 0.0f;
        const bool down = kFalling && p > 0.0f && c < 0.0f;
        out[i] = (up || down) ? 1.0f : 0.0f;
        p = c;
    }
    return p;
}

}  // namespace

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
    float p = previous_;
    switch (direction_) {
        case kRising:
            p = scan<true, false>(in, out, count, p);
            break;
        case kFalling:
            p = scan<false, true>(in, out, count, p);
            break;
        case kBoth:
            p = scan<true, true>(in, out, count, p);
            break;
        default:
            p = scan<false, false>(in, out, count, p);
            break;  // detects nothing
    }

    // A steady input produces no more pulses once a span ends without one.
    const bool endsInZero = count == 0 || out[count - 1] == 0.0f;
    if (!pinSignal.isStreaming() && endsInZero)
        pinOutput.reportStreaming(false, spanOffset() + count);
    previous_ = p;
}
