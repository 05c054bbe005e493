#include "modules/SampleDelays.h"

#include <cmath>

#include "framework/mp_factory.h"

REGISTER_DSP(Latency, u"Latency");
REGISTER_DSP(FracDelay, u"FracDelay");

namespace {
constexpr int32_t kRing = Latency::kMaxDelay + 1;

struct FracState {
    int32_t c;
    int32_t countdown;
    float y;
    float yPrev;
    bool settled;
};

// FracDelay's samples for one span. kWhole: a whole-sample delay (eta >= 1)
// reads the ring directly; kWatch: the input is static and the tail is
// watched for its end. Both are fixed for the span, so the per-sample loop
// tests only the samples.
template <bool kWhole, bool kWatch>
void fracSpan(float* ring, const float* in, float* out, int32_t count, int32_t n, float eta,
              FracState& s) {
    int32_t c = s.c;
    int32_t countdown = s.countdown;
    float y = s.y;
    float yPrev = s.yPrev;
    bool settled = s.settled;
    for (int32_t i = 0; i < count; ++i) {
        ring[c] = in[i];
        int32_t r = c - n;
        if (r < 0) r += kRing;
        if constexpr (kWhole) {
            y = ring[r];
        } else {
            const int32_t r1 = r == 0 ? kRing - 1 : r - 1;
            y = ring[r1] + (ring[r] - y) * eta;
        }
        out[i] = y;
        if (++c == kRing) c = 0;

        if constexpr (kWatch) {
            if (countdown > 0) {
                --countdown;
            } else if (countdown == 0 && std::fabs(y - yPrev) < 1e-6f) {
                countdown = -1;
                settled = true;
            }
        }
        yPrev = y;
    }
    s = {c, countdown, y, yPrev, settled};
}
}  // namespace

// ------------------------------------------------------------------- Latency

Latency::Latency() {
    registerPin(pinInput);
    registerPin(pinDelay);
    registerPin(pinOutput);
    selectSpanRoutine(&Latency::subProcess);
}

void Latency::onPinsChanged() {
    bool delayChanged = false;
    if (pinDelay.isUpdated()) {
        int32_t d = pinDelay.getValue();
        d = d < 0 ? 0 : (d > kMaxDelay ? kMaxDelay : d);
        delayChanged = d != delay_;
        delay_ = d;
    }
    if (pinInput.isUpdated()) {
        if (pinInput.isStreaming()) {
            pinOutput.reportStreaming(true, -1);
        } else {
            followStaticInput();
        }
    } else if (delayChanged && !pinInput.isStreaming()) {
        followDelayChange();
    }
}

// From now on the output changes until the newest `delay` ring samples all
// hold the input's constant value.
void Latency::followStaticInput() {
    pinOutput.reportStreaming(delay_ > 0, -1);
    countdown_ = delay_;
    sinceStop_ = 0;
}

// A delay longer than the time since the input stopped reads ring samples
// written before the stop: the output changes again until the new delay has
// passed since the stop. Any other change leaves the reports as they stand.
void Latency::followDelayChange() {
    const bool pending = pinOutput.isStreaming() && countdown_ >= 0;
    const int32_t staticFrom = pending ? sinceStop_ + countdown_ : sinceStop_;
    if (delay_ <= staticFrom) return;
    if (!pinOutput.isStreaming()) pinOutput.reportStreaming(true, -1);
    countdown_ = delay_ - sinceStop_;
}

void Latency::subProcess(int32_t count) {
    const float* in = pinInput.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();
    const int32_t delay = delay_;
    int32_t c = write_;
    for (int32_t i = 0; i < count; ++i) {
        ring_[c] = in[i];
        int32_t r = c - delay;
        if (r < 0) r += kRing;
        out[i] = ring_[r];
        if (++c == kRing) c = 0;
    }
    write_ = c;

    if (!pinInput.isStreaming()) {
        if (countdown_ >= 0) {
            if (countdown_ < count) pinOutput.reportStreaming(false, spanOffset() + countdown_);
            // Past the report the countdown rests at -1 rather than running
            // down without end.
            countdown_ = countdown_ < count ? -1 : countdown_ - count;
        }
        sinceStop_ = count < kRing - sinceStop_ ? sinceStop_ + count : kRing;
    }
}

// ----------------------------------------------------------------- FracDelay

FracDelay::FracDelay() {
    registerPin(pinInput);
    registerPin(pinDelay);
    registerPin(pinOutput);
    selectSpanRoutine(&FracDelay::subProcess);
}

void FracDelay::onPinsChanged() {
    bool delayChanged = false;
    if (pinDelay.isUpdated()) {
        float d = pinDelay.getValue();
        // NaN would make the read position undefined; it counts as no delay.
        if (!(d > 0.0f)) d = 0.0f;
        if (d > static_cast<float>(kMaxDelay)) d = static_cast<float>(kMaxDelay);
        delayChanged = d != delay_;
        delay_ = d;
    }
    if (pinInput.isUpdated()) {
        followInput();
    } else if (delayChanged && !pinInput.isStreaming()) {
        followDelayChange();
    }
}

void FracDelay::followInput() {
    pinOutput.reportStreaming(true, -1);
    if (!pinInput.isStreaming()) {
        countdown_ = static_cast<int32_t>(delay_ + 0.5f);
        sinceStop_ = 0;
    }
}

// While a stopped input's tail is still watched, a longer delay brings ring
// samples from before the stop out again; the watch must not begin before the
// new delay has passed since the stop, or the output could settle on one of
// them. A settled output holds its value and stays as it is.
void FracDelay::followDelayChange() {
    if (!pinOutput.isStreaming() || countdown_ < 0) return;
    const int32_t watchFrom = static_cast<int32_t>(delay_ + 0.5f);
    if (watchFrom > sinceStop_ + countdown_) countdown_ = watchFrom - sinceStop_;
}

void FracDelay::subProcess(int32_t count) {
    float* out = pinOutput.buffer() + spanOffset();
    float y = y_;
    if (!pinOutput.isStreaming()) {
        // Settled: hold, and leave the ring as it is.
        for (int32_t i = 0; i < count; ++i) out[i] = y;
        return;
    }

    const float* in = pinInput.buffer() + spanOffset();
    const int32_t n = static_cast<int32_t>(delay_);
    const float f = delay_ - static_cast<float>(n);
    const float eta = (1.0f - f) / (1.0f + f);
    const bool watchTail = !pinInput.isStreaming();
    FracState s{write_, countdown_, y, yPrev_, false};
    float* ring = ring_.data();
    if (eta >= 1.0f) {
        if (watchTail) {
            fracSpan<true, true>(ring, in, out, count, n, eta, s);
        } else {
            fracSpan<true, false>(ring, in, out, count, n, eta, s);
        }
    } else if (watchTail) {
        fracSpan<false, true>(ring, in, out, count, n, eta, s);
    } else {
        fracSpan<false, false>(ring, in, out, count, n, eta, s);
    }
    write_ = s.c;
    countdown_ = s.countdown;
    if (watchTail) sinceStop_ = count < kRing - sinceStop_ ? sinceStop_ + count : kRing;
    y_ = s.y;
    yPrev_ = s.yPrev;
    if (s.settled) pinOutput.reportStreaming(false, spanOffset() + count);
}
