// Pins of the mixers and the short convolution: the two morph mixers, whose
// mixed inputs are created per instance ("inputs": N in a patch), and the
// FIR filter whose taps arrive as a blob of floats.
#include "host/pin_catalog.h"

namespace {

using namespace zhost;

ModuleDesc morph1D() {
    ModuleDesc d;
    d.id = "Morph1D";
    d.summary = "crossfades along a line of inputs: position 0 is In1, 1 the last input";
    // Curve 0: linear weights; any other value: weights along the exponential
    // curve (the module's own choice before a value arrives).
    d.pins = {audioIn("Position"), enumIn("Curve", 1), audioOut("Out")};
    d.variableInputs = true;
    d.extraInputPrefix = "In";
    d.defaultExtraInputs = 2;
    return d;
}

ModuleDesc morph2D() {
    ModuleDesc d;
    d.id = "Morph2D";
    d.summary = "mixes inputs on a ring; focus 1 crossfades neighbours, 0 mixes all equally";
    d.pins = {audioIn("Position"), audioIn("Focus", 1.0), enumIn("Curve", 1), audioOut("Out")};
    d.variableInputs = true;
    d.extraInputPrefix = "In";
    d.defaultExtraInputs = 4;
    return d;
}

ModuleDesc shortConv() {
    ModuleDesc d;
    d.id = "ShortConv";
    d.summary = "FIR filter of up to 1024 taps given as a list of floats (empty: pass-through)";
    d.pins = {audioIn("Signal"), blobIn("Kernel"), audioOut("Out")};
    return d;
}

const PinRegistrar registrar{morph1D(), morph2D(), shortConv()};

}  // namespace
