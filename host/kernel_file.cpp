#include "host/kernel_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

namespace zhost {

namespace {

bool endsWithJson(const std::string& path) {
    if (path.size() < 5) return false;
    std::string ext = path.substr(path.size() - 5);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".json";
}

bool readJson(const std::string& path, std::vector<float>* taps, std::string* why) {
    std::ifstream in(path);
    if (!in) {
        *why = "cannot open";
        return false;
    }
    nlohmann::json j;
    try {
        in >> j;
    } catch (const nlohmann::json::exception& e) {
        *why = std::string("malformed JSON (") + e.what() + ")";
        return false;
    }
    if (!j.is_array()) {
        *why = "expected a list of numbers";
        return false;
    }
    for (size_t i = 0; i < j.size(); ++i) {
        if (!j[i].is_number()) {
            *why = "tap " + std::to_string(i) + " is not a number";
            return false;
        }
        // Out-of-range values become infinities here and are refused below.
        const double v = j[i].get<double>();
        taps->push_back(std::fabs(v) > std::numeric_limits<float>::max()
                            ? std::numeric_limits<float>::infinity()
                            : static_cast<float>(v));
    }
    return true;
}

bool readSound(const std::string& path, std::vector<float>* taps, std::string* why) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) {
        *why = sf_strerror(nullptr);
        return false;
    }
    // Refuse before reading a long file whole: it is not a short kernel.
    if (info.frames > static_cast<sf_count_t>(kMaxKernelTaps)) {
        sf_close(f);
        *why = std::to_string(info.frames) + " taps; at most " + std::to_string(kMaxKernelTaps) +
               " are allowed";
        return false;
    }
    std::vector<float> frames(static_cast<size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_float(f, frames.data(), info.frames);
    sf_close(f);
    if (got != info.frames) {
        *why = "short read";
        return false;
    }
    for (sf_count_t i = 0; i < got; ++i)
        taps->push_back(frames[static_cast<size_t>(i * info.channels)]);
    return true;
}

}  // namespace

std::vector<float> loadKernel(const std::string& path, std::string* error) {
    std::vector<float> taps;
    std::string why;
    const bool ok = endsWithJson(path) ? readJson(path, &taps, &why) : readSound(path, &taps, &why);
    if (ok && taps.empty()) why = "the kernel has no taps";
    if (ok && taps.size() > kMaxKernelTaps)
        why = std::to_string(taps.size()) + " taps; at most " + std::to_string(kMaxKernelTaps) +
              " are allowed";
    if (ok && why.empty()) {
        for (size_t i = 0; i < taps.size(); ++i) {
            if (!std::isfinite(taps[i])) {
                why = "tap " + std::to_string(i) + " is not finite";
                break;
            }
        }
    }
    if (!why.empty()) {
        if (error != nullptr) *error = path + ": " + why;
        return {};
    }
    return taps;
}

}  // namespace zhost
