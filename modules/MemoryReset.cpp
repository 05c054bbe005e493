#include "modules/MemoryReset.h"

#include "framework/mp_factory.h"

REGISTER_DSP(MemoryReset, u"Memory/Reset");
REGISTER_DSP(MemoryReset2, u"Memory/Reset2");

namespace {
// NaN is never high.
inline bool high(float v) {
    return v >= 0.5f;
}
}  // namespace

template <bool kEdge>
MemoryLatch<kEdge>::MemoryLatch() {
    registerPin(pinResetSource);
    registerPin(pinSetSource);
    registerPin(pinSet);
    registerPin(pinReset);
    registerPin(pinOutput);
    selectSpanRoutine(&MemoryLatch::subProcess);
}

// Reports are left to the span routine, which knows the exact sample where
// the selected source is heard again.
template <bool kEdge>
void MemoryLatch<kEdge>::onPinsChanged() {
    const AudioInPin& selected = latch_ ? pinSetSource : pinResetSource;
    if (selected.isUpdated()) pending_ = true;
    allowSleep(false);
}

template <bool kEdge>
void MemoryLatch<kEdge>::subProcess(int32_t count) {
    const int32_t offset = spanOffset();
    const float* source0 = pinResetSource.buffer() + offset;
    const float* source1 = pinSetSource.buffer() + offset;
    const float* set = pinSet.buffer() + offset;
    const float* reset = pinReset.buffer() + offset;
    float* out = pinOutput.buffer() + offset;

    bool latch = latch_;
    bool pending = pending_;
    float previousSet = previousSet_;
    float previousReset = previousReset_;
    for (int32_t i = 0; i < count; ++i) {
        const bool setHigh = high(set[i]);
        const bool resetHigh = high(reset[i]);
        // Only the condition that can change the latch is looked at.
        const bool flip = latch ? (resetHigh && (!kEdge || !high(previousReset)))
                                : (setHigh && (!kEdge || !high(previousSet)));
        const AudioInPin& heard = (latch != flip) ? pinSetSource : pinResetSource;
        if (flip) {
            latch = !latch;
            bool streaming = heard.isStreaming();
            // Both levels high: the latch flips back at the next sample, so
            // the output alternates even between static sources. Say so
            // once, and report the source itself when the alternation stops.
            if (!kEdge && setHigh && resetHigh) {
                pending = true;
                if (!pinOutput.isStreaming()) pinOutput.reportStreaming(true, offset + i);
            } else {
                pinOutput.reportStreaming(streaming, offset + i);
            }
        } else if (pending) {
            pending = false;
            pinOutput.reportStreaming(heard.isStreaming(), offset + i);
        }
        out[i] = latch ? source1[i] : source0[i];
        previousSet = set[i];
        previousReset = reset[i];
    }
    latch_ = latch;
    pending_ = pending;
    previousSet_ = previousSet;
    previousReset_ = previousReset;

    // With every input steady and the output reported steady nothing can
    // change any more.
    if (!pinResetSource.isStreaming() && !pinSetSource.isStreaming() && !pinSet.isStreaming() &&
        !pinReset.isStreaming() && !pinOutput.isStreaming())
        allowSleep(true);
}

template class MemoryLatch<false>;
template class MemoryLatch<true>;
