#include "display/ScopeCapture.h"

namespace {

// One sweep step; the phase stays in [0, 1) either way round.
inline float advance(float phase, float increment) {
    phase = phase + increment;
    if (phase >= 1.0f)
        phase = phase - 1.0f;
    else if (phase < 0.0f)
        phase = phase + 1.0f;
    return phase;
}

}  // namespace

ScopeCapture::ScopeCapture(int32_t maxFrameLength, OnResize onResize)
    : maxFrameLength_(maxFrameLength), onResize_(onResize) {
    selectSpanRoutine(&ScopeCapture::sweepOnly);
    // The frame is sized on the audio thread when the rate is known; room for
    // a frame at rates up to 192 kHz keeps that resize from allocating.
    frame_.reserve(192000 / 30);
    // A display keeps capturing whatever its inputs do: frames of a still
    // signal are news too.
    allowSleep(false);
}

bool ScopeCapture::followRate() {
    float rate = 0.0f;
    if (host() != nullptr) host()->readSampleRate(&rate);
    if (rate == sampleRate_) return false;  // a NaN always counts as a change
    if (host() != nullptr) host()->readSampleRate(&rate);
    sampleRate_ = rate;
    // Below 30 Hz (or for a rate that is not a number) there is no frame at
    // all: the sweep runs on but nothing is captured. Absurdly high rates are
    // capped so the frame stays allocatable.
    const float points = sampleRate_ / 30.0f;
    int32_t length = 0;
    if (points >= 1.0f)
        length = points < static_cast<float>(maxFrameLength_) ? static_cast<int32_t>(points)
                                                              : maxFrameLength_;
    if (length != frameLength_ && onResize_ == OnResize::restartFrame) writeIndex_ = 0;
    frameLength_ = length;
    frame_.resize(static_cast<size_t>(length), ScopePoint{0.0f, 0.0f});
    // The write index never leaves the frame.
    if (writeIndex_ >= frameLength_) writeIndex_ = 0;
    return true;
}

void ScopeCapture::followMode() {
    if (pinMode.isUpdated()) timeMode_ = pinMode.getValue() == 0;
    if (frameLength_ == 0)
        selectSpanRoutine(&ScopeCapture::sweepOnly);
    else if (timeMode_)
        selectSpanRoutine(&ScopeCapture::capture<true>);
    else
        selectSpanRoutine(&ScopeCapture::capture<false>);
}

template <bool kTimeMode>
void ScopeCapture::capture(int32_t count) {
    const float* xs = pinX.buffer() + spanOffset();
    const float* ys = pinY.buffer() + spanOffset();
    ScopePoint* frame = frame_.data();
    const int32_t length = frameLength_;
    const float increment = increment_;
    float phase = phase_;
    int32_t index = writeIndex_;
    for (int32_t i = 0; i < count; ++i) {
        phase = advance(phase, increment);
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

void ScopeCapture::sweepOnly(int32_t count) {
    const float increment = increment_;
    float phase = phase_;
    for (int32_t i = 0; i < count; ++i) phase = advance(phase, increment);
    phase_ = phase;
}
