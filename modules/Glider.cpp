#include "modules/Glider.h"

#include <cmath>
#include <type_traits>

#include "framework/mp_factory.h"

REGISTER_DSP(Glider, u"Glider");
REGISTER_DSP(Glider2, u"Glider2");

namespace {

// One sample of glide towards g. `duration` is the glide time in samples;
// `p` the previous target, so that constant-time mode computes its step only
// when the target moves and keeps it for the rest of that glide.
template <bool kConstantTime>
inline float approach(float g, float p, float y, float duration, float& step) {
    // A NaN output (left by a NaN target taken at once) could never compare
    // equal to a later target again; start over from the target.
    if (std::isnan(y)) return g;
    if (g == y) return y;
    if (!kConstantTime) {
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

struct GlideState {
    float y;
    float previousTarget;
    float step;
};

// Glider's samples i .. count-1 in one mode, fixed for the span. kWatch: the
// target is static and the output settles where it reaches the target; the
// loop then stops just past that sample and sets *rested.
template <bool kConstantTime, bool kWatch>
int32_t glide(const float* target, const float* time, const float* reset, float* out, int32_t i,
              int32_t count, float rate, GlideState& s, bool* rested) {
    float y = s.y;
    float p = s.previousTarget;
    float step = s.step;
    for (; i < count; ++i) {
        const float g = target[i];
        const float t = 10.0f * time[i];
        if (t <= 0.0f || reset[i] >= 0.5f) {
            y = g;
        } else {
            y = approach<kConstantTime>(g, p, y, t * rate, step);
        }
        out[i] = y;
        p = g;
        if (kWatch && y == g) {
            *rested = true;
            ++i;
            break;
        }
    }
    s = {y, p, step};
    return i;
}

// Glider2's samples, as glide() with separate rise and fall times.
template <bool kConstantTime, bool kWatch>
int32_t glide2(const float* target, const float* rise, const float* fall, const float* reset,
               float* out, int32_t i, int32_t count, float rate, GlideState& s, bool* rested) {
    float y = s.y;
    float p = s.previousTarget;
    float step = s.step;
    for (; i < count; ++i) {
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
            y = approach<kConstantTime>(g, p, y, t * rate, step);
        }
        out[i] = y;
        p = g;
        if (kWatch && y == g) {
            *rested = true;
            ++i;
            break;
        }
    }
    s = {y, p, step};
    return i;
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

bool GliderBase::holdIfSettled(float* out, int32_t count) {
    if (settle_ != kSettled) return false;
    const float y = y_;
    for (int32_t i = 0; i < count; ++i) out[i] = y;
    return true;
}

template <class Glide>
void GliderBase::glideSpan(AudioOutPin& out, Glide&& glide) {
    const std::true_type yes;
    const std::false_type no;
    GlideState s{y_, previousTarget_, step_};
    int32_t i = 0;
    if (settle_ == kSettling) {
        bool rested = false;
        i = constantTime_ ? glide(yes, yes, 0, s, &rested) : glide(no, yes, 0, s, &rested);
        if (rested) {
            out.reportStreaming(false, spanOffset() + i - 1);
            allowSleep(true);
            settle_ = kSettled;
        }
    }
    if (constantTime_) {
        glide(yes, no, i, s, nullptr);
    } else {
        glide(no, no, i, s, nullptr);
    }
    y_ = s.y;
    previousTarget_ = s.previousTarget;
    step_ = s.step;
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

void Glider::onPinsChanged() {
    reactToPins(pinMode, pinTarget, pinOutput);
}

void Glider::subProcess(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    if (holdIfSettled(out, count)) return;
    const float* target = pinTarget.buffer() + spanOffset();
    const float* time = pinTime.buffer() + spanOffset();
    const float* reset = pinReset.buffer() + spanOffset();
    const float rate = readRate();
    glideSpan(pinOutput,
              [&](auto constantTime, auto watch, int32_t from, GlideState& s, bool* rested) {
                  return glide<decltype(constantTime)::value, decltype(watch)::value>(
                      target, time, reset, out, from, count, rate, s, rested);
              });
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

void Glider2::onPinsChanged() {
    reactToPins(pinMode, pinTarget, pinOutput);
}

void Glider2::subProcess(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    if (holdIfSettled(out, count)) return;
    const float* target = pinTarget.buffer() + spanOffset();
    const float* rise = pinRise.buffer() + spanOffset();
    const float* fall = pinFall.buffer() + spanOffset();
    const float* reset = pinReset.buffer() + spanOffset();
    const float rate = readRate();
    glideSpan(pinOutput,
              [&](auto constantTime, auto watch, int32_t from, GlideState& s, bool* rested) {
                  return glide2<decltype(constantTime)::value, decltype(watch)::value>(
                      target, rise, fall, reset, out, from, count, rate, s, rested);
              });
}
