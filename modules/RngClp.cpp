#include "modules/RngClp.h"

#include "framework/mp_factory.h"

REGISTER_DSP(RngClp, u"RngClp");

RngClp::RngClp() {
    registerPin(pinSignal);
    registerPin(pinLower);
    registerPin(pinUpper);
    registerPin(pinOutput);
    selectSpanRoutine(&RngClp::subProcess);
}

// The output changes exactly when one of the three inputs does; with all of
// them static the base's automatic sleep takes over.
void RngClp::onPinsChanged() {
    const bool streaming =
        pinSignal.isStreaming() || pinLower.isStreaming() || pinUpper.isStreaming();
    pinOutput.reportStreaming(streaming, -1);
}

void RngClp::subProcess(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    const float* lower = pinLower.buffer() + spanOffset();
    const float* upper = pinUpper.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();

    // Lower bound first, so an inverted range (lo > hi) yields hi. Comparisons
    // with NaN are false: a NaN bound is ignored, a NaN signal passes.
    for (int32_t i = 0; i < count; ++i) {
        const float x = in[i];
        const float m = (lower[i] > x) ? lower[i] : x;
        out[i] = (m > upper[i]) ? upper[i] : m;
    }
}
