// Floating-point mode of the processing thread. Audio hosts run their DSP
// with denormals flushed to zero (FTZ) and denormal inputs read as zero
// (DAZ): a decaying feedback loop otherwise spends its tail in the slow
// denormal range. The library never touches the mode; the host chooses.
#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define ZHOST_HAVE_MXCSR 1
#endif

namespace zhost {

// Sets (flush = true) or clears FTZ and DAZ on the calling thread for its
// lifetime and restores the previous mode when it ends.
class DenormalMode {
public:
    explicit DenormalMode(bool flush) {
#ifdef ZHOST_HAVE_MXCSR
        saved_ = _mm_getcsr();
        const unsigned bits = kFlushToZero | kDenormalsAreZero;
        _mm_setcsr(flush ? (saved_ | bits) : (saved_ & ~bits));
#else
        (void)flush;
#endif
    }
    ~DenormalMode() {
#ifdef ZHOST_HAVE_MXCSR
        _mm_setcsr(saved_);
#endif
    }
    DenormalMode(const DenormalMode&) = delete;
    DenormalMode& operator=(const DenormalMode&) = delete;

    // Whether the calling thread flushes denormals now.
    static bool flushing() {
#ifdef ZHOST_HAVE_MXCSR
        return (_mm_getcsr() & (kFlushToZero | kDenormalsAreZero)) != 0;
#else
        return false;
#endif
    }

private:
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned saved_ = 0;
};

}  // namespace zhost
