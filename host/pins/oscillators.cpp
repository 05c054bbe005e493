// Pins of the impulse oscillator and the plucked-string waveguide.
#include "host/pin_catalog.h"

namespace {

using namespace zhost;

ModuleDesc dirac() {
    ModuleDesc d;
    d.id = "Dirac";
    d.summary = "impulse train (plain or band-limited) times Amplitude; Frequency 1 V = 1 kHz";
    // Scaling 1 makes the impulse height half the period. FreqScale: 0 linear
    // (0.044 = 440 Hz), 1 volt per octave, 2 period in samples (10 x input).
    // A value event on FreqScale restarts the train with a fresh impulse.
    d.pins = {boolIn("Enable", true),    audioIn("Amplitude", 1.0),
              enumIn("Scaling", 0),      audioIn("Frequency", 0.044),
              enumIn("FreqScale", 0),    boolIn("BandLimited", true),
              boolIn("RemoveDC", false), audioOut("Out")};
    return d;
}

ModuleDesc dwg() {
    ModuleDesc d;
    d.id = "DWG";
    d.summary = "plucked-string waveguide excited by its input; Pitch 1 V = 1 kHz (PitchScale 1)";
    // PitchScale 1: frequency (0.022 = 220 Hz); other values: period in
    // samples, 10 x the input. Gate non-zero holds the feedback open; Release
    // 0..10 sets how fast it closes (2 = about 35 ms). Clear 1.0 empties the loop.
    d.pins = {boolIn("Enable", true),
              audioIn("Excitation"),
              audioIn("Pitch", 0.022),
              enumIn("PitchScale", 1),
              boolIn("Crossfade", true),
              audioIn("Gate", 1.0),
              audioIn("Feedback", 0.99),
              floatIn("Release", 2.0),
              boolIn("DecayScaling", true),
              audioIn("Damping", 0.3),
              boolIn("PeriodCorrection", true),
              boolIn("HalfExcitation", false),
              floatIn("Loss", 0.0),
              floatIn("Clear", 0.0),
              audioOut("Out")};
    return d;
}

const PinRegistrar registrar{dirac(), dwg()};

}  // namespace
