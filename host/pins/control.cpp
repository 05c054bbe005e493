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
    d.pins = {audioIn("Target"), audioIn("Rise", 0.01), audioIn("Fall", 0.01),
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

ModuleDesc freezer() {
    ModuleDesc d;
    d.id = "Freezer";
    d.summary = "track and hold: the output holds a sample while frozen";
    // Polarity 1: pass while the control is high (> 0), otherwise freeze while
    // high. Held sample 1: the sample just before the freeze, otherwise the one at it.
    d.pins = {audioIn("Signal"), audioIn("Freeze"), enumIn("Polarity", 0), enumIn("Held sample", 0),
              audioOut("Out")};
    return d;
}

ModuleDesc audioCounter() {
    ModuleDesc d;
    d.id = "KV_AudioCounter";
    d.summary = "counts clock zero crossings, 1 V per count";
    // Edge: 0 rising, 1 falling. Mode: 0 free, 1 stop at limit, 2 wrap, 3 up and down.
    d.pins = {audioIn("Clock"),  audioIn("Reset"),  enumIn("Edge", 0),
              enumIn("Mode", 2), intIn("Limit", 7), audioOut("Out")};
    return d;
}

ModuleDesc minMax() {
    ModuleDesc d;
    d.id = "MinMax";
    d.summary = "lowest and highest value of the signal since the start";
    d.pins = {audioIn("Signal"), audioOut("Min"), audioOut("Max")};
    return d;
}

ModuleDesc minMaxIndex() {
    ModuleDesc d;
    d.id = "MinMaxIndex";
    d.summary = "smallest and largest of the inputs, with their input numbers (1 V each)";
    d.pins = {audioOut("Min"), audioOut("Min index"), audioOut("Max"), audioOut("Max index")};
    d.variableInputs = true;
    d.extraInputPrefix = "In";
    d.defaultExtraInputs = 2;
    return d;
}

const PinRegistrar registrar{glider(),  glider2(),      latency(), fracDelay(),
                             freezer(), audioCounter(), minMax(),  minMaxIndex()};

}  // namespace
