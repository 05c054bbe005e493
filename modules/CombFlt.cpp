#include "modules/CombFlt.h"

#include <cmath>

#include "framework/mp_factory.h"

REGISTER_DSP(CombFlt, u"CombFlt");

CombFlt::CombFlt() {
    registerPin(pinInput);
    registerPin(pinDelay);
    registerPin(pinScale);
    registerPin(pinFeedback);
    registerPin(pinOutput);
    selectSpanRoutine(&CombFlt::subProcess);
}

void CombFlt::onPinsChanged() {
    // Only the signal input wakes the filter; delay and feedback never do.
    if (pinInput.isUpdated()) pinOutput.reportStreaming(true, -1);
}

void CombFlt::subProcess(int32_t count) {
    if (!pinOutput.isStreaming()) {
        // Decayed (or not started): silence, the line keeps its contents.
        float* out = pinOutput.buffer() + spanOffset();
        for (int32_t i = 0; i < count; ++i) out[i] = 0.0f;
        return;
    }
    if (pinScale.getValue() == 1) {
        run<true>(count);
    } else {
        run<false>(count);
    }
    // The tail has died away while the input holds still: stop streaming.
    // (An empty span reports at offset -1, which means its own start.)
    if (!pinInput.isStreaming() && quiet_ > 4999) {
        pinOutput.reportStreaming(false, spanOffset() + count - 1);
        quiet_ = 0;
    }
}

template <bool kFrequency>
void CombFlt::run(int32_t count) {
    const float* in = pinInput.buffer() + spanOffset();
    const float* delay = pinDelay.buffer() + spanOffset();
    const float* feedback = pinFeedback.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();

    float sampleRate = 0.0f;
    if (host() != nullptr) host()->readSampleRate(&sampleRate);
    const float r = 0.001f * sampleRate;  // samples per period of 1 kHz

    float* const line = line_;
    int32_t w = w_;
    float s = s_;
    int32_t quiet = quiet_;
    for (int32_t n = 0; n < count; ++n) {
        const float x = in[n];
        float t = 10.0f * delay[n];
        if (kFrequency) t = r / t;

        float f = feedback[n];
        if (f > 1.0f) {
            f = 1.0f;
        } else if (f < -1.0f) {
            f = -1.0f;
        } else if (f != f) {
            f = 0.0f;  // a NaN feedback passes the input rather than poisoning the loop
        }

        int32_t u;
        float v;
        if (!(t >= 1.0f)) {  // also a NaN delay: the shortest delay
            u = 1;
            v = 1.0f;
        } else if (t > static_cast<float>(kMaxDelay)) {
            u = kMaxDelay;
            v = 1.0f;
        } else {
            u = static_cast<int32_t>(t);
            v = 1.0f - (t - static_cast<float>(u));
        }

        int32_t i = w - u;
        if (i < 0) i += kLineSize;
        const int32_t older = i == 0 ? kLineSize - 1 : i - 1;

        // First-order allpass between the two neighbours; v = 1 reads delay u.
        s = line[older] + (line[i] - s) * v;
        const float y = (s - x) * f + x;
        out[n] = y;
        line[w] = y;

        // Saturated: only "more than 4999" matters, and a long quiet stream must not overflow.
        if (std::fabs(y) < 1e-5f) {
            if (quiet < kLineSize) ++quiet;
        } else {
            quiet = 0;
        }
        if (++w == kLineSize) w = 0;
    }
    w_ = w;
    s_ = s;
    quiet_ = quiet;
}
