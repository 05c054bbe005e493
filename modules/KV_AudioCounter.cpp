#include "modules/KV_AudioCounter.h"

#include "framework/mp_factory.h"

REGISTER_DSP(KV_AudioCounter, u"KV_AudioCounter");

KV_AudioCounter::KV_AudioCounter() {
    registerPin(pinClock);
    registerPin(pinReset);
    registerPin(pinEdge);
    registerPin(pinMode);
    registerPin(pinLimit);
    registerPin(pinOutput);
    selectSpanRoutine(&KV_AudioCounter::subProcess);
}

void KV_AudioCounter::onPinsChanged() {
    // Edges and resets come only from the audio inputs: with both static the
    // count can change at most at this very sample.
    pinOutput.reportStreaming(pinClock.isStreaming() || pinReset.isStreaming(), -1);
    if (pinEdge.isUpdated()) edgeMode_ = pinEdge.getValue();
    if (pinMode.isUpdated()) countMode_ = pinMode.getValue();
    if (pinLimit.isUpdated()) {
        const int32_t l = pinLimit.getValue();
        limit_ = l <= 0 ? 1u : static_cast<uint32_t>(l);
    }
}

namespace {

struct CounterState {
    uint32_t n;
    float previous;
    bool down;
};

// One edge setting and one counting mode, both fixed for the span, so the
// per-sample loop tests only the samples.
template <int kEdge, int kMode>
void count(const float* clock, const float* reset, float* out, int32_t samples, uint32_t limit,
           CounterState& s) {
    uint32_t n = s.n;
    float p = s.previous;
    bool down = s.down;
    for (int32_t i = 0; i < samples; ++i) {
        const float c = clock[i];
        if (reset[i] > 0.0f) {
            n = 0;
            out[i] = 0.0f;
            p = c;
            continue;
        }
        const bool edge =
            kEdge == 0 ? (p <= 0.0f && c > 0.0f) : (kEdge == 1 ? (p >= 0.0f && c < 0.0f) : false);
        if (edge) {
            if constexpr (kMode == 0) {
                ++n;  // wraps at 2^32
            } else if constexpr (kMode == 1) {
                if (n < limit) ++n;
            } else if constexpr (kMode == 2) {
                if (++n > limit) n = 0;
            } else if constexpr (kMode == 3) {
                if (!down) {
                    // n + 1 > limit, written so that it cannot overflow
                    if (n >= limit) {
                        --n;
                        down = true;
                    } else {
                        ++n;
                    }
                } else if (n == 0) {
                    n = 1;
                    down = false;
                } else {
                    --n;
                }
            }
        }
        out[i] = static_cast<float>(n) * 0.1f;
        p = c;
    }
    s = {n, p, down};
}

using CountLoop = void (*)(const float*, const float*, float*, int32_t, uint32_t, CounterState&);

template <int kEdge>
CountLoop loopFor(int32_t mode) {
    switch (mode) {
        case 0:
            return &count<kEdge, 0>;
        case 1:
            return &count<kEdge, 1>;
        case 2:
            return &count<kEdge, 2>;
        case 3:
            return &count<kEdge, 3>;
        default:
            return &count<kEdge, 4>;  // hold
    }
}

}  // namespace

void KV_AudioCounter::subProcess(int32_t count) {
    const CountLoop loop = edgeMode_ == 0   ? loopFor<0>(countMode_)
                           : edgeMode_ == 1 ? loopFor<1>(countMode_)
                                            : loopFor<2>(countMode_);  // no edges
    // Up and down under a limit of 0 (never set) would turn down from 0 and
    // wrap to 2^32 - 1; it bounces between 0 and 1 as under a limit of 1.
    const uint32_t limit = countMode_ == 3 && limit_ == 0 ? 1u : limit_;
    CounterState s{n_, previous_, countingDown_};
    loop(pinClock.buffer() + spanOffset(), pinReset.buffer() + spanOffset(),
         pinOutput.buffer() + spanOffset(), count, limit, s);
    n_ = s.n;
    previous_ = s.previous;
    countingDown_ = s.down;
}
