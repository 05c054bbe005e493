#include "modules/MemoryReset.h"

#include "framework/mp_factory.h"

REGISTER_DSP(MemoryReset, u"Memory/Reset");
REGISTER_DSP(MemoryReset2, u"Memory/Reset2");

namespace {
// NaN is never high. An edge also needs the previous sample below the
// threshold, so NaN followed by a high sample is no edge.
template <bool kEdge>
inline bool fires(float v, float previous) {
    return v >= 0.5f && (!kEdge || previous < 0.5f);
}

// Copies `heard` to `out` from sample i on, up to the sample where `trigger`
// fires (returned; count if none). The other trigger's history is not kept:
// it is read afresh at the switch, before it can matter. Everything is read
// before writing: the output may share a buffer with an input.
template <bool kEdge>
inline int32_t follow(const float* heard, const float* trigger, float* out, float& previous,
                      int32_t i, int32_t count) {
    float p = previous;
    for (; i < count; ++i) {
        const float t = trigger[i];
        const float x = heard[i];
        if (fires<kEdge>(t, p)) break;
        out[i] = x;
        p = t;
    }
    previous = p;
    return i;
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

// The latch spends most samples in one state, where only one trigger can
// change anything: copy the heard source until that trigger fires, then
// switch and report at that sample. A pending report goes out at the first
// sample that does not switch.
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
    int32_t i = 0;
    while (i < count) {
        const float s = set[i];
        const float r = reset[i];
        if (pending && !(latch ? fires<kEdge>(r, previousReset) : fires<kEdge>(s, previousSet))) {
            pending = false;
            pinOutput.reportStreaming(
                latch ? pinSetSource.isStreaming() : pinResetSource.isStreaming(), offset + i);
        }
        i = latch ? follow<kEdge>(source1, reset, out, previousReset, i, count)
                  : follow<kEdge>(source0, set, out, previousSet, i, count);
        if (i == count) break;
        // Sample i switches the latch.
        const float x = latch ? source0[i] : source1[i];
        previousSet = set[i];
        previousReset = reset[i];
        latch = !latch;
        pinOutput.reportStreaming(latch ? pinSetSource.isStreaming() : pinResetSource.isStreaming(),
                                  offset + i);
        out[i] = x;
        ++i;
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
