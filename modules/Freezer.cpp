#include "modules/Freezer.h"

#include "framework/mp_factory.h"

REGISTER_DSP(Freezer, u"Freezer");

Freezer::Freezer() {
    registerPin(pinInput);
    registerPin(pinControl);
    registerPin(pinPolarity);
    registerPin(pinHeldSample);
    registerPin(pinOutput);
    selectSpanRoutine(&Freezer::subProcess);
}

void Freezer::onPinsChanged() {
    if (pinPolarity.isUpdated()) passWhileHigh_ = pinPolarity.getValue() == 1;
    if (pinHeldSample.isUpdated()) holdPrevious_ = pinHeldSample.getValue() == 1;
    pinOutput.reportStreaming(pinInput.isStreaming(), -1);
}

void Freezer::subProcess(int32_t count) {
    const float* in = pinInput.buffer() + spanOffset();
    const float* control = pinControl.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    const bool passWhileHigh = passWhileHigh_;
    const bool holdPrevious = holdPrevious_;
    bool frozen = frozen_;
    float last = last_;
    float held = held_;
    for (int32_t i = 0; i < count; ++i) {
        const float x = in[i];
        const bool high = control[i] > 0.0f;  // NaN is not high
        const bool freeze = high != passWhileHigh;
        if (!freeze) {
            out[i] = x;
            if (frozen) pinOutput.reportStreaming(pinInput.isStreaming(), spanOffset() + i);
        } else {
            if (!frozen) {
                held = holdPrevious ? last : x;
                pinOutput.reportStreaming(false, spanOffset() + i);
            }
            out[i] = held;
        }
        frozen = freeze;
        last = x;
    }
    frozen_ = frozen;
    last_ = last;
    held_ = held;
}
