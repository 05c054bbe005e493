// What the oscilloscopes' GUI halves share: the five colour pins, the two
// division pins, and the cached background and grid layers under the trace.
//
// The modules enter their pins in their own order (frame pin first, then
// initializeColourPins(), their own pins, initializeDivisionPins() where
// their layout puts them) and draw their trace over drawScopeLayers().
#pragma once

#include "display/ScopeLayers.h"
#include "gui/mp_gui_gfx.h"

class ScopeGuiBase : public mp_gui::MpGuiGfxBase {
protected:
    ScopeGuiBase();
    ~ScopeGuiBase() override;

    void initializeColourPins();
    void initializeDivisionPins();

    // Follows the module's size (a new size drops every layer, the trace
    // too), draws the background and grid layers that are visible, and
    // returns the size.
    display::ModuleSize drawScopeLayers(mp_draw::IMpDeviceContext* context);

    float xDivisions_ = 6.0f;
    float yDivisions_ = 6.0f;
    display::ScopeColours colours_;
    mp_gui::MpRef<mp_draw::IMpBitmap> trace_;

private:
    void onColours();
    void onDivisions(int32_t pinIndex);

    StringGuiPin pinColour1;
    StringGuiPin pinColour2;
    StringGuiPin pinColour3;
    StringGuiPin pinColour4;
    StringGuiPin pinColour5;
    MpGuiPin<float> pinXDivisions;
    MpGuiPin<float> pinYDivisions;

    display::ScopeColours defaults_;
    int32_t cachedW_ = 0;
    int32_t cachedH_ = 0;
    mp_gui::MpRef<mp_draw::IMpBitmap> background_;
    mp_gui::MpRef<mp_draw::IMpBitmap> grid_;
};
