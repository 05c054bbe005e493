// The settled-output idiom shared by modules whose output comes to rest once
// their driving input stops changing:
//   running  - the driving input streams: compute, never settle;
//   watching - the driving input is static: compute, and settle at the first
//              sample where the module's resting condition holds exactly;
//   settled  - write the resting output without computing; sleep is allowed.
#pragma once

#include "framework/mp_pins.h"

struct SettledOutput {
    enum State : int32_t { kRunning = 0, kWatching = 1, kSettled = 2 };
    int32_t state = kRunning;

    // onPinsChanged, when the driving input's updated flag is set.
    void follow(MpBase2& module, const AudioInPin& driver, AudioOutPin& out) {
        state = driver.isStreaming() ? kRunning : kWatching;
        wake(module, out);
    }
    // Leaves settled for watching (another input changed).
    void rewatch(MpBase2& module, AudioOutPin& out) {
        module.allowSleep(false);
        out.reportStreaming(true, -1);
        state = kWatching;
    }
    // The resting condition held at this block offset.
    void settle(MpBase2& module, AudioOutPin& out, int32_t offset) {
        state = kSettled;
        out.reportStreaming(false, offset);
        module.allowSleep(true);
    }

private:
    void wake(MpBase2& module, AudioOutPin& out) {
        module.allowSleep(false);
        if (!out.isStreaming()) out.reportStreaming(true, -1);
    }
};
