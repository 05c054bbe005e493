#include "modules/Freezer.h"

#include "framework/mp_factory.h"

REGISTER_DSP(Freezer, u"Freezer");

Freezer::Freezer() {
    registerPin(pinInput);
    registerPin(pinControl);
    registerPin(pinPolarity);
    registerPin(pinHeldSample);
    registerPin(pinOutput);
    selectLoop();
}

void Freezer::selectLoop() {
    if (passWhileHigh_) {
        if (holdPrevious_) {
            selectSpanRoutine(&Freezer::subProcess<true, true>);
        } else {
            selectSpanRoutine(&Freezer::subProcess<true, false>);
        }
    } else if (holdPrevious_) {
        selectSpanRoutine(&Freezer::subProcess<false, true>);
    } else {
        selectSpanRoutine(&Freezer::subProcess<false, false>);
    }
}

void Freezer::onPinsChanged() {
    if (pinPolarity.isUpdated()) passWhileHigh_ = pinPolarity.getValue() == 1;
    if (pinHeldSample.isUpdated()) holdPrevious_ = pinHeldSample.getValue() == 1;
    selectLoop();
    pinOutput.reportStreaming(pinInput.isStreaming(), -1);
}

template <bool kPassWhileHigh, bool kHoldPrevious>
void Freezer::subProcess(int32_t count) {
    const float* in = pinInput.buffer() + spanOffset();
    const float* control = pinControl.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    const bool inputStreaming = pinInput.isStreaming();
    bool frozen = frozen_;
    float last = last_;
    float held = held_;
    for (int32_t i = 0; i < count; ++i) {
        const float x = in[i];
        const bool high = control[i] > 0.0f;  // NaN is not high
        const bool freeze = high != kPassWhileHigh;
        if (!freeze) {
            out[i] = x;
            if (frozen) pinOutput.reportStreaming(inputStreaming, spanOffset() + i);
        } else {
            if (!frozen) {
                held = kHoldPrevious ? last : x;
                pinOutput.reportStreaming(false, spanOffset() + i);
            }
            out[i] = held;
        }
        frozen = freeze;
        if constexpr (kHoldPrevious) last = x;
    }
    // The previous sample is kept either way: the setting may change later.
    if (count > 0) last = in[count - 1];
    frozen_ = frozen;
    last_ = last;
    held_ = held;
}
