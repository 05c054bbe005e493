#include "modules/OFFDelay.h"

#include <cmath>
#include <cstdint>

#include "framework/mp_factory.h"

REGISTER_DSP(OFFDelay, u"OFF Delay");

OFFDelay::OFFDelay() {
    registerPin(pinIdle);
    registerPin(pinActive);
    registerPin(pinHoldMs);
    registerPin(pinGate);
    registerPin(pinOutput);
    selectSpanRoutine(&OFFDelay::subProcess);
}

void OFFDelay::onPinsChanged() {
    if (pinIdle.isUpdated() || pinActive.isUpdated() || pinGate.isUpdated())
        pinOutput.reportStreaming(true, -1);

    if (pinHoldMs.isUpdated()) {
        const float t = pinHoldMs.getValue();
        const float m = t < 0.0f ? 0.0f : t * 0.001f;
        float sr = 0.0f;
        if (host() != nullptr) host()->readSampleRate(&sr);
        const float samples = m * sr;
        // A NaN time holds nothing; a hold beyond the int range is clamped
        // rather than converted out of range.
        if (!(samples >= 1.0f)) {
            holdLength_ = 0;
        } else if (samples >= 2147483648.0f) {
            holdLength_ = INT32_MAX;
        } else {
            holdLength_ = static_cast<int32_t>(std::trunc(samples));
        }
    }
}

void OFFDelay::subProcess(int32_t count) {
    const int32_t offset = spanOffset();
    const float* idle = pinIdle.buffer() + offset;
    const float* active = pinActive.buffer() + offset;
    const float* gate = pinGate.buffer() + offset;
    float* out = pinOutput.buffer() + offset;

    const int32_t hold = holdLength_;
    int32_t countdown = countdown_;
    bool previousGate = previousGate_;
    bool lastFromIdle = false;
    for (int32_t i = 0; i < count; ++i) {
        const bool g = gate[i] > 0.0f;  // NaN is off
        lastFromIdle = false;
        if (g) {
            // The hold always starts from its full length when the gate falls.
            if (!previousGate) {
                countdown = hold;
                if (!pinOutput.isStreaming()) pinOutput.reportStreaming(true, offset + i);
            }
            out[i] = active[i];
        } else if (countdown != 0) {
            --countdown;
            out[i] = active[i];
        } else {
            out[i] = idle[i];
            lastFromIdle = true;
        }
        previousGate = g;
    }
    countdown_ = countdown;
    previousGate_ = previousGate;

    // Back on a steady idle source: the output holds from here on.
    if (lastFromIdle && !pinIdle.isStreaming() && pinOutput.isStreaming())
        pinOutput.reportStreaming(false, offset + count);
}
