#include "modules/Integrator.h"

#include "framework/mp_factory.h"

REGISTER_DSP(Integrator, u"Integrator");

namespace {

enum Pass { kPlain, kWatch, kKeepZero };

// Samples i .. count-1 of the leaky sum. kWatch stops just past the first
// sample that repeats the previous output (with zeroOnly, a repeated 0) and
// sets *rested. kKeepZero follows a repeated 0 after its report: the sum
// stays 0 for any finite leak, and a non-finite one, which would turn it NaN
// while the output is reported steady, leaves the held 0 in place. Returns
// where it stopped.
template <Pass kPass>
int32_t integrate(const float* in, const float* leak, float* out, int32_t i, int32_t count,
                  float& y1, bool zeroOnly, bool* rested) {
    float y0 = y1;
    for (; i < count; ++i) {
        const float c = leak[i];
        float held;
        if (c < -1.0f) {
            held = -y0;
        } else if (c > 1.0f) {
            held = y0;
        } else {
            held = c * y0;  // a NaN leak makes the sum NaN
        }
        float y = held + in[i];
        if (kPass == kKeepZero && !(y == y0)) y = y0;
        out[i] = y;
        const bool rest = y == y0 && (!zeroOnly || y == 0.0f);
        y0 = y;
        if (kPass == kWatch && rest) {
            *rested = true;
            ++i;
            break;
        }
    }
    y1 = y0;
    return i;
}

}  // namespace

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

    // With a streaming leak a repeated output may move again at the next
    // sample, so only a repeated 0 is a resting one (with x = 0 the sum then
    // stays 0 whatever the leak does); a static leak settles at any repeat.
    int32_t i = 0;
    bool rested = false;
    const bool zeroOnly = pinCoefficient.isStreaming();
    if (settle_.state == SettledOutput::kWatching) {
        i = integrate<kWatch>(in, leak, out, 0, count, y1, zeroOnly, &rested);
        if (rested) settle_.settle(*this, pinOutput, spanOffset() + i - 1);
    }
    if (rested && zeroOnly) {
        integrate<kKeepZero>(in, leak, out, i, count, y1, false, nullptr);
    } else {
        integrate<kPlain>(in, leak, out, i, count, y1, false, nullptr);
    }
    y1_ = y1;
}
