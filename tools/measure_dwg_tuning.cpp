// Measures how well DWG plays in tune: renders the string's impulse response
// at pitches from 40 Hz to 2 kHz (48 kHz, pitch given as a frequency), with
// the period correction off and on, for a few damping settings, and prints
// the measured fundamental's deviation from the requested pitch in cents.
//
// The fundamental is the peak of the Hann-windowed spectrum of the response,
// found on a 1-cent grid and refined to 0.01 cent.
//
// Usage: measure_dwg_tuning [path/to/ZolanDSPModules_x64.sem]
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "host/host_core.h"

namespace {

constexpr float kRate = 48000.0f;
constexpr int32_t kBlock = 64;
constexpr int32_t kLength = 48000;  // one second of response

// Pin indices of DWG.
enum : int32_t {
    kEnable,
    kExc,
    kPitch,
    kPitchScale,
    kXfade,
    kGate,
    kFeedback,
    kRelease,
    kDecayScale,
    kDamping,
    kCorrect,
    kHalf,
    kLoss,
    kClear,
    kOut,
    kPinCount
};

std::vector<zhost::PinInfo> pins() {
    std::vector<zhost::PinInfo> p(kPinCount);
    auto set = [&](int32_t i, int32_t dir, int32_t type) { p[i] = {dir, type}; };
    for (int32_t i : {kExc, kPitch, kGate, kFeedback, kDamping})
        set(i, mp::PIN_DIR_IN, mp::PIN_TYPE_AUDIO);
    for (int32_t i : {kEnable, kXfade, kDecayScale, kCorrect, kHalf})
        set(i, mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL);
    for (int32_t i : {kRelease, kLoss, kClear}) set(i, mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT);
    set(kPitchScale, mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM);
    set(kOut, mp::PIN_DIR_OUT, mp::PIN_TYPE_AUDIO);
    return p;
}

std::vector<float> render(const zhost::Library& lib, zhost::SharedTableStore& tables, float freq,
                          float damping, bool correct) {
    std::string error;
    auto inst = zhost::Instance::create(lib, "DWG", tables, pins(), kRate, kBlock, &error);
    if (!inst || inst->open() != 0) {
        std::fprintf(stderr, "measure_dwg_tuning: %s\n", error.c_str());
        std::exit(1);
    }
    std::vector<std::vector<float>> buf(kPinCount, std::vector<float>(kBlock, 0.0f));
    for (int32_t i : {kExc, kPitch, kGate, kFeedback, kDamping, kOut})
        inst->bindBuffer(i, buf[i].data());
    buf[kPitch].assign(kBlock, freq / 10000.0f);  // 1 V = 1 kHz
    buf[kGate].assign(kBlock, 1.0f);
    buf[kFeedback].assign(kBlock, 0.9995f);
    buf[kDamping].assign(kBlock, damping);

    zhost::EventList ev;
    std::vector<float> out;
    out.reserve(kLength);
    for (int32_t b = 0; b * kBlock < kLength; ++b) {
        ev.clear();
        if (b == 0) {
            ev.addBool(0, kEnable, true);
            ev.addInt(0, kPitchScale, 1);
            ev.addBool(0, kXfade, false);
            ev.addFloat(0, kRelease, 2.0f);
            ev.addBool(0, kDecayScale, false);
            ev.addBool(0, kCorrect, correct);
            ev.addBool(0, kHalf, false);
            ev.addFloat(0, kLoss, 0.0f);
            ev.addStreaming(0, kExc, true);
            ev.addGraphStart(0);
        }
        buf[kExc].assign(kBlock, 0.0f);
        if (b == 0) buf[kExc][0] = 1.0f;
        inst->process(kBlock, ev.head());
        out.insert(out.end(), buf[kOut].begin(), buf[kOut].end());
    }
    out.resize(kLength);
    return out;
}

// Magnitude of the windowed spectrum at one frequency (Goertzel).
double magnitude(const std::vector<double>& x, double freq) {
    const double w = 2.0 * M_PI * freq / kRate;
    const double c = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (double v : x) {
        const double s = v + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2);
}

// Measured fundamental in cents from the requested frequency.
double measureCents(const std::vector<float>& y, double freq) {
    std::vector<double> x(y.size());
    const double n = static_cast<double>(y.size());
    for (size_t i = 0; i < y.size(); ++i)
        x[i] = y[i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / n));
    auto at = [&](double cents) { return magnitude(x, freq * std::exp2(cents / 1200.0)); };
    double best = 0.0, bestMag = -1.0;
    for (double c = -150.0; c <= 150.0; c += 1.0) {
        const double m = at(c);
        if (m > bestMag) bestMag = m, best = c;
    }
    const double centre = best;
    for (double c = centre - 1.0; c <= centre + 1.0; c += 0.01) {
        const double m = at(c);
        if (m > bestMag) bestMag = m, best = c;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : ZDSP_DEFAULT_SEM;
    std::string error;
    auto lib = zhost::Library::load(path, &error);
    if (!lib) {
        std::fprintf(stderr, "measure_dwg_tuning: %s\n", error.c_str());
        return 1;
    }
    zhost::SharedTableStore tables;
    const float dampings[] = {0.1f, 0.3f, 0.5f};
    const float pitches[] = {40.0f,  55.0f,  80.0f,  110.0f,  160.0f,  220.0f, 330.0f,
                             440.0f, 660.0f, 880.0f, 1320.0f, 1760.0f, 2000.0f};

    std::printf("DWG tuning at %.0f Hz: measured fundamental minus requested pitch, in cents\n",
                kRate);
    std::printf("(feedback 0.9995, gate open; period correction off / on, per damping)\n\n");
    std::printf("%9s %9s", "pitch Hz", "period");
    for (float d : dampings) std::printf("   d=%.1f off    on", d);
    std::printf("\n");
    for (float f : pitches) {
        std::printf("%9.1f %9.2f", f, kRate / f);
        for (float d : dampings) {
            const double off = measureCents(render(*lib, tables, f, d, false), f);
            const double on = measureCents(render(*lib, tables, f, d, true), f);
            std::printf("  %8.2f %7.2f", off, on);
        }
        std::printf("\n");
    }
    return 0;
}
