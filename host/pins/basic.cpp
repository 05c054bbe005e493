// Pins of the first-order modules: DC blocker, first difference, leaky integrator.
#include "host/pin_catalog.h"

namespace {

using namespace zhost;

ModuleDesc dcBlocker() {
    ModuleDesc d;
    d.id = "DC_Blocker";
    d.summary = "one-pole high-pass removing a constant offset";
    d.pins = {audioIn("Signal"), floatIn("R", 0.995), audioOut("Out")};
    return d;
}

ModuleDesc derivator() {
    ModuleDesc d;
    d.id = "Derivator";
    d.summary = "first difference of the input";
    d.pins = {audioIn("Signal"), audioOut("Out")};
    return d;
}

ModuleDesc integrator() {
    ModuleDesc d;
    d.id = "Integrator";
    d.summary = "leaky accumulator; the coefficient input sets the leak";
    // A coefficient of 1 keeps everything: a plain running sum.
    d.pins = {audioIn("Signal"), audioIn("Coefficient", 1.0), audioOut("Out")};
    return d;
}

const PinRegistrar registrar{dcBlocker(), derivator(), integrator()};

}  // namespace
