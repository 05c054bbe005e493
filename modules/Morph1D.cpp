#include "modules/Morph1D.h"

#include <cmath>

#include "framework/mp_factory.h"
#include "modules/MorphCurve.h"

REGISTER_DSP(Morph1D, u"Morph1D");

Morph1D::Morph1D() {
    registerPin(pinPosition);
    registerPin(pinCurve);
    registerPin(pinOutput);
    selectSpanRoutine(&Morph1D::subProcess);
}

int32_t Morph1D::open() {
    MpBase2::open();
    openMixedInputs(1);
    return mp::MP_OK;
}

void Morph1D::onPinsChanged() {
    if (pinCurve.isUpdated()) curve_ = pinCurve.getValue() != 0;
    bool streaming = pinPosition.isStreaming();
    pinOutput.reportStreaming(streaming || anyMixedInputStreaming(), -1);
}

void Morph1D::subProcess(int32_t count) {
    readMixedInputs();
    if (curve_) {
        mix<true>(count);
    } else {
        mix<false>(count);
    }
}

template <bool kCurve>
void Morph1D::mix(int32_t count) {
    const float* position = pinPosition.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    const float* const* in = reads_.data();
    const int32_t n = static_cast<int32_t>(reads_.size());
    const float last = static_cast<float>(n - 1);
    const float* table = table_;

    for (int32_t i = 0; i < count; ++i) {
        const float s = morph::clamp01(position[i]) * last;
        float sum = 0.0f;
        // Every input is weighted, even at 0, so a NaN anywhere is heard.
        for (int32_t k = 0; k < n; ++k) {
            float w = 1.0f - std::fabs(s - static_cast<float>(k));
            if (w < 0.0f) w = 0.0f;
            if constexpr (kCurve) w = morph::curve(table, w);
            sum += w * in[k][i];
        }
        out[i] = sum;
    }
}
