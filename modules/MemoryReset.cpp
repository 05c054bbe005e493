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
        // Read everything before writing: the output may share a buffer.
        const float s = set[i];
        const float r = reset[i];
        const float x0 = source0[i];
        const float x1 = source1[i];
        // Only the condition that can change the latch is looked at. An edge
        // needs the previous sample below the threshold (so NaN then high is
        // no edge).
        if (latch) {
            if (high(r) && (!kEdge || previousReset < 0.5f)) {
                latch = false;
                pinOutput.reportStreaming(pinResetSource.isStreaming(), offset + i);
            } else if (pending) {
                pending = false;
                pinOutput.reportStreaming(pinSetSource.isStreaming(), offset + i);
            }
        } else {
            if (high(s) && (!kEdge || previousSet < 0.5f)) {
                latch = true;
                pinOutput.reportStreaming(pinSetSource.isStreaming(), offset + i);
            } else if (pending) {
                pending = false;
                pinOutput.reportStreaming(pinResetSource.isStreaming(), offset + i);
            }
        }
        out[i] = latch ? x1 : x0;
        previousSet = s;
        previousReset = r;
    }
    latch_ = latch;
    pending_ = pending;
    previousSet_ = previousSet;
    previousReset_ = previousReset;

    // With every input steady nothing can change but through the latch,
    // whose switches report themselves.
    if (!pinResetSource.isStreaming() && !pinSetSource.isStreaming() && !pinSet.isStreaming() &&
        !pinReset.isStreaming())
        allowSleep(true);
}

template class MemoryLatch<false>;
template class MemoryLatch<true>;
