// Measures the spectrum of the noise generator: renders NoiseGen through the
// library (or reads a sound file) and prints, from Hann-windowed frames of
// 4096 samples with a plain DFT averaged over the frames, the mean power per
// bin in octave bands, the slope of those levels in dB per octave, and the
// spectral flatness (geometric over arithmetic mean of the bin powers).
//
//   measure_noise_spectrum                      white and pink, seed 1
//   measure_noise_spectrum --type pink --seed 9 --frames 64
//   measure_noise_spectrum --wav out.wav --channel 0
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/audio_file.h"
#include "host/host_core.h"

namespace {

constexpr int kFrame = 4096;
constexpr double kPi = 3.14159265358979323846;

struct Options {
    std::string sem = ZDSP_DEFAULT_SEM;
    std::string wav;
    int channel = 0;
    std::string type = "both";
    int seed = 1;
    int frames = 32;
    float sampleRate = 48000.0f;
};

bool render(const Options& o, int type, std::vector<float>* out) {
    std::string error;
    auto lib = zhost::Library::load(o.sem, &error);
    if (!lib) {
        std::fprintf(stderr, "measure_noise_spectrum: %s\n", error.c_str());
        return false;
    }
    const int32_t block = 512;
    zhost::SharedTableStore tables;
    std::vector<zhost::PinInfo> pins = {{mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM},
                                        {mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL},
                                        {mp::PIN_DIR_IN, mp::PIN_TYPE_INT},
                                        {mp::PIN_DIR_OUT, mp::PIN_TYPE_AUDIO}};
    auto inst =
        zhost::Instance::create(*lib, "NoiseGen", tables, pins, o.sampleRate, block, &error);
    if (!inst || inst->open() != 0) {
        std::fprintf(stderr, "measure_noise_spectrum: NoiseGen: %s\n", error.c_str());
        return false;
    }
    std::vector<float> buffer(block);
    inst->bindBuffer(3, buffer.data());
    zhost::EventList events;
    events.addInt(0, 0, type);
    events.addBool(0, 1, true);
    events.addInt(0, 2, o.seed);
    events.addGraphStart(0);
    const size_t total = static_cast<size_t>(o.frames) * kFrame;
    out->clear();
    while (out->size() < total) {
        inst->process(block, events.head());
        events.clear();
        out->insert(out->end(), buffer.begin(), buffer.end());
    }
    out->resize(total);
    return true;
}

// Averaged power per bin 0 .. kFrame/2 of Hann-windowed frames.
std::vector<double> averagedSpectrum(const std::vector<float>& x) {
    std::vector<double> cosT(kFrame), sinT(kFrame), window(kFrame);
    for (int n = 0; n < kFrame; ++n) {
        cosT[n] = std::cos(2.0 * kPi * n / kFrame);
        sinT[n] = std::sin(2.0 * kPi * n / kFrame);
        window[n] = 0.5 - 0.5 * std::cos(2.0 * kPi * n / kFrame);
    }
    const int frames = static_cast<int>(x.size() / kFrame);
    std::vector<double> power(kFrame / 2 + 1, 0.0), frame(kFrame);
    for (int f = 0; f < frames; ++f) {
        double mean = 0.0;
        for (int n = 0; n < kFrame; ++n) mean += x[static_cast<size_t>(f) * kFrame + n];
        mean /= kFrame;
        for (int n = 0; n < kFrame; ++n)
            frame[n] = (x[static_cast<size_t>(f) * kFrame + n] - mean) * window[n];
        for (int k = 1; k <= kFrame / 2; ++k) {
            double re = 0.0, im = 0.0;
            int idx = 0;
            for (int n = 0; n < kFrame; ++n) {
                re += frame[n] * cosT[idx];
                im -= frame[n] * sinT[idx];
                idx = (idx + k) & (kFrame - 1);
            }
            power[k] += re * re + im * im;
        }
    }
    for (double& p : power) p /= frames;
    return power;
}

void report(const char* name, const std::vector<float>& x, float sampleRate) {
    const std::vector<double> p = averagedSpectrum(x);
    const double binHz = sampleRate / kFrame;
    std::printf("%s: %zu samples, %d frames of %d, bin %.2f Hz\n", name, x.size(),
                static_cast<int>(x.size() / kFrame), kFrame, binHz);

    // Octave bands of bins [2^j, 2^(j+1)), j = 2 .. 10 (about 47 Hz to 12 kHz at 48 kHz).
    std::vector<double> octave, level;
    for (int j = 2; j <= 10; ++j) {
        double sum = 0.0;
        int lo = 1 << j, hi = 1 << (j + 1);
        for (int k = lo; k < hi; ++k) sum += p[k];
        const double db = 10.0 * std::log10(sum / (hi - lo));
        octave.push_back(j);
        level.push_back(db);
        std::printf("  %7.0f - %7.0f Hz  %8.2f dB\n", lo * binHz, hi * binHz, db);
    }
    double mx = 0, my = 0;
    for (size_t i = 0; i < octave.size(); ++i) mx += octave[i], my += level[i];
    mx /= octave.size();
    my /= octave.size();
    double sxy = 0, sxx = 0, spread = 0;
    for (size_t i = 0; i < octave.size(); ++i) {
        sxy += (octave[i] - mx) * (level[i] - my);
        sxx += (octave[i] - mx) * (octave[i] - mx);
    }
    const double slope = sxy / sxx;
    for (size_t i = 0; i < octave.size(); ++i) {
        const double fit = my + slope * (octave[i] - mx);
        spread = std::fmax(spread, std::fabs(level[i] - fit));
    }
    double logSum = 0.0, sum = 0.0;
    const int bins = kFrame / 2 - 1;
    for (int k = 1; k <= bins; ++k) {
        logSum += std::log(p[k]);
        sum += p[k];
    }
    const double flatness = std::exp(logSum / bins) / (sum / bins);
    std::printf("  slope %.2f dB/octave (largest band deviation from the fit %.2f dB)\n", slope,
                spread);
    std::printf("  spectral flatness %.4f (%.2f dB; 1 = perfectly flat)\n", flatness,
                10.0 * std::log10(flatness));
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "measure_noise_spectrum: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--wav") {
            o.wav = value();
        } else if (a == "--channel") {
            o.channel = std::atoi(value().c_str());
        } else if (a == "--type") {
            o.type = value();
        } else if (a == "--seed") {
            o.seed = std::atoi(value().c_str());
        } else if (a == "--frames") {
            o.frames = std::atoi(value().c_str());
        } else if (a == "--sem") {
            o.sem = value();
        } else {
            std::fprintf(stderr,
                         "usage: measure_noise_spectrum [--type white|pink|both] [--seed N] "
                         "[--frames N] [--sem PATH] | --wav FILE [--channel N]\n");
            return 2;
        }
    }
    if (o.frames < 1) o.frames = 1;

    if (!o.wav.empty()) {
        zhost::AudioData data;
        std::string error;
        if (!zhost::readAudioFile(o.wav, &data, &error)) {
            std::fprintf(stderr, "measure_noise_spectrum: %s\n", error.c_str());
            return 1;
        }
        if (o.channel < 0 || o.channel >= data.channels) {
            std::fprintf(stderr, "measure_noise_spectrum: %s has %d channels\n", o.wav.c_str(),
                         data.channels);
            return 1;
        }
        std::vector<float> x = data.channel(o.channel);
        if (x.size() < static_cast<size_t>(kFrame)) {
            std::fprintf(stderr, "measure_noise_spectrum: fewer than %d samples\n", kFrame);
            return 1;
        }
        x.resize(x.size() / kFrame * kFrame);
        report(o.wav.c_str(), x, static_cast<float>(data.sampleRate));
        return 0;
    }
    std::vector<float> x;
    if (o.type == "white" || o.type == "both") {
        if (!render(o, 0, &x)) return 1;
        report("white", x, o.sampleRate);
    }
    if (o.type == "pink" || o.type == "both") {
        if (!render(o, 1, &x)) return 1;
        report("pink", x, o.sampleRate);
    }
    return 0;
}
