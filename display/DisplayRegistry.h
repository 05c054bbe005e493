// Registration of a display module: its DSP half (subtype 0) and its GUI
// half (subtype 2) from one static initialiser, after the colour table has
// been filled.
//   REGISTER_DISPLAY(Oscilloscope, OscilloscopeGUI, u"Oscilloscope");
#pragma once

#include "display/ColourTable.h"
#include "framework/mp_factory.h"
#include "gui/mp_gui_base.h"

namespace display {

inline int registerDisplay(const char16_t* id, MpCreateFunction dsp, MpCreateFunction gui) {
    fillColourTable();
    MpFactory::instance()->registerModule(mp::MP_SUBTYPE_DSP, id, dsp);
    MpFactory::instance()->registerModule(mp::MP_SUBTYPE_GUI, id, gui);
    return 0;
}

}  // namespace display

#define REGISTER_DISPLAY(dspClass, guiClass, id)                                             \
    static const int MP_CONCAT(mp_display_registered_, __LINE__) = display::registerDisplay( \
        id, &mp_detail::createDsp<dspClass>, &mp_detail::createGui<guiClass>)
