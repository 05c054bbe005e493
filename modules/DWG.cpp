#include "modules/DWG.h"

#include <cmath>

#include "framework/mp_factory.h"
#include "modules/DWGTables.h"

REGISTER_DSP(DWG, u"DWG");

namespace {

// Clamps that also give not-a-number a defined place, so that no input can
// drive an index out of its table or line.
inline float clampOrLow(float v, float lo, float hi) {
    return v >= lo ? (v <= hi ? v : hi) : lo;
}
// Feedback: out-of-range values stop at the bounds, not-a-number means none.
inline float clampFeedback(float a) {
    if (a >= -1.0f) return a <= 1.0f ? a : 1.0f;
    return a < -1.0f ? -1.0f : 0.0f;
}

inline int32_t indexOf(int32_t write, float length) {
    int32_t i = write - static_cast<int32_t>(length);
    if (i < 0) i += DWG::kLineSize;
    return i;
}

inline float coefficientOf(float length) {
    const float f = length - std::trunc(length);
    return (1.0f - f) / (1.0f + f);
}

// First-order allpass read between X[i] and the sample before it; near-integer
// lengths read X[i] directly.
inline float allpassRead(const float* x, int32_t i, float m, float& s) {
    float v;
    if (m >= 0.9f) {
        v = x[i];
    } else {
        const int32_t before = i == 0 ? DWG::kLineSize - 1 : i - 1;
        v = (x[i] - s) * m + x[before];
    }
    s = v;
    return v;
}

inline int32_t advance(int32_t i) {
    return i + 1 == DWG::kLineSize ? 0 : i + 1;
}

using LoopFn = void (DWG::*)(int32_t, float);

}  // namespace

DWG::DWG() {
    registerPin(pinEnable);
    registerPin(pinExcitation);
    registerPin(pinPitch);
    registerPin(pinPitchScale);
    registerPin(pinCrossfade);
    registerPin(pinGate);
    registerPin(pinFeedback);
    registerPin(pinRelease);
    registerPin(pinDecayScaling);
    registerPin(pinDamping);
    registerPin(pinPeriodCorrection);
    registerPin(pinHalfExcitation);
    registerPin(pinLoss);
    registerPin(pinClear);
    registerPin(pinOutput);
    // No loss until the loss pin says otherwise.
    dwg::fillLoss(loss_, 0.0f);
    selectSpanRoutine(&DWG::subProcess);
}

int32_t DWG::open() {
    if (host() != nullptr) {
        float rate = 0.0f;
        host()->readSampleRate(&rate);
        void* memory = nullptr;
        int32_t needInit = 0;
        host()->requestSharedTable(u"ZOLAN DWG PCORR TABLE", &memory, -1.0f, dwg::kSharedBytes,
                                   &needInit);
        if (memory != nullptr && needInit != 0)
            dwg::fillPeriodCorrection(static_cast<float*>(memory));
        periodCorrection_ = static_cast<const float*>(memory);

        memory = nullptr;
        needInit = 0;
        host()->requestSharedTable(u"ZOLAN DWG FBSCAL TABLE", &memory, rate, dwg::kSharedBytes,
                                   &needInit);
        if (memory != nullptr && needInit != 0)
            dwg::fillFeedbackScaling(static_cast<float*>(memory), rate);
        decayScaling_ = static_cast<const float*>(memory);
    }
    MpBase2::open();
    return 0;
}

void DWG::clearLoop() {
    for (int32_t i = 0; i < kLineSize; ++i) {
        loop_[i] = 0.0f;
        excitation_[i] = 0.0f;
    }
    lowpass_ = 0.0f;
    loopState1_ = 0.0f;
    loopState2_ = 0.0f;
    excState1_ = 0.0f;
    excState2_ = 0.0f;
    lossState_ = 0.0f;
    lossPrev_ = 0.0f;
}

void DWG::clearAll() {
    clearLoop();
    write_ = 0;
}

void DWG::onPinsChanged() {
    if (pinEnable.isUpdated()) {
        if (pinEnable.getValue()) {
            selectSpanRoutine(&DWG::subProcess);
            pinOutput.reportStreaming(true, -1);
        } else {
            clearAll();
            pinOutput.reportStreaming(false, -1);
            selectSpanRoutine(&DWG::subProcessSilence);
        }
    }
    if (pinExcitation.isUpdated() && pinEnable.getValue()) {
        selectSpanRoutine(&DWG::subProcess);
        pinOutput.reportStreaming(true, -1);
    }
    if (pinRelease.isUpdated()) {
        const float t = clampOrLow(0.1f * pinRelease.getValue(), 0.0f, 1.0f);
        fall_ = std::exp2f(-24.0f * std::sqrt(t));
    }
    if (pinLoss.isUpdated()) dwg::fillLoss(loss_, pinLoss.getValue());
    if (pinClear.isUpdated() && pinClear.getValue() == 1.0f && pinOutput.isStreaming()) clearLoop();
}

void DWG::subProcessSilence(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    for (int32_t i = 0; i < count; ++i) out[i] = 0.0f;
}

void DWG::subProcess(int32_t count) {
    float rate = 0.0f;
    host()->readSampleRate(&rate);
    const float r = 0.001f * rate;

    int32_t flags = 0;
    if (pinPitchScale.getValue() == 1) flags |= kFlagFreq;
    if (pinPeriodCorrection.getValue() && periodCorrection_ != nullptr) flags |= kFlagCorrect;
    if (pinDecayScaling.getValue() && decayScaling_ != nullptr) flags |= kFlagScale;
    if (pinHalfExcitation.getValue()) flags |= kFlagHalf;
    if (pinCrossfade.getValue()) flags |= kFlagCrossfade;

    static constexpr LoopFn loops[32] = {
        &DWG::waveLoop<0>,  &DWG::waveLoop<1>,  &DWG::waveLoop<2>,  &DWG::waveLoop<3>,
        &DWG::waveLoop<4>,  &DWG::waveLoop<5>,  &DWG::waveLoop<6>,  &DWG::waveLoop<7>,
        &DWG::waveLoop<8>,  &DWG::waveLoop<9>,  &DWG::waveLoop<10>, &DWG::waveLoop<11>,
        &DWG::waveLoop<12>, &DWG::waveLoop<13>, &DWG::waveLoop<14>, &DWG::waveLoop<15>,
        &DWG::waveLoop<16>, &DWG::waveLoop<17>, &DWG::waveLoop<18>, &DWG::waveLoop<19>,
        &DWG::waveLoop<20>, &DWG::waveLoop<21>, &DWG::waveLoop<22>, &DWG::waveLoop<23>,
        &DWG::waveLoop<24>, &DWG::waveLoop<25>, &DWG::waveLoop<26>, &DWG::waveLoop<27>,
        &DWG::waveLoop<28>, &DWG::waveLoop<29>, &DWG::waveLoop<30>, &DWG::waveLoop<31>};
    (this->*loops[flags])(count, r);

    // A decayed string with no excitation to come has nothing more to say.
    if (!pinExcitation.isStreaming() && quiet_ > 4999) {
        pinOutput.reportStreaming(false, spanOffset() + count);
        selectSpanRoutine(&DWG::subProcessSilence);
        quiet_ = 0;
    }
}

template <int32_t kFlags>
void DWG::waveLoop(int32_t count, float r) {
    constexpr bool kFreq = (kFlags & kFlagFreq) != 0;
    constexpr bool kCorrect = (kFlags & kFlagCorrect) != 0;
    constexpr bool kScale = (kFlags & kFlagScale) != 0;
    constexpr bool kHalf = (kFlags & kFlagHalf) != 0;
    constexpr bool kCrossfade = (kFlags & kFlagCrossfade) != 0;

    const int32_t off = spanOffset();
    const float* excIn = pinExcitation.buffer() + off;
    const float* pitchIn = pinPitch.buffer() + off;
    const float* gateIn = pinGate.buffer() + off;
    const float* feedbackIn = pinFeedback.buffer() + off;
    const float* dampingIn = pinDamping.buffer() + off;
    float* out = pinOutput.buffer() + off;
    const float* pcorr = periodCorrection_;
    const float* fbscal = decayScaling_;
    const float* loss = loss_;
    const bool lossOn = pinLoss.getValue() > 0.0f;
    float* lineA = loop_;
    float* lineB = excitation_;

    int32_t wi = write_, j = tap1_, k = tap2_, xf = fade_, q = quiet_;
    float gCur = lengthNow_, gTarget = lengthTarget_, m1 = coef1_, m2 = coef2_;
    float a1 = loopState1_, a2 = loopState2_, b1 = excState1_, b2 = excState2_;
    float lp = lowpass_, h = lossState_, xPrev = lossPrev_, env = env_;
    const float fall = fall_;

    for (int32_t n = 0; n < count; ++n) {
        float x = excIn[n];
        const float g = gateIn[n];

        const float c = clampOrLow(dampingIn[n], 0.0f, 1.0f);
        float e = (r * c) / (c * (r - 48.0f) + 48.0f);
        e = clampOrLow(e, 0.0f, 1.0f);  // rounding, or a sample rate of 0
        float f = clampFeedback(feedbackIn[n]);

        float p = 10.0f * pitchIn[n];
        if (kFreq) p = r / p;
        p = clampOrLow(p, 1.0f, 5000.0f);
        // The table holds 1 .. 5000; interpolation may round one float step
        // above 5000, which still truncates to the 5000-sample tap.
        if (kCorrect) p = dwg::lookup2(pcorr, 1023.0f * e, dwg::columnOf(p));
        const float col = dwg::columnOf(p);
        if (kScale && f != 0.0f) {
            const float v = dwg::lookup2(fbscal, 1023.0f * std::fabs(f), col);
            f = f > 0.0f ? v : -v;
        }
        if (lossOn && f > 0.0f) {
            h = (x - xPrev) + dwg::lookup1(loss, col) * h;
            xPrev = x;
            x = h;
        }

        if (g != 0.0f) {  // true for not-a-number as well
            if (1.0f - env >= 0.005f) {
                env = env + 0.005f;
                f = f * env;
            } else {
                env = 1.0f;
            }
        } else if (env >= fall) {
            env = env - fall;
            f = f * env;
        } else {
            f = 0.0f;
            env = 0.0f;
        }

        float aOut;
        float bOut = 0.0f;
        if (xf <= 0) {
            float len = p;
            if (kCrossfade && std::fabs(p - gCur) > 0.1f) {
                gTarget = p;
                k = indexOf(wi, p);
                m2 = coefficientOf(p);
                // Only the loop tap starts fresh; the excitation tap keeps the
                // state its previous fade left, as the tuning was voiced with.
                a2 = 0.0f;
                xf = kFadeSamples;
                len = gCur;
            }
            j = indexOf(wi, len);
            m1 = coefficientOf(len);
            aOut = allpassRead(lineA, j, m1, a1);
            if (kHalf) bOut = allpassRead(lineB, j, m1, b1);
            gCur = len;
        } else {
            const float kk = 0.02f * static_cast<float>(xf);
            const float w = (3.0f - 2.0f * kk) * (kk * kk);
            j = advance(j);
            k = advance(k);
            const float aOld = allpassRead(lineA, j, m1, a1);
            const float aNew = allpassRead(lineA, k, m2, a2);
            aOut = aOld * w + aNew * (1.0f - w);
            if (kHalf) {
                const float bOld = allpassRead(lineB, j, m1, b1);
                const float bNew = allpassRead(lineB, k, m2, b2);
                bOut = w * bOld + (1.0f - w) * bNew;
            }
            xf = xf - 1;
            if (xf == 0) {
                gCur = gTarget;
                a1 = a2;
                b1 = b2;
            }
        }

        const float y = kHalf ? aOut - 0.5f * bOut : aOut;
        out[n] = y;
        // Counting stops past the 5000 the stop rule needs, so a long quiet
        // stretch under a streaming excitation cannot overflow it.
        q = std::fabs(y) < 1e-5f ? (q < 5000 ? q + 1 : q) : 0;

        lineB[wi] = x;
        if (f != 0.0f) {
            float v = aOut;
            if (e != 0.0f) {
                lp = v + e * (lp - v);
                v = lp;
            }
            x = x + f * v;
        }
        lineA[wi] = x;
        wi = advance(wi);
    }

    write_ = wi;
    tap1_ = j;
    tap2_ = k;
    fade_ = xf;
    quiet_ = q;
    lengthNow_ = gCur;
    lengthTarget_ = gTarget;
    coef1_ = m1;
    coef2_ = m2;
    loopState1_ = a1;
    loopState2_ = a2;
    excState1_ = b1;
    excState2_ = b2;
    lowpass_ = lp;
    lossState_ = h;
    lossPrev_ = xPrev;
    env_ = env;
}
