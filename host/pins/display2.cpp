// Pins of the second oscilloscope and the strip-chart plotter (DSP halves).
#include "host/pin_catalog.h"

namespace {

using namespace zhost;

ModuleDesc oscilloscope2() {
    ModuleDesc d;
    d.id = "Oscilloscope2";
    d.summary = "captures point frames (about 30 per second) for a vector trace display";
    // Mode 0 sweeps Y over time, any other value plots Y against X. At 30 Hz
    // one frame holds exactly one sweep.
    d.pins = {audioIn("X"), audioIn("Y"), enumIn("Mode", 0), floatIn("Sweep Hz", 30.0),
              blobOut("Frame")};
    d.hasGui = true;
    return d;
}

ModuleDesc plotter() {
    ModuleDesc d;
    d.id = "Plotter";
    d.summary = "scrolling strip chart of the input's minimum and maximum per column";
    // Interval: milliseconds per chart column (at least 10). Range: the level
    // at the chart's edges in tenths, so 10 shows -1 .. +1.
    d.pins = {audioIn("Signal"), floatIn("Interval ms", 10.0), floatIn("Range", 10.0)};
    d.hasGui = true;
    return d;
}

const PinRegistrar registrar{oscilloscope2(), plotter()};

}  // namespace
