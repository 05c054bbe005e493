// Pins of the first oscilloscope: the DSP half's pins, and the GUI half's
// pins with the route of the frame output to the display.
#include "host/gui_host.h"
#include "host/pin_catalog.h"

namespace {

using namespace zhost;

ModuleDesc oscilloscope() {
    ModuleDesc d;
    d.id = "Oscilloscope";
    d.summary = "captures 30 frames a second of Y against a sweep or against X, for its display";
    // Mode list: 0 time (sweep), 1 XY. 30 Hz puts one sweep in each frame.
    d.pins = {audioIn("X"),           audioIn("Y"),    enumIn("Mode", 0), floatIn("Sweep Hz", 30.0),
              boolIn("Clear", false), blobOut("Frame")};
    d.hasGui = true;
    return d;
}

GuiModuleDesc oscilloscopeGui() {
    GuiModuleDesc g;
    g.id = "Oscilloscope";
    // Empty colour texts select the display's own defaults. A decay of 200
    // keeps about 2000 points visible: a whole frame, fading with age.
    g.pins = {
        {"Frame", mp::PIN_TYPE_BLOB, "", 0.0},
        {"Background Top", mp::PIN_TYPE_STRING, "", 0.0},
        {"Background Bottom", mp::PIN_TYPE_STRING, "", 0.0},
        {"Trace Colour", mp::PIN_TYPE_STRING, "", 0.0},
        {"Grid Colour", mp::PIN_TYPE_STRING, "", 0.0},
        {"Axis Colour", mp::PIN_TYPE_STRING, "", 0.0},
        {"X Divisions", mp::PIN_TYPE_FLOAT, "", 5.0},
        {"Y Divisions", mp::PIN_TYPE_FLOAT, "", 5.0},
        {"Decay", mp::PIN_TYPE_FLOAT, "", 200.0},
    };
    g.routes = {{5, 0}};
    return g;
}

const PinRegistrar registrar{oscilloscope()};
const GuiRegistrar guiRegistrar{oscilloscopeGui()};

}  // namespace
