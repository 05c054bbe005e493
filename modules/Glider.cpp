#include "modules/Glider.h"

#include <cmath>

#include "framework/mp_factory.h"

REGISTER_DSP(Glider, u"Glider");
REGISTER_DSP(Glider2, u"Glider2");

namespace {

// One sample of glide towards g. `duration` is the glide time in samples;
// `p` the previous target, so that constant-time mode computes its step only
// when the target moves and keeps it for the rest of that glide.
inline float approach(float g, float p, float y, float duration, bool constantTime,
                      float& step) {
    // A NaN output (left by a NaN target taken at once) could never compare
    // equal to a later target again; start over from the target.
    if (std::isnan(y)) return g;
    if (g == y) return y;
    if (!constantTime) {
        // A time of -0.0 is a zero time: an infinite step up, not down.
        step = 0.1f / std::fabs(duration);
    } else if (g != p) {
        step = std::fabs((g - y) / duration);
    }
    // Written so that a NaN step lands on the target rather than on NaN.
    if (g > y) {
        const float up = y + step;
        return up < g ? up : g;
    }
    if (y > g) {
        const float down = y - step;
        return down > g ? down : g;
    }
    return y;  // NaN target: hold
}

}  // namespace

// ---------------------------------------------------------------- GliderBase

void GliderBase::reactToPins(const MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM>& mode,
                             const AudioInPin& target, AudioOutPin& out) {
    if (mode.isUpdated()) constantTime_ = mode.getValue() == 0;
    // Only the target's streaming decides whether the output can come to rest.
    if (!target.isUpdated()) return;
    if (target.isStreaming()) {
        allowSleep(false);
        out.reportStreaming(true, -1);
        settle_ = kRunning;
    } else {
        if (settle_ != kRunning) {
            allowSleep(false);
            out.reportStreaming(true, -1);
        }
        settle_ = kSettling;
    }
}

float GliderBase::readRate() {
    float rate = 0.0f;
    if (host() != nullptr) host()->readSampleRate(&rate);
    return rate;
}

// -------------------------------------------------------------------- Glider

Glider::Glider() {
    registerPin(pinTarget);
    registerPin(pinTime);
    registerPin(pinMode);
    registerPin(pinReset);
    registerPin(pinOutput);
    selectSpanRoutine(&Glider::subProcess);
}

void Glider::onPinsChanged() { reactToPins(pinMode, pinTarget, pinOutput); }

void Glider::subProcess(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    float y = y_;
    if (settle_ == kSettled) {
        for (int32_t i = 0; i < count; ++i) out[i] = y;
        return;
    }

    const float* target = pinTarget.buffer() + spanOffset();
    const float* time = pinTime.buffer() + spanOffset();
    const float* reset = pinReset.buffer() + spanOffset();
    const float rate = readRate();
    const bool constantTime = constantTime_;
    float p = previousTarget_;
    float step = step_;
    for (int32_t i = 0; i < count; ++i) {
        const float g = target[i];
        const float t = 10.0f * time[i];
        if (t <= 0.0f || reset[i] >= 0.5f) {
            y = g;
        } else {
            y = approach(g, p, y, t * rate, constantTime, step);
        }
        if (settle_ == kSettling && y == g) {
            pinOutput.reportStreaming(false, spanOffset() + i);
            allowSleep(true);
            settle_ = kSettled;
        }
        out[i] = y;
        p = g;
    }
    y_ = y;
    previousTarget_ = p;
    step_ = step;
}

// ------------------------------------------------------------------- Glider2

Glider2::Glider2() {
    registerPin(pinTarget);
    registerPin(pinRise);
    registerPin(pinFall);
    registerPin(pinMode);
    registerPin(pinReset);
    registerPin(pinOutput);
    selectSpanRoutine(&Glider2::subProcess);
}

void Glider2::onPinsChanged() { reactToPins(pinMode, pinTarget, pinOutput); }

void Glider2::subProcess(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    float y = y_;
    if (settle_ == kSettled) {
        for (int32_t i = 0; i < count; ++i) out[i] = y;
        return;
    }

    const float* target = pinTarget.buffer() + spanOffset();
    const float* rise = pinRise.buffer() + spanOffset();
    const float* fall = pinFall.buffer() + spanOffset();
    const float* reset = pinReset.buffer() + spanOffset();
    const float rate = readRate();
    const bool constantTime = constantTime_;
    float p = previousTarget_;
    float step = step_;
    for (int32_t i = 0; i < count; ++i) {
        const float g = target[i];
        float up = 10.0f * rise[i];
        float down = 10.0f * fall[i];
        // A negative time counts as 0; with no time in either direction the
        // output is the target.
        bool follow = false;
        if (up < 0.0f) {
            if (down <= 0.0f) {
                follow = true;
            } else {
                up = 0.0f;
            }
        } else if (down < 0.0f) {
            down = 0.0f;
        } else if (up == 0.0f && down == 0.0f) {
            follow = true;
        }
        if (follow || reset[i] >= 0.5f) {
            y = g;
        } else {
            const float t = y < g ? up : down;
            y = approach(g, p, y, t * rate, constantTime, step);
        }
        if (settle_ == kSettling && y == g) {
            pinOutput.reportStreaming(false, spanOffset() + i);
            allowSleep(true);
            settle_ = kSettled;
        }
        out[i] = y;
        p = g;
    }
    y_ = y;
    previousTarget_ = p;
    step_ = step;
}
