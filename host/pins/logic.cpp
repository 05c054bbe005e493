// Pins of the logic and routing modules: range clip, zero-crossing detector,
// memory/reset latches, off delay and latency report.
#include "host/pin_catalog.h"

namespace {

using namespace zhost;

ModuleDesc rangeClip() {
    ModuleDesc d;
    d.id = "RngClp";
    d.summary = "limits a signal to a range whose bounds are audio signals";
    // Defaults span the full +-10 V range, so an unpatched clip passes the signal.
    d.pins = {audioIn("Signal"), audioIn("Lower", -1.0), audioIn("Upper", 1.0), audioOut("Out")};
    return d;
}

ModuleDesc zeroCrossing() {
    ModuleDesc d;
    d.id = "KV_ZXDet";
    d.summary = "one-sample pulse at each zero crossing (0 rising, 1 falling, 2 both)";
    d.pins = {audioIn("Signal"), enumIn("Direction", 0), audioOut("Pulses")};
    return d;
}

ModuleDesc memoryReset(const char* id, const char* summary) {
    ModuleDesc d;
    d.id = id;
    d.summary = summary;
    d.pins = {audioIn("Reset Source"), audioIn("Set Source"), audioIn("Set"), audioIn("Reset"),
              audioOut("Out")};
    return d;
}

ModuleDesc offDelay() {
    ModuleDesc d;
    d.id = "OFF Delay";
    d.summary = "follows the active source while the gate is on and for a hold time after";
    d.pins = {audioIn("Idle"), audioIn("Active"), floatIn("Hold ms", 100.0), audioIn("Gate"),
              audioOut("Out")};
    return d;
}

ModuleDesc reportLatency() {
    ModuleDesc d;
    d.id = "KV_RepLat";
    d.summary = "passes audio unchanged and reports a latency in samples to the host";
    d.pins = {audioIn("Signal"), intIn("Latency", 0), audioOut("Out")};
    return d;
}

const PinRegistrar registrar{
    rangeClip(),
    zeroCrossing(),
    memoryReset("Memory/Reset", "set/reset latch on trigger levels (>= 0.5) choosing a source"),
    memoryReset("Memory/Reset2", "set/reset latch on rising trigger edges choosing a source"),
    offDelay(),
    reportLatency()};

}  // namespace
