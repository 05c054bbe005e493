#include "modules/DCBlocker.h"

#include "framework/mp_factory.h"

REGISTER_DSP(DCBlocker, u"DC_Blocker");

namespace {

// Samples i .. count-1 of the filter (or of the bypass, for R >= 1), the
// choice made once per span. While watching, it stops just past the first
// output of exactly 0.0 and returns that index; otherwise it returns count.
template <bool kBypass, bool kWatch>
int32_t filter(const float* in, float* out, int32_t i, int32_t count, float r, float& x1,
               float& y1) {
    float a = x1;
    float b = y1;
    for (; i < count; ++i) {
        const float x = in[i];
        const float y = kBypass ? x : r * b + (x - a);
        out[i] = y;
        a = x;
        b = y;
        if (kWatch && y == 0.0f) {
            ++i;
            break;
        }
    }
    x1 = a;
    y1 = b;
    return i;
}

}  // namespace

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
    int32_t i = 0;
    if (settle_.state == SettledOutput::kWatching) {
        i = bypass ? filter<true, true>(in, out, 0, count, r, x1_, y1_)
                   : filter<false, true>(in, out, 0, count, r, x1_, y1_);
        // Every 0.0 stops the watch, so a last sample of 0.0 is the settling one.
        if (i > 0 && out[i - 1] == 0.0f) settle_.settle(*this, pinOutput, spanOffset() + i - 1);
    }
    if (bypass) {
        filter<true, false>(in, out, i, count, r, x1_, y1_);
    } else {
        filter<false, false>(in, out, i, count, r, x1_, y1_);
    }
}
