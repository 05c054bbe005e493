// The first oscilloscope display module.
//
// Oscilloscope (DSP half) samples Y against a free-running sweep (time mode)
// or against X (XY mode) and sends a point frame of trunc(rate / 30) (x, y)
// float pairs, oldest first, on its blob output about 30 times a second. An
// empty blob tells the GUI half to clear.
//
// OscilloscopeGUI draws each frame as a fading phosphor trace over a cached
// gradient background and grid.
#pragma once

#include "display/ScopeCapture.h"
#include "display/ScopeGui.h"

class Oscilloscope : public ScopeCapture {
public:
    Oscilloscope();
    void onPinsChanged() override;

    // Frames never exceed this many points (a sample rate above 31.4 MHz).
    static constexpr int32_t kMaxFrameLength = 1 << 20;

private:
    MpControlPin<bool, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL> pinClear;

    bool clearPending_ = true;
};

class OscilloscopeGUI : public ScopeGuiBase {
public:
    OscilloscopeGUI();
    int32_t render(mp::IMpUnknown* drawingContext) override;

private:
    void onFrame();
    void plotFrame(mp_draw::IMpBitmap* image, int32_t w, int32_t h, float width, float height);

    MpGuiPin<MpBlob> pinFrame;
    MpGuiPin<float> pinDecay;

    int64_t pointCount_ = 0;
    bool newData_ = false;
};
