#include "modules/DCBlocker.h"

#include "framework/mp_factory.h"

REGISTER_DSP(DCBlocker, u"DC_Blocker");

DCBlocker::DCBlocker() {
    registerPin(pinSignal);
    registerPin(pinCoefficient);
    registerPin(pinOutput);
    selectSpanRoutine(&DCBlocker::subProcess);
}

void DCBlocker::onPinsChanged() {
    // R is read per span; only the signal's streaming state matters here.
    if (pinSignal.isUpdated()) settle_.follow(*this, pinSignal, pinOutput);
}

void DCBlocker::subProcess(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();

    if (settle_.state == SettledOutput::kSettled) {
        for (int32_t i = 0; i < count; ++i) out[i] = 0.0f;
        return;
    }

    float r = pinCoefficient.getValue();
    if (r < 0.0f) r = 0.0f;
    const bool bypass = r >= 1.0f;  // a NaN R filters (and goes NaN), as written
    float x1 = x1_;
    float y1 = y1_;
    for (int32_t i = 0; i < count; ++i) {
        const float x = in[i];
        const float y = bypass ? x : r * y1 + (x - x1);
        out[i] = y;
        if (settle_.state == SettledOutput::kWatching && y == 0.0f)
            settle_.settle(*this, pinOutput, spanOffset() + i);
        x1 = x;
        y1 = y;
    }
    x1_ = x1;
    y1_ = y1;
}
