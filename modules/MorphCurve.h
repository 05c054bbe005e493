// Pieces shared by the morph mixers: the exponential weight curve, kept once
// per host as a shared table, the per-sample clamp of their steering inputs,
// and the walk over the host's pin list that sizes their set of mixed inputs.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/mp_pins.h"

namespace morph {

constexpr int32_t kCurveSize = 16384;

// Fills `table` (kCurveSize floats) with the curve: 0 at index 0 rising
// exponentially to 1 at the last index.
void fillCurveTable(float* table);

// The shared curve table, filled here when the host reports it as new. A
// host that cannot supply it gets a private copy in `own`, so curve mode
// always has a valid table.
const float* acquireCurveTable(mp::IMpHost* host, std::unique_ptr<float[]>& own);

// Number of audio inputs in the host's pin list after the first `fixed` ones
// (the module's own steering inputs).
int32_t countMixedInputs(mp::IMpHost* host, int32_t fixed);

// 0..1; a NaN steering signal counts as 0 so that weights always stay in
// range (and the curve lookup inside its table).
inline float clamp01(float v) {
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

// Linear interpolation in the table at w * 16383, for 0 <= w <= 1. The last
// entry has no right neighbour, so it is weighted alone.
inline float curve(const float* table, float w) {
    const float p = w * 16383.0f;
    const int32_t k = static_cast<int32_t>(p);
    const float f = p - static_cast<float>(k);
    if (k < kCurveSize - 1) return f * table[k + 1] + (1.0f - f) * table[k];
    return (1.0f - f) * table[kCurveSize - 1];
}

}  // namespace morph

// The base of the morph mixers: the mixed inputs the host lists after the
// steering inputs, created in open(), and the curve table.
class MorphMixer : public MpBase2 {
protected:
    // Registers an audio input for each mixed input the host lists after the
    // `fixed` steering inputs and takes the curve table; for open().
    void openMixedInputs(int32_t fixed);
    bool anyMixedInputStreaming() const;
    // Points reads_ at this span's samples of every mixed input.
    void readMixedInputs();

    std::vector<std::unique_ptr<AudioInPin>> inputs_;
    std::vector<const float*> reads_;
    bool curve_ = true;  // on until the selector says otherwise
    const float* table_ = nullptr;
    std::unique_ptr<float[]> ownTable_;
};
