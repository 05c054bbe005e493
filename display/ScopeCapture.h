// Point-frame capture shared by the oscilloscopes' DSP halves.
//
// A frame holds trunc(rate / 30) (x, y) float pairs, oldest first, so a full
// frame goes out on the blob output about 30 times a second. In time mode x
// is a free-running sweep from -1 to 1, in XY mode it is the X input; the
// sweep runs on in XY mode (and with no frame at all) so that time mode
// resumes where it would be.
//
// The modules register the pins in their own order and set the sweep
// increment themselves; the capture keeps the frame and the sweep.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/mp_pins.h"

// One (x, y) point of a point frame.
struct ScopePoint {
    float x;
    float y;
};
static_assert(sizeof(ScopePoint) == 8, "a point is two packed floats");

class ScopeCapture : public MpBase2 {
protected:
    // What a frame length change does to the frame being filled.
    enum class OnResize {
        restartFrame,     // always start a new frame
        keepInsideFrame,  // go on filling it unless the write index fell outside
    };

    ScopeCapture(int32_t maxFrameLength, OnResize onResize);

    // Reads the host's rate; when it changed (a NaN always counts as a
    // change) sizes the frame for it and returns true.
    bool followRate();
    // Takes the mode pin's news and selects the span routine for the mode
    // and frame.
    void followMode();

    float sampleRate() const { return sampleRate_; }
    void setIncrement(float increment) { increment_ = increment; }

    AudioInPin pinX;
    AudioInPin pinY;
    MpControlPin<int32_t, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM> pinMode;
    MpControlPin<float, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT> pinSweepHz;
    MpControlPin<MpBlob, mp::PIN_DIR_OUT, mp::PIN_TYPE_BLOB> pinFrame;

private:
    template <bool kTimeMode>
    void capture(int32_t count);
    void sweepOnly(int32_t count);

    const int32_t maxFrameLength_;
    const OnResize onResize_;
    float sampleRate_ = 0.0f;
    bool timeMode_ = false;
    float phase_ = 0.0f;
    float increment_ = 1.0f / 882.0f;  // 50 Hz at 44.1 kHz until the first pin change
    int32_t writeIndex_ = 0;
    int32_t frameLength_ = 0;
    std::vector<ScopePoint> frame_;
};
