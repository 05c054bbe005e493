// Pins of the second oscilloscope and the strip-chart plotter: the DSP
// halves' pins, and the GUI halves' pins with the frame route of the scope
// (the plotter's pairs travel as messages, not through a pin).
#include "host/gui_host.h"
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

GuiModuleDesc oscilloscope2Gui() {
    GuiModuleDesc g;
    g.id = "Oscilloscope2";
    // Empty colour texts select the display's own defaults. Ten divisions a
    // side put full scale (+-1) at the edges; a one-pixel trace that fades
    // over the whole frame.
    g.pins = {
        {"Frame", mp::PIN_TYPE_BLOB, "", 0.0},
        {"Background Top", mp::PIN_TYPE_STRING, "", 0.0},
        {"Background Bottom", mp::PIN_TYPE_STRING, "", 0.0},
        {"Trace Colour", mp::PIN_TYPE_STRING, "", 0.0},
        {"Grid Colour", mp::PIN_TYPE_STRING, "", 0.0},
        {"Axis Colour", mp::PIN_TYPE_STRING, "", 0.0},
        {"Line Width", mp::PIN_TYPE_INT, "", 1.0},
        {"Connect All", mp::PIN_TYPE_BOOL, "", 0.0},
        {"Fade Length", mp::PIN_TYPE_FLOAT, "", 1.0},
        {"X Divisions", mp::PIN_TYPE_FLOAT, "", 10.0},
        {"Y Divisions", mp::PIN_TYPE_FLOAT, "", 10.0},
    };
    g.routes = {{4, 0}};
    return g;
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

GuiModuleDesc plotterGui() {
    GuiModuleDesc g;
    g.id = "Plotter";
    g.pins = {
        {"Hold", mp::PIN_TYPE_BOOL, "", 0.0},
        {"Background Top", mp::PIN_TYPE_STRING, "", 0.0},
        {"Background Bottom", mp::PIN_TYPE_STRING, "", 0.0},
        {"Bar Colour", mp::PIN_TYPE_STRING, "", 0.0},
        {"Grid Colour", mp::PIN_TYPE_STRING, "", 0.0},
    };
    g.defaultWidth = 400.0f;
    g.defaultHeight = 200.0f;
    return g;
}

const PinRegistrar registrar{oscilloscope2(), plotter()};
const GuiRegistrar guiRegistrar{oscilloscope2Gui(), plotterGui()};

}  // namespace
