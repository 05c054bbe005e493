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

void KV_AudioCounter::subProcess(int32_t count) {
    const float* clock = pinClock.buffer() + spanOffset();
    const float* reset = pinReset.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    const int32_t edgeMode = edgeMode_;
    const int32_t countMode = countMode_;
    const uint32_t limit = limit_;
    uint32_t n = n_;
    float p = previous_;
    bool down = countingDown_;
    for (int32_t i = 0; i < count; ++i) {
        const float c = clock[i];
        if (reset[i] > 0.0f) {
            n = 0;
            out[i] = 0.0f;
            p = c;
            continue;
        }
        bool edge = false;
        if (edgeMode == 0) {
            edge = p <= 0.0f && c > 0.0f;
        } else if (edgeMode == 1) {
            edge = p >= 0.0f && c < 0.0f;
        }
        if (edge) {
            switch (countMode) {
                case 0:
                    ++n;  // wraps at 2^32
                    break;
                case 1:
                    if (n < limit) ++n;
                    break;
                case 2:
                    if (++n > limit) n = 0;
                    break;
                case 3:
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
                    break;
                default:
                    break;
            }
        }
        out[i] = static_cast<float>(n) * 0.1f;
        p = c;
    }
    n_ = n;
    previous_ = p;
    countingDown_ = down;
}
