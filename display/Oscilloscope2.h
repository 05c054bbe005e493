// Second oscilloscope.
//
// Oscilloscope2 (DSP half) packs its two inputs into point frames (x, y float
// pairs, oldest first) about thirty times a second and sends each full frame
// on a blob output, like Oscilloscope but without a clear input.
//
// Oscilloscope2GUI draws each frame as vector segments of a chosen width over
// the oscilloscopes' cached background and grid; the newest segment is the
// brightest and older ones fade out over a chosen part of the frame.
#pragma once

#include "display/ScopeCapture.h"
#include "display/ScopeLayers.h"
#include "gui/mp_gui_gfx.h"

class Oscilloscope2 : public ScopeCapture {
public:
    Oscilloscope2();
    void onPinsChanged() override;
};

class Oscilloscope2GUI : public mp_gui::MpGuiGfxBase {
public:
    Oscilloscope2GUI();
    ~Oscilloscope2GUI() override;
    int32_t render(mp::IMpUnknown* drawingContext) override;

private:
    void onFrame();
    void onColours();
    void onDivisions(int32_t pinIndex);
    void buildTrace(mp_draw::IMpDeviceContext* context, float width, float height);

    MpGuiPin<MpBlob> pinFrame;
    StringGuiPin pinColour1;
    StringGuiPin pinColour2;
    StringGuiPin pinColour3;
    StringGuiPin pinColour4;
    StringGuiPin pinColour5;
    MpGuiPin<int32_t> pinLineWidth;
    MpGuiPin<bool> pinConnectAll;
    MpGuiPin<float> pinFadeLength;
    MpGuiPin<float> pinXDivisions;
    MpGuiPin<float> pinYDivisions;

    float xDivisions_ = 6.0f;
    float yDivisions_ = 6.0f;
    int64_t pointCount_ = 0;
    display::ScopeColours defaults_;
    display::ScopeColours colours_;
    int32_t cachedW_ = 0;
    int32_t cachedH_ = 0;
    mp_gui::MpRef<mp_draw::IMpBitmap> background_;
    mp_gui::MpRef<mp_draw::IMpBitmap> grid_;
    mp_gui::MpRef<mp_draw::IMpBitmap> trace_;
};
