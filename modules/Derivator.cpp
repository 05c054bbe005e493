#include "modules/Derivator.h"

#include "framework/mp_factory.h"

REGISTER_DSP(Derivator, u"Derivator");

Derivator::Derivator() {
    registerPin(pinSignal);
    registerPin(pinOutput);
    selectSpanRoutine(&Derivator::subProcess);
}

// Any change wakes the module; it settles again from the samples themselves.
void Derivator::onPinsChanged() {
    pinOutput.reportStreaming(true, -1);
    allowSleep(false);
    settled_ = false;
}

void Derivator::subProcess(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();

    if (settled_) {
        for (int32_t i = 0; i < count; ++i) out[i] = 0.0f;
        return;
    }

    float x1 = x1_;
    int32_t i = 0;
    if (!pinSignal.isStreaming()) {
        // A static input: watch for the first zero difference, then the rest
        // of the span runs in the plain loop below.
        for (; i < count; ++i) {
            const float x = in[i];
            const float y = x - x1;
            out[i] = y;
            x1 = x;
            if (y == 0.0f) {
                settled_ = true;
                allowSleep(true);
                pinOutput.reportStreaming(false, spanOffset() + i);
                ++i;
                break;
            }
        }
    }
    for (; i < count; ++i) {
        const float x = in[i];
        out[i] = x - x1;
        x1 = x;
    }
    x1_ = x1;
}
