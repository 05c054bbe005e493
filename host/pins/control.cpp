// Pins of the control-signal modules: glide limiters, sample delays, freezer,
// edge counter, minimum/maximum.
#include "host/pin_catalog.h"

namespace {

using namespace zhost;

ModuleDesc glider() {
    ModuleDesc d;
    d.id = "Glider";
    d.summary = "slew limiter: the output glides to the target (time 1 V = 1 s)";
    // Mode 0: every jump takes the glide time; other values: 1 V per glide time.
    d.pins = {audioIn("Target"), audioIn("Time", 0.01), enumIn("Mode", 0), audioIn("Reset"),
              audioOut("Out")};
    return d;
}

ModuleDesc glider2() {
    ModuleDesc d;
    d.id = "Glider2";
    d.summary = "slew limiter with separate rise and fall times (1 V = 1 s)";
    d.pins = {audioIn("Target"),  audioIn("Rise", 0.01), audioIn("Fall", 0.01),
              enumIn("Mode", 0), audioIn("Reset"),      audioOut("Out")};
    return d;
}

ModuleDesc latency() {
    ModuleDesc d;
    d.id = "Latency";
    d.summary = "delay by a whole number of samples (0 to 5000)";
    d.pins = {audioIn("Signal"), intIn("Delay", 0), audioOut("Out")};
    return d;
}

ModuleDesc fracDelay() {
    ModuleDesc d;
    d.id = "FracDelay";
    d.summary = "delay by a fractional number of samples, allpass interpolated";
    d.pins = {audioIn("Signal"), floatIn("Delay", 0.0), audioOut("Out")};
    return d;
}

const PinRegistrar registrar{glider(), glider2(), latency(), fracDelay()};

}  // namespace
