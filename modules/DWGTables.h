// Tuning tables of the digital waveguide, all indexed by the loop period on a
// grid of 1024 columns from 1 to 5000 samples:
//  - period correction (1024 x 1024, shared): the line length that gives a
//    wanted period once the loop lowpass's phase delay is counted, per
//    lowpass coefficient;
//  - feedback scaling (1024 x 1024, shared, one per sample rate): the gain per
//    pass that decays a loop of any period at the rate a feedback amount
//    gives a reference loop;
//  - loss (1024, per instance): the excitation high-pass coefficient.
#pragma once

#include <cstdint>

namespace dwg {

constexpr int32_t kGrid = 1024;
constexpr int32_t kSharedFloats = kGrid * kGrid;
constexpr int32_t kSharedBytes = kSharedFloats * 4;

void fillPeriodCorrection(float* table);
void fillFeedbackScaling(float* table, float sampleRate);
void fillLoss(float* table, float loss);

// Column coordinate of a period of 1 .. 5000 samples.
inline float columnOf(float period) {
    return 1023.0f * (period - 1.0f) / 4999.0f;
}

// Bilinear read at row u and column c, both in 0 .. 1023. The neighbour terms
// are left out on the last row and column, where their weight is 0 anyway.
inline float lookup2(const float* t, float u, float c) {
    const int32_t r = static_cast<int32_t>(u);
    const float fr = u - static_cast<float>(r);
    const int32_t k = static_cast<int32_t>(c);
    const float fc = c - static_cast<float>(k);
    const float* row = t + r * kGrid;
    float t0 = row[k] * (1.0f - fc);
    if (k <= 1022) t0 = t0 + row[k + 1] * fc;
    float v = (1.0f - fr) * t0;
    if (r <= 1022) {
        const float* next = row + kGrid;
        float t1 = (1.0f - fc) * next[k];
        if (k <= 1022) t1 = t1 + fc * next[k + 1];
        v = v + t1 * fr;
    }
    return v;
}

// Linear read of a 1024-entry table at column c in 0 .. 1023.
inline float lookup1(const float* t, float c) {
    const int32_t k = static_cast<int32_t>(c);
    const float fc = c - static_cast<float>(k);
    float v = (1.0f - fc) * t[k];
    if (k <= 1022) v = v + fc * t[k + 1];
    return v;
}

}  // namespace dwg
