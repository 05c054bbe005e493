#include "modules/KV_Crusher.h"

#include <cmath>

#include "framework/mp_factory.h"

REGISTER_DSP(KV_Crusher, u"KV_Crusher");

KV_Crusher::KV_Crusher() {
    registerPin(pinInput);
    registerPin(pinRate);
    registerPin(pinBits);
    registerPin(pinOutput);
    selectSpanRoutine(&KV_Crusher::subProcess);
}

void KV_Crusher::onPinsChanged() {
    if (pinInput.isUpdated()) {
        // Waking up, or the input coming to rest: take a sample at once, so a
        // static input is held at its own level from this offset on rather
        // than at a stale one until the next clock tick.
        if (!pinOutput.isStreaming() || !pinInput.isStreaming()) phase_ = 1.0f;
        pinOutput.reportStreaming(pinInput.isStreaming(), -1);
    }
    const uint32_t previousMask = mask_;
    if (pinRate.isUpdated()) updateRate();
    if (pinBits.isUpdated()) updateResolution();
    if (mask_ != previousMask && !pinInput.isStreaming() && !pinInput.isUpdated()) {
        // A static input gets a new level: take it now and announce the new
        // constant, so the host does not keep the old one. A new rate alone
        // keeps the level (the held sample is the static input's).
        phase_ = 1.0f;
        pinOutput.reportStreaming(false, -1);
    }
}

void KV_Crusher::updateRate() {
    float sampleRate = 0.0f;
    if (host() != nullptr) host()->readSampleRate(&sampleRate);
    float r = pinRate.getValue();
    if (!(r > 0.0f)) r = sampleRate;  // <= 0 or NaN: no reduction
    float increment = r / sampleRate;
    // Rates at or above the host's take every sample; capping the increment
    // keeps the phase from growing without bound (a huge phase could no
    // longer count down once the rate is lowered again).
    if (!(increment <= 1.0f)) increment = 1.0f;
    increment_ = increment;
}

void KV_Crusher::updateResolution() {
    const int32_t n = pinBits.getValue();
    if (n > 31) {
        mask_ = kAllBits;
        offset_ = 0.0f;
    } else {
        const int32_t bits = n < 1 ? 1 : n;
        mask_ = ~((uint32_t{1} << (32 - bits)) - 1u);  // the top `bits` bits
        offset_ = std::ldexp(1.0f, -bits);             // half a step: 0.5 / 2^(bits-1)
    }
}

void KV_Crusher::subProcess(int32_t count) {
    if (mask_ == kAllBits) {
        run<false>(count);
    } else {
        run<true>(count);
    }
}

template <bool kQuantise>
void KV_Crusher::run(int32_t count) {
    const float* in = pinInput.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();

    const uint32_t mask = mask_;
    const float offset = offset_;
    const float increment = increment_;
    const float lsb = 4.656612873077392578125e-10f;  // 2^-31
    const float top = static_cast<float>(mask) * lsb - 1.0f + offset;
    float phase = phase_;
    float held = held_;
    for (int32_t i = 0; i < count; ++i) {
        if (phase >= 1.0f) {
            phase = phase - 1.0f;
            const float x = in[i];
            if (!kQuantise) {
                held = x + offset;
            } else if (x <= -1.0f) {
                held = -1.0f + offset;
            } else if (x >= 1.0f) {
                held = top;
            } else if (x != x) {
                held = x;  // NaN has no level; pass it on instead of converting it
            } else {
                int64_t k = static_cast<int64_t>((x + 1.0f) * 2147483648.0f);
                // Inputs just below 1.0 round up to 2^32 in single precision;
                // keep them on the top level instead of wrapping to the bottom.
                if (k > int64_t{kAllBits}) k = int64_t{kAllBits};
                k &= int64_t{mask};
                held = static_cast<float>(k) * lsb - 1.0f + offset;
            }
        }
        out[i] = held;
        phase = phase + increment;
    }
    phase_ = phase;
    held_ = held;
}
