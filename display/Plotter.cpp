#include "display/Plotter.h"

#include <algorithm>
#include <cstdint>

#include "framework/mp_factory.h"

REGISTER_DSP(Plotter, u"Plotter");

Plotter::Plotter() {
    registerPin(pinSignal);
    registerPin(pinIntervalMs);
    registerPin(pinRange);
    selectSpanRoutine(&Plotter::capture);
    allowSleep(false);
}

void Plotter::onPinsChanged() {
    if (pinIntervalMs.isUpdated()) {
        float rate = 0.0f;
        if (host() != nullptr) host()->readSampleRate(&rate);
        counter_ = 0;
        // Intervals below 10 ms count as 10 ms.
        const float samples = 0.001f * (std::max(10.0f, pinIntervalMs.getValue()) * rate);
        // At least one sample per column: at very low sample rates (or none)
        // every sample becomes a column instead of the chart stopping. Huge
        // intervals stop at the largest period the counter can reach.
        if (samples >= 2147483520.0f) {
            period_ = INT32_MAX;
        } else if (samples >= 1.0f) {
            period_ = static_cast<int32_t>(samples);
        } else {
            period_ = 1;
        }
    }
    if (pinRange.isUpdated()) {
        const float b = 0.1f * pinRange.getValue();
        gain_ = b < 0.00001f ? 100000.0f : 1.0f / b;
    }
}

void Plotter::capture(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    const float gain = gain_;
    const uint32_t period = static_cast<uint32_t>(period_);
    uint32_t counter = counter_;
    float minimum = extremes_[0];
    float maximum = extremes_[1];
    for (int32_t i = 0; i < count; ++i) {
        counter = counter + 1;
        const float v = in[i] * gain;
        maximum = std::max(v, maximum);
        minimum = std::min(v, minimum);
        if (counter == period) {
            extremes_[0] = minimum;
            extremes_[1] = maximum;
            if (host() != nullptr) host()->postGuiMessage(0, 8, extremes_);
            maximum = -1.0e30f;
            minimum = 1.0e30f;
            counter = 0;
        }
    }
    extremes_[0] = minimum;
    extremes_[1] = maximum;
    counter_ = counter;
}
