#include "modules/ShortConv.h"

#include "framework/mp_factory.h"

REGISTER_DSP(ShortConv, u"ShortConv");

namespace {

// acc[j] += h[j] * x for j < n. Every entry takes exactly one product per
// input sample, so vector lanes run across entries and each entry's sum keeps
// its sample order: the vectorised result is bit-identical to the scalar
// one. Fixed-width inner loops let the compiler's cheap cost model vectorise
// (an open trip count would need a scalar epilogue it refuses); the 4-wide
// stretch keeps the scalar tail under four entries.
__attribute__((always_inline)) inline void addScaled(float* __restrict acc,
                                                     const float* __restrict h, float x,
                                                     int32_t n) {
    int32_t j = 0;
    for (; j + 16 <= n; j += 16)
        for (int32_t q = 0; q < 16; ++q) acc[j + q] += h[j + q] * x;
    for (; j + 4 <= n; j += 4)
        for (int32_t q = 0; q < 4; ++q) acc[j + q] += h[j + q] * x;
    for (; j < n; ++j) acc[j] += h[j] * x;
}

// n samples through the ring of partial sums from position p; returns the
// new position. Built for AVX-512, AVX2 and the x86-64 baseline (SSE2) and
// chosen once at load from the CPU: separate multiplies and adds (no fused
// multiply-add, -ffp-contract=off), so every build gives the same bits.
__attribute__((target_clones("avx512f", "avx2", "default"))) int32_t ringSpan(
    float* acc, const float* h, int32_t taps, int32_t p, const float* in, float* out, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const float x = in[i];
        // Entries p .. L-1 take h[0] .. h[L-1-p]; entries 0 .. p-1 the rest.
        addScaled(acc + p, h, x, taps - p);
        addScaled(acc, h + (taps - p), x, p);
        out[i] = acc[p];
        acc[p] = 0.0f;
        if (++p == taps) p = 0;
    }
    return p;
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
    // complete only after the new length, so a shorter rest of the running
    // count is stretched to it (a longer rest stands).
    if (countdown_ > 0 && countdown_ < length_) countdown_ = length_;
}

void ShortConv::convolve(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    // The countdown cuts the span where the output becomes steady, so the
    // per-sample loop carries no test of it.
    const int32_t countdown = countdown_;
    const int32_t n = countdown != 0 && countdown <= count ? countdown : count;
    position_ = ringSpan(acc_, kernel_, length_, position_, in, out, n);
    if (countdown == 0) return;
    countdown_ = countdown - n;
    if (countdown_ == 0 && n > 0) {
        // The whole kernel now sees the constant input: hold this sample.
        const float y = out[n - 1];
        held_ = y;
        pinOutput.reportStreaming(false, spanOffset() + n - 1);
        selectSpanRoutine(&ShortConv::hold);
        for (int32_t j = n; j < count; ++j) out[j] = y;
    }
}

void ShortConv::hold(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    const float v = held_;
    for (int32_t i = 0; i < count; ++i) out[i] = v;
}
