#include "modules/DWGTables.h"

#include <cmath>
#include <vector>

namespace dwg {

namespace {
// Grid steps, accumulated by addition so every table sees the same axis.
constexpr double kPeriodStep = 4.886608015640274;     // 4999 / 1023
constexpr double kParamStep = 0.0009775171065493646;  // 1 / 1023
}  // namespace

void fillPeriodCorrection(float* table) {
    // The column terms do not depend on the row: compute them once.
    std::vector<double> period(kGrid), omega(kGrid), cosOmega(kGrid);
    double g = 1.0;
    for (int32_t j = 0; j < kGrid; ++j) {
        period[j] = g;
        omega[j] = 6.28318530717958 / g;
        // A period of one sample is a full turn: its cosine is taken as 1.
        cosOmega[j] = j == 0 ? 1.0 : std::cos(omega[j]);
        g += kPeriodStep;
    }
    double e = 0.0;
    for (int32_t i = 0; i < kGrid; ++i) {
        float* row = table + i * kGrid;
        for (int32_t j = 0; j < kGrid; ++j) {
            const double angle = j == 0 ? 6.28318530717958 * e : e * omega[j];
            const double phi = std::atan2(std::sin(angle), 1.0 - e * cosOmega[j]);
            const float v = static_cast<float>(period[j] - phi * period[j] * 0.15915494309189);
            row[j] = v < 1.0f ? 1.0f : v;
        }
        e += kParamStep;
    }
}

void fillFeedbackScaling(float* table, float sampleRate) {
    const double k = 261.6529068725 / static_cast<double>(sampleRate);
    std::vector<double> exponent(kGrid);
    double g = 1.0;
    for (int32_t j = 0; j < kGrid; ++j) {
        exponent[j] = k * g;
        g += kPeriodStep;
    }
    double e = 0.0;
    for (int32_t i = 0; i < kGrid; ++i) {
        float* row = table + i * kGrid;
        for (int32_t j = 0; j < kGrid; ++j) row[j] = static_cast<float>(std::pow(e, exponent[j]));
        e += kParamStep;
    }
}

void fillLoss(float* table, float loss) {
    const double n = loss < 0.0f ? -0.0 : -static_cast<double>(loss);
    double g = 1.0;
    for (int32_t j = 0; j < kGrid; ++j) {
        table[j] = static_cast<float>(std::exp(n / (g * g)));
        g += kPeriodStep;
    }
}

}  // namespace dwg
