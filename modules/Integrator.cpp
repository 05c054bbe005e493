#include "modules/Integrator.h"

#include "framework/mp_factory.h"

REGISTER_DSP(Integrator, u"Integrator");

Integrator::Integrator() {
    registerPin(pinSignal);
    registerPin(pinCoefficient);
    registerPin(pinOutput);
    selectSpanRoutine(&Integrator::subProcess);
}

void Integrator::onPinsChanged() {
    if (pinSignal.isUpdated()) settle_.follow(*this, pinSignal, pinOutput);
    // A new leak can move a settled output again.
    if (pinCoefficient.isUpdated() && settle_.state == SettledOutput::kSettled)
        settle_.rewatch(*this, pinOutput);
}

void Integrator::subProcess(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    const float* leak = pinCoefficient.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();

    float y1 = y1_;
    if (settle_.state == SettledOutput::kSettled) {
        for (int32_t i = 0; i < count; ++i) out[i] = y1;
        return;
    }

    // A repeated output is a resting one only while the leak holds still too;
    // a streaming leak would move the output again after the report.
    const bool leakStatic = !pinCoefficient.isStreaming();
    for (int32_t i = 0; i < count; ++i) {
        const float c = leak[i];
        float held;
        if (c < -1.0f) {
            held = -y1;
        } else if (c > 1.0f) {
            held = y1;
        } else {
            held = c * y1;  // a NaN leak makes the sum NaN
        }
        const float y = held + in[i];
        if (settle_.state == SettledOutput::kWatching && leakStatic && y == y1)
            settle_.settle(*this, pinOutput, spanOffset() + i);
        out[i] = y;
        y1 = y;
    }
    y1_ = y1;
}
