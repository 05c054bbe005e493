#include "modules/Morph2D.h"

#include <cmath>

#include "framework/mp_factory.h"
#include "modules/MorphCurve.h"

REGISTER_DSP(Morph2D, u"Morph2D");

Morph2D::Morph2D() {
    registerPin(pinPosition);
    registerPin(pinFocus);
    registerPin(pinCurve);
    registerPin(pinOutput);
    selectSpanRoutine(&Morph2D::subProcess);
}

int32_t Morph2D::open() {
    MpBase2::open();
    openMixedInputs(2);
    weights_.assign(inputs_.size(), 0.0f);
    return mp::MP_OK;
}

void Morph2D::onPinsChanged() {
    if (pinCurve.isUpdated()) curve_ = pinCurve.getValue() != 0;
    bool streaming = pinPosition.isStreaming() || pinFocus.isStreaming();
    pinOutput.reportStreaming(streaming || anyMixedInputStreaming(), -1);
}

void Morph2D::subProcess(int32_t count) {
    readMixedInputs();
    if (curve_) {
        mix<true>(count);
    } else {
        mix<false>(count);
    }
}

template <bool kCurve>
void Morph2D::mix(int32_t count) {
    const float* position = pinPosition.buffer() + spanOffset();
    const float* focus = pinFocus.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    const float* const* in = reads_.data();
    float* weight = weights_.data();
    const int32_t n = static_cast<int32_t>(reads_.size());
    const float nf = static_cast<float>(n);
    const float share = 1.0f / nf;  // unused (infinite) when n is 0
    const float* table = table_;
    float lastX = lastPosition_;
    float lastY = lastFocus_;

    for (int32_t i = 0; i < count; ++i) {
        const float x = morph::clamp01(position[i]);
        const float y = morph::clamp01(focus[i]);
        // Weights follow the steering only when it moves.
        if (x != lastX || y != lastY) {
            lastX = x;
            lastY = y;
            const float p = x * nf;
            for (int32_t k = n - 1; k >= 0; --k) {
                // Input 0 also sits at position n, closing the ring.
                const float pk = (k == 0 && p > nf - 1.0f) ? p - nf : p;
                const float t = 1.0f - std::fabs(pk - static_cast<float>(k));
                const float m = (t < 0.0f ? 0.0f : t * y) + 1.0f - y;
                weight[k] = m * y + share * m * (1.0f - y);
            }
        }
        float sum = 0.0f;
        for (int32_t k = 0; k < n; ++k) {
            const float w = kCurve ? morph::curve(table, weight[k]) : weight[k];
            sum += w * in[k][i];
        }
        out[i] = sum;
    }
    lastPosition_ = lastX;
    lastFocus_ = lastY;
}
