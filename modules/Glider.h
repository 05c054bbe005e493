// Slew limiters: the output follows an audio-rate target with a limited
// slope, in constant-time (every jump takes the glide time) or constant-rate
// (one volt per glide time) mode. Glider2 has separate rise and fall times.
#pragma once

#include "framework/mp_pins.h"

// Shared state and reactions of both gliders; each derived class supplies its
// pins and its span routine.
class GliderBase : public MpBase2 {
protected:
    enum Settle : int32_t { kRunning = 0, kSettling = 1, kSettled = 2 };

    void reactToPins(const MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM>& mode,
                     const AudioInPin& target, AudioOutPin& out);
    float readRate();
    // The held output of a settled span; false when the span must glide.
    bool holdIfSettled(float* out, int32_t count);
    // One gliding span: while settling, watch for arrival (report it and allow
    // sleep), then glide plainly to the end. `glide(constantTime, watch, from,
    // state, rested)` runs the module's loop for the modes given as
    // std::bool_constant tags and returns where it stopped.
    template <class Glide>
    void glideSpan(AudioOutPin& out, Glide&& glide);

    bool constantTime_ = true;
    float y_ = 0.0f;
    float previousTarget_ = 0.0f;
    float step_ = 0.0f;
    int32_t settle_ = kRunning;
};

class Glider : public GliderBase {
public:
    Glider();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinTarget;
    AudioInPin pinTime;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinMode;
    AudioInPin pinReset;
    AudioOutPin pinOutput;
};

class Glider2 : public GliderBase {
public:
    Glider2();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinTarget;
    AudioInPin pinRise;
    AudioInPin pinFall;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinMode;
    AudioInPin pinReset;
    AudioOutPin pinOutput;
};
