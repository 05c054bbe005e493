#include "modules/ShortConv.h"

#include "framework/mp_factory.h"

REGISTER_DSP(ShortConv, u"ShortConv");

namespace {

// acc[j] += h[j] * x for j < n. Every entry takes exactly one product per
// input sample, so vector lanes run across entries and each entry's sum keeps
// its sample order: the vectorised result is bit-identical to the scalar
// one. The fixed-width inner loop lets the compiler's cheap cost model
// vectorise it (an open trip count would need a scalar epilogue it refuses).
inline void addScaled(float* __restrict acc, const float* __restrict h, float x, int32_t n) {
    constexpr int32_t kWidth = 8;
    int32_t j = 0;
    for (; j + kWidth <= n; j += kWidth)
        for (int32_t q = 0; q < kWidth; ++q) acc[j + q] += h[j + q] * x;
    for (; j < n; ++j) acc[j] += h[j] * x;
}

}  // namespace

ShortConv::ShortConv() {
    registerPin(pinSignal);
    registerPin(pinKernel);
    registerPin(pinOutput);
    // Nothing is written until the signal's streaming state is known.
}

void ShortConv::onPinsChanged() {
    if (pinSignal.isUpdated()) {
        selectSpanRoutine(&ShortConv::convolve);
        pinOutput.reportStreaming(true, -1);
        countdown_ = pinSignal.isStreaming() ? 0 : length_;
    }
    if (pinKernel.isUpdated()) changeKernel();
}

void ShortConv::changeKernel() {
    const MpBlob& blob = pinKernel.getValue();
    int64_t taps = blob.size() / 4;
    if (taps == 0 || blob.data() == nullptr) {
        kernel_ = &unity_;
        length_ = 1;
        // A stale partial sum left in entry 0 would leak into the first
        // pass-through sample.
        acc_[0] = 0.0f;
    } else {
        if (taps > kMaxTaps) taps = kMaxTaps;
        kernel_ = reinterpret_cast<const float*>(blob.data());
        length_ = static_cast<int32_t>(taps);
        for (int32_t j = 0; j < length_; ++j) acc_[j] = 0.0f;
    }
    position_ = 0;
    // A static input restarts through the new, empty ring: its response is
    // complete only after the new length, not what was left of the old one.
    if (countdown_ > 0) countdown_ = length_;
}

void ShortConv::convolve(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    const float* h = kernel_;
    float* acc = acc_;
    const int32_t taps = length_;
    int32_t p = position_;
    int32_t countdown = countdown_;

    for (int32_t i = 0; i < count; ++i) {
        const float x = in[i];
        // Entries p .. L-1 take h[0] .. h[L-1-p]; entries 0 .. p-1 the rest.
        addScaled(acc + p, h, x, taps - p);
        addScaled(acc, h + (taps - p), x, p);
        const float y = acc[p];
        acc[p] = 0.0f;
        out[i] = y;
        if (++p == taps) p = 0;
        if (countdown != 0 && --countdown == 0) {
            // The whole kernel now sees the constant input: hold this sample.
            held_ = y;
            position_ = p;
            countdown_ = 0;
            pinOutput.reportStreaming(false, spanOffset() + i);
            selectSpanRoutine(&ShortConv::hold);
            for (int32_t j = i + 1; j < count; ++j) out[j] = y;
            return;
        }
    }
    position_ = p;
    countdown_ = countdown;
}

void ShortConv::hold(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    const float v = held_;
    for (int32_t i = 0; i < count; ++i) out[i] = v;
}
