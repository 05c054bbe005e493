// Second oscilloscope. The DSP half packs its two inputs into point frames
// (x, y float pairs, oldest first) about thirty times a second and sends each
// full frame on a blob output; the GUI half draws a frame as vector segments.
#pragma once

#include <vector>

#include "framework/mp_pins.h"

class Oscilloscope2 : public MpBase2 {
public:
    Oscilloscope2();
    void onPinsChanged() override;

private:
    struct Point {
        float x;
        float y;
    };

    template <bool kTimeMode>
    void capture(int32_t count);
    void sweepOnly(int32_t count);
    void selectCapture();

    AudioInPin pinX;
    AudioInPin pinY;
    MpControlPin<int, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinMode;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinSweepHz;
    MpControlPin<MpBlob, mp::PIN_DIR_OUT, mp::PIN_TYPE_BLOB> pinFrame;

    float sampleRate_ = 0.0f;
    bool timeMode_ = false;
    float phase_ = 0.0f;
    float increment_ = 1.0f / 882.0f;  // 50 Hz at 44.1 kHz until the first pin change
    int32_t writeIndex_ = 0;
    int32_t frameLength_ = 0;
    std::vector<Point> frame_;
};
