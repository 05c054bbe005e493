// Pins of the comb filter, running average, bit/sample-rate crusher and noise
// generator.
#include "host/pin_catalog.h"

namespace {

using namespace zhost;

ModuleDesc combFlt() {
    ModuleDesc d;
    d.id = "CombFlt";
    d.summary = "feedback comb filter; delay as a frequency (1 V = 1 kHz) or in samples (1 V = 1)";
    // Scale 1: the delay input is a frequency, 0.044 = 440 Hz; other values:
    // samples, 10 x the input. Feedback is clamped to -1..1.
    d.pins = {audioIn("Signal"), audioIn("Delay", 0.044), enumIn("Scale", 1),
              audioIn("Feedback", 0.9), audioOut("Out")};
    return d;
}

ModuleDesc averaging() {
    ModuleDesc d;
    d.id = "Averaging";
    d.summary = "mean of every input sample since the start or the last reset";
    d.pins = {audioIn("Signal"), boolIn("Reset", false), audioOut("Out")};
    return d;
}

ModuleDesc crusher() {
    ModuleDesc d;
    d.id = "KV_Crusher";
    d.summary = "sample-rate reduction (Rate in Hz, 0 = none) and quantisation to Bits over -1..1";
    // Bits above 31 switch quantisation off; 0 or less act as 1 bit.
    d.pins = {audioIn("Signal"), floatIn("Rate", 0.0), intIn("Bits", 8), audioOut("Out")};
    return d;
}

ModuleDesc noiseGen() {
    ModuleDesc d;
    d.id = "NoiseGen";
    d.summary = "white (Type 0, -0.5..0.5) or pink (Type 1, -1..1) noise; same seed, same noise";
    // Seed 0 would leave the generator stuck at one value, so the default is 1.
    d.pins = {enumIn("Type", 0), boolIn("Gate", true), intIn("Seed", 1), audioOut("Out")};
    return d;
}

const PinRegistrar registrar{combFlt(), averaging(), crusher(), noiseGen()};

}  // namespace
