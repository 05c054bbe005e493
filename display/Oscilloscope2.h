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
#include "display/ScopeGui.h"

class Oscilloscope2 : public ScopeCapture {
public:
    Oscilloscope2();
    void onPinsChanged() override;
};

class Oscilloscope2GUI : public ScopeGuiBase {
public:
    Oscilloscope2GUI();
    int32_t render(mp::IMpUnknown* drawingContext) override;

private:
    void onFrame();
    void buildTrace(mp_draw::IMpDeviceContext* context, float width, float height);

    MpGuiPin<MpBlob> pinFrame;
    MpGuiPin<int32_t> pinLineWidth;
    MpGuiPin<bool> pinConnectAll;
    MpGuiPin<float> pinFadeLength;

    int64_t pointCount_ = 0;
};
