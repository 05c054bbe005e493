#include "display/Oscilloscope2.h"

#include <algorithm>

#include "framework/mp_factory.h"

REGISTER_DSP(Oscilloscope2, u"Oscilloscope2");

namespace {
// Frames above this many points would be a blob of hundreds of megabytes; no
// real sample rate gets near it (it stands for about 125 MHz).
constexpr int32_t kMaxFrameLength = 1 << 22;
}  // namespace

Oscilloscope2::Oscilloscope2() {
    registerPin(pinX);
    registerPin(pinY);
    registerPin(pinMode);
    registerPin(pinSweepHz);
    registerPin(pinFrame);
    selectSpanRoutine(&Oscilloscope2::sweepOnly);
    // A display keeps capturing whatever its inputs do.
    allowSleep(false);
}

void Oscilloscope2::onPinsChanged() {
    float rate = 0.0f;
    if (host() != nullptr) host()->readSampleRate(&rate);
    bool recompute = pinSweepHz.isUpdated();
    if (!(rate == sampleRate_)) {  // a NaN counts as a change
        if (host() != nullptr) host()->readSampleRate(&rate);
        sampleRate_ = rate;
        // About thirty frames a second. Rates below 30 Hz (or not a number)
        // give no frame at all: the sweep runs on but nothing is captured.
        const float points = sampleRate_ / 30.0f;
        int32_t length = 0;
        if (points >= 1.0f) {
            length = points < static_cast<float>(kMaxFrameLength) ? static_cast<int32_t>(points)
                                                                   : kMaxFrameLength;
        }
        frameLength_ = length;
        frame_.resize(static_cast<size_t>(length), Point{0.0f, 0.0f});
        // A frame that shrank below the write position restarts from its
        // first point, so the write index never leaves the frame.
        if (writeIndex_ >= frameLength_) writeIndex_ = 0;
        recompute = true;
    }
    if (recompute) {
        // At most one sweep per sample. A negative frequency (or an unusable
        // rate) holds the sweep still instead of letting the phase run away
        // below 0.
        const float increment = std::min(sampleRate_, pinSweepHz.getValue()) / sampleRate_;
        increment_ = increment >= 0.0f ? increment : 0.0f;
    }
    if (pinMode.isUpdated()) timeMode_ = pinMode.getValue() == 0;
    selectCapture();
}

void Oscilloscope2::selectCapture() {
    if (frameLength_ == 0) {
        selectSpanRoutine(&Oscilloscope2::sweepOnly);
    } else if (timeMode_) {
        selectSpanRoutine(&Oscilloscope2::capture<true>);
    } else {
        selectSpanRoutine(&Oscilloscope2::capture<false>);
    }
}

template <bool kTimeMode>
void Oscilloscope2::capture(int32_t count) {
    const float* xs = pinX.buffer() + spanOffset();
    const float* ys = pinY.buffer() + spanOffset();
    Point* frame = frame_.data();
    const int32_t length = frameLength_;

    float phase = phase_;
    const float increment = increment_;
    int32_t index = writeIndex_;
    for (int32_t i = 0; i < count; ++i) {
        phase = phase + increment;
        if (phase >= 1.0f) phase = phase - 1.0f;
        if constexpr (kTimeMode) {
            frame[index].x = phase + phase - 1.0f;
        } else {
            frame[index].x = xs[i];
        }
        frame[index].y = ys[i];
        if (++index == length) {
            pinFrame.setBytes(static_cast<int64_t>(length) * 8, frame);
            pinFrame.sendValue(spanOffset() + i);
            index = 0;
        }
    }
    phase_ = phase;
    writeIndex_ = index;
}

void Oscilloscope2::sweepOnly(int32_t count) {
    float phase = phase_;
    const float increment = increment_;
    for (int32_t i = 0; i < count; ++i) {
        phase = phase + increment;
        if (phase >= 1.0f) phase = phase - 1.0f;
    }
    phase_ = phase;
}
