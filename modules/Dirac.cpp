#include "modules/Dirac.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "framework/mp_factory.h"

REGISTER_DSP(Dirac, u"Dirac");

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr int32_t kHalfTable = Dirac::kTableSize / 2;
// Beyond this the harmonic count would not fit the 32-bit multiplier; such
// periods (over 2^31 samples) are silent in practice anyway.
constexpr double kMaxHalfPeriod = 1073741823.0;

// Frequency control in volts; negative and not-a-number inputs read as 0 so
// that the phase can never leave its range.
inline float controlOf(float in) {
    const float w = 10.0f * in;
    return w > 0.0f ? w : 0.0f;
}

}  // namespace

Dirac::Dirac() {
    registerPin(pinEnable);
    registerPin(pinAmplitude);
    registerPin(pinScaling);
    registerPin(pinFrequency);
    registerPin(pinFreqScale);
    registerPin(pinBandLimited);
    registerPin(pinRemoveMean);
    registerPin(pinOutput);
    selectSpanRoutine(&Dirac::subProcessBandLimited);
}

int32_t Dirac::open() {
    if (host() != nullptr) {
        void* memory = nullptr;
        int32_t needInit = 0;
        host()->requestSharedTable(u"ZOLAN DIRAC OSC SINE TABLE", &memory, -1.0f,
                                   kTableSize * static_cast<int32_t>(sizeof(float)), &needInit);
        float* table = static_cast<float*>(memory);
        if (table != nullptr && needInit != 0) {
            // The angle is accumulated, not multiplied, and the second half is
            // the first with its sign flipped, so both halves match exactly.
            const double step = 2.3968449810713143e-05;
            table[0] = 0.0f;
            table[kHalfTable] = -0.0f;
            double a = step;
            for (int32_t k = 1; k < kHalfTable; ++k) {
                table[k] = static_cast<float>(std::sin(a));
                table[k + kHalfTable] = -table[k];
                a += step;
            }
        }
        sine_ = table;
    }
    MpBase2::open();
    return 0;
}

void Dirac::selectGenerator() {
    if (bandLimited_) {
        selectSpanRoutine(&Dirac::subProcessBandLimited);
    } else {
        selectSpanRoutine(&Dirac::subProcessPlain);
    }
}

void Dirac::onPinsChanged() {
    bool reset = false;
    if (pinEnable.isUpdated()) {
        if (pinEnable.getValue()) {
            pinOutput.reportStreaming(true, -1);
            selectGenerator();
            running_ = true;
            if (pinBandLimited.isUpdated()) {
                bandLimited_ = pinBandLimited.getValue();
                selectGenerator();
            }
            reset = true;
        } else {
            pinOutput.reportStreaming(false, -1);
            selectSpanRoutine(&Dirac::subProcessSilence);
            running_ = false;
            if (pinBandLimited.isUpdated()) {
                bandLimited_ = pinBandLimited.getValue();
                reset = true;
            } else {
                reset = pinFreqScale.isUpdated();
            }
        }
    } else if (pinBandLimited.isUpdated()) {
        bandLimited_ = pinBandLimited.getValue();
        if (running_) selectGenerator();
        reset = true;
    } else {
        reset = pinFreqScale.isUpdated();
    }
    if (reset) {
        lastControl_ = -1.0f;
        // Both generators start on a peak: the plain one fires when the phase
        // reaches 1, the band-limited one peaks at phase 0.
        phase_ = bandLimited_ ? 0.0 : 1.0;
    }
}

void Dirac::subProcessSilence(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    for (int32_t i = 0; i < count; ++i) out[i] = 0.0f;
}

// The strategy is fixed for the span: one loop per combination, chosen here.
void Dirac::runLoop(const Loops& loops, int32_t count) {
    float rate = 0.0f;
    host()->readSampleRate(&rate);
    const bool mean = pinRemoveMean.getValue();
    const bool scale = pinScaling.getValue() == 1;
    (this->*loops[mean][scale])(count, rate);
}

void Dirac::subProcessPlain(int32_t count) {
    static constexpr Loops kLoops = {
        {&Dirac::plainLoop<false, false>, &Dirac::plainLoop<false, true>},
        {&Dirac::plainLoop<true, false>, &Dirac::plainLoop<true, true>}};
    runLoop(kLoops, count);
}

template <bool kMean, bool kScale>
void Dirac::plainLoop(int32_t count, float rate) {
    const float* amp = pinAmplitude.buffer() + spanOffset();
    const float* freq = pinFrequency.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    const int32_t freqScale = pinFreqScale.getValue();
    const float r = 0.001f * rate;

    float phase = static_cast<float>(phase_);
    float period = static_cast<float>(period_);
    float inc = static_cast<float>(increment_);
    float last = lastControl_;
    int32_t i = 0;
    while (i < count) {
        const float w = controlOf(freq[i]);
        if (w != last) {
            last = w;
            if (freqScale >= 2) {
                if (w < 2.0f) {
                    inc = 0.5f;
                    period = 2.0f;
                } else {
                    inc = 1.0f / w;
                    period = w;
                }
            } else {
                float f = freqScale == 1 ? 0.22f * std::exp2f(w - 4.0f) : w;
                f = std::min(0.5f * r, f);
                if (f <= 0.0f) {
                    inc = 0.0f;
                    period = kInf;
                } else {
                    period = r / f;
                    inc = 1.0f / period;
                }
            }
        }
        // The coefficients hold until the control moves: the run's loop is
        // chosen here. An infinite period would scale to infinity (or 0 x
        // inf): the generator has stopped, so a scaled output is silent.
        if (kScale && !(period < kInf)) {
            for (; i < count && controlOf(freq[i]) == last; ++i) {
                if (phase >= 1.0f) phase = phase - 1.0f;
                out[i] = 0.0f;
                phase = phase + inc;
            }
            continue;
        }
        for (; i < count && controlOf(freq[i]) == last; ++i) {
            float impulse = 0.0f;
            if (phase >= 1.0f) {
                phase = phase - 1.0f;
                impulse = 1.0f;
            }
            const float x = amp[i];
            float y;
            if (kScale) {
                y = kMean ? x * 0.5f * period * (impulse - inc) : x * 0.5f * period * impulse;
            } else {
                y = kMean ? (impulse - inc) * x : x * impulse;
            }
            out[i] = y;
            phase = phase + inc;
        }
    }
    phase_ = phase;
    period_ = period;
    increment_ = inc;
    lastControl_ = last;
}

void Dirac::subProcessBandLimited(int32_t count) {
    if (sine_ == nullptr) {
        // The host gave no table: nothing sensible to read, so stay silent.
        subProcessSilence(count);
        return;
    }
    static constexpr Loops kLoops = {
        {&Dirac::bandLimitedLoop<false, false>, &Dirac::bandLimitedLoop<false, true>},
        {&Dirac::bandLimitedLoop<true, false>, &Dirac::bandLimitedLoop<true, true>}};
    runLoop(kLoops, count);
}

template <bool kMean, bool kScale>
void Dirac::bandLimitedLoop(int32_t count, float rate) {
    const float* amp = pinAmplitude.buffer() + spanOffset();
    const float* freq = pinFrequency.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    const float* sine = sine_;
    const int32_t freqScale = pinFreqScale.getValue();
    const float r = 0.001f * rate;

    double phase = phase_;
    double period = period_;
    double inc = increment_;
    float norm = norm_;
    int32_t harmonics = harmonics_;
    float peak = peak_;
    float last = lastControl_;
    // An infinite period (frequency 0) has no harmonics to sum: the generator
    // holds its phase and outputs silence, as the plain one does.
    bool stopped = !(period < std::numeric_limits<double>::infinity());
    float periodF = static_cast<float>(period);

    int32_t i = 0;
    while (i < count) {
        const float w = controlOf(freq[i]);
        if (w != last) {
            last = w;
            bool general = false;
            if (freqScale >= 2) {
                if (w < 2.0f) {
                    period = 2.0;
                    harmonics = 3;
                    norm = 0.5f;
                    peak = 3.0f;
                    inc = 0.25;
                } else {
                    period = w;
                    general = true;
                }
            } else {
                double f = freqScale == 1 ? 0.22 * std::exp2(static_cast<double>(w) - 4.0)
                                          : static_cast<double>(w);
                f = std::min(0.5 * static_cast<double>(r), f);
                if (f > 0.0) {
                    period = static_cast<double>(r) / f;
                    general = true;
                } else {
                    period = std::numeric_limits<double>::infinity();
                }
            }
            if (!(period < std::numeric_limits<double>::infinity())) {
                inc = 0.0;
                harmonics = 1;
                norm = 0.0f;
                peak = 0.0f;
                stopped = true;
            } else {
                if (general) {
                    const double half = std::min(std::trunc(0.5 * period), kMaxHalfPeriod);
                    const int32_t n = 2 * static_cast<int32_t>(half);
                    harmonics = n + 1;
                    norm = static_cast<float>(1.0 / n);
                    peak = static_cast<float>(n + 1.0);
                    inc = 0.5 / period;
                }
                stopped = false;
            }
            periodF = static_cast<float>(period);
        }

        // The coefficients hold until the control moves: the run's loop is
        // chosen here. A period too long for single precision would scale to
        // infinity, so a scaled output is silent then too.
        const bool silent = kScale ? !(periodF < kInf) : stopped;
        if (silent) {
            for (; i < count && controlOf(freq[i]) == last; ++i) {
                phase = phase + inc;
                if (phase >= 1.0) phase = phase - 1.0;
                out[i] = 0.0f;
            }
            continue;
        }
        for (; i < count && controlOf(freq[i]) == last; ++i) {
            // The phase stays in [0, 1); the mask only guards the table bounds.
            const int32_t k = static_cast<int32_t>(phase * 262144.0) & kTableMask;
            float ratio;
            if (k != 0 && k != kHalfTable) {
                const uint32_t mk = static_cast<uint32_t>(harmonics) * static_cast<uint32_t>(k);
                ratio = sine[mk & static_cast<uint32_t>(kTableMask)] / sine[k];
            } else {
                ratio = peak;
            }
            if (kMean) ratio = ratio - 1.0f;
            phase = phase + inc;
            if (phase >= 1.0) phase = phase - 1.0;

            const float x = amp[i];
            out[i] = kScale ? (ratio * norm) * (x * 0.5f * periodF) : (ratio * norm) * x;
        }
    }
    phase_ = phase;
    period_ = period;
    increment_ = inc;
    norm_ = norm;
    harmonics_ = harmonics;
    peak_ = peak;
    lastControl_ = last;
}
