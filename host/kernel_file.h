// Convolution kernels from files, for the blob pins of patches: a sound file
// (its first channel, one tap per frame) or a JSON list of numbers.
#pragma once

#include <string>
#include <vector>

namespace zhost {

// Longest kernel a file may hold: the convolution module keeps 1024 taps.
constexpr size_t kMaxKernelTaps = 1024;

// Reads the taps of `path`: a ".json" file (any case) must hold a list of
// numbers; anything else is read with libsndfile. An empty kernel, a
// non-finite tap or more than kMaxKernelTaps taps is an error rather than a
// silent change of the filter. Returns an empty vector and fills *error
// ("<path>: <reason>") on failure.
std::vector<float> loadKernel(const std::string& path, std::string* error);

}  // namespace zhost
