// Hand-written loops doing a module's per-sample arithmetic on plain arrays,
// without the framework (no instance, pins, events or span routines), and the
// textbook ways of computing the same thing, to measure against.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mp {
struct IMpHost;
}

namespace zbench {

class Loop {
public:
    virtual ~Loop() = default;
    // Processes n samples from the start of the buffers.
    virtual void run(int32_t n) = 0;
};

// One buffer per pin of the module, of the block size, the inputs filled as
// in the streaming scenario; the loop writes the module's output pin. Null
// when there is no hand loop for the module. `blob` is the module's blob
// input (the kernel of ShortConv). Loops whose module must tell its host when
// the output switches between changing and steady (Freezer, the latches)
// make the same report to `host`, straight through the host interface; with
// a null host they report nothing.
std::unique_ptr<Loop> makeBaseline(const std::string& id, std::vector<std::vector<float>>& bufs,
                                   const std::vector<float>& blob, mp::IMpHost* host = nullptr);

// Reference implementations: a plain direct-form FIR of 1024 taps (inner
// product over a history), white noise from std::mt19937 through
// std::uniform_real_distribution, and the band-limited impulse train
// evaluated with std::sin, each on `in` into `out`.
std::unique_ptr<Loop> makePlainFir(const std::vector<float>& kernel, const float* in, float* out);
std::unique_ptr<Loop> makeMt19937Noise(float* out);
std::unique_ptr<Loop> makeSinDirac(float periodSamples, const float* amp, float* out);

}  // namespace zbench
