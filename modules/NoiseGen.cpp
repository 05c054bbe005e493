#include "modules/NoiseGen.h"

#include "framework/mp_factory.h"

REGISTER_DSP(NoiseGen, u"NoiseGen");

namespace {

inline uint32_t xorshift(uint32_t s) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

}  // namespace

NoiseGen::NoiseGen() {
    registerPin(pinType);
    registerPin(pinGate);
    registerPin(pinSeed);
    registerPin(pinOutput);
    // Gated off until told otherwise; writing silence keeps the output defined
    // even if the host never sends the gate.
    selectSpanRoutine(&NoiseGen::silence);
}

void NoiseGen::selectNoise() {
    if (pinType.getValue() == 0) {
        selectSpanRoutine(&NoiseGen::whiteNoise);
    } else {
        selectSpanRoutine(&NoiseGen::pinkNoise);
    }
}

void NoiseGen::onPinsChanged() {
    // Re-seeding restarts the generator only; the pink rows and counter stay.
    if (pinSeed.isUpdated()) state_ = static_cast<uint32_t>(pinSeed.getValue());
    if (pinType.isUpdated() && pinGate.getValue()) selectNoise();
    if (pinGate.isUpdated()) {
        if (pinGate.getValue()) {
            selectNoise();
            pinOutput.reportStreaming(true, -1);
        } else {
            selectSpanRoutine(&NoiseGen::silence);
            pinOutput.reportStreaming(false, -1);
        }
    }
}

void NoiseGen::whiteNoise(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    const double scale = 1.0 / 4294967295.0;
    uint32_t s = state_;
    for (int32_t i = 0; i < count; ++i) {
        s = xorshift(s);
        out[i] = static_cast<float>(static_cast<double>(s) * scale - 0.5);
    }
    state_ = s;
}

void NoiseGen::pinkNoise(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    // Eight values of at most 2^29 - 1 each: the largest sum maps to +1.0.
    const double scale = 1.0 / 2147483644.0;
    uint32_t s = state_;
    uint32_t c = counter_;
    uint32_t r1 = rows_[0], r2 = rows_[1], r3 = rows_[2], r4 = rows_[3];
    uint32_t r5 = rows_[4], r6 = rows_[5], r7 = rows_[6];
    for (int32_t i = 0; i < count; ++i) {
        s = xorshift(s) & 0x1FFFFFFFu;
        const uint32_t v = s;
        // Row k is refreshed every 2^k samples, all of them at c = 0.
        if ((c & 1u) == 0) r1 = v;
        if ((c & 3u) == 0) r2 = v;
        if ((c & 7u) == 0) r3 = v;
        if ((c & 15u) == 0) r4 = v;
        if ((c & 31u) == 0) r5 = v;
        if ((c & 63u) == 0) r6 = v;
        if ((c & 127u) == 0) r7 = v;
        const uint32_t sum = v + r1 + r2 + r3 + r4 + r5 + r6 + r7;
        out[i] = static_cast<float>(static_cast<double>(sum) * scale - 1.0);
        c = (c + 1u) & 255u;
    }
    state_ = s;
    counter_ = c;
    rows_[0] = r1;
    rows_[1] = r2;
    rows_[2] = r3;
    rows_[3] = r4;
    rows_[4] = r5;
    rows_[5] = r6;
    rows_[6] = r7;
}

void NoiseGen::silence(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    for (int32_t i = 0; i < count; ++i) out[i] = 0.0f;
}
