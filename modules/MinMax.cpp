#include "modules/MinMax.h"

#include "framework/mp_factory.h"

REGISTER_DSP(MinMax, u"MinMax");
REGISTER_DSP(MinMaxIndex, u"MinMaxIndex");

// -------------------------------------------------------------------- MinMax

MinMax::MinMax() {
    registerPin(pinSignal);
    registerPin(pinMinimum);
    registerPin(pinMaximum);
    selectSpanRoutine(&MinMax::subProcess);
}

void MinMax::onPinsChanged() {
    // A steady input is still taken in while the sleep countdown runs.
    const bool streaming = pinSignal.isStreaming();
    sleepAllowed_ = !streaming;
    allowSleep(sleepAllowed_);
    pinMinimum.reportStreaming(streaming, -1);
    pinMaximum.reportStreaming(streaming, -1);
}

void MinMax::subProcess(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    float* outMin = pinMinimum.buffer() + spanOffset();
    float* outMax = pinMaximum.buffer() + spanOffset();
    float lo = minimum_;
    float hi = maximum_;
    for (int32_t i = 0; i < count; ++i) {
        const float x = in[i];  // NaN compares false and is never taken
        if (x < lo) lo = x;
        if (x > hi) hi = x;
        outMin[i] = lo;
        outMax[i] = hi;
    }
    minimum_ = lo;
    maximum_ = hi;
}

// --------------------------------------------------------------- MinMaxIndex

namespace {

// A pin the host lists that the module does not use.
class ListedPin final : public MpPinBase {
public:
    ListedPin(int32_t direction, int32_t datatype) : direction_(direction), datatype_(datatype) {}
    int32_t dataType() const override { return datatype_; }
    int32_t direction() const override { return direction_; }

private:
    int32_t direction_;
    int32_t datatype_;
};

}  // namespace

MinMaxIndex::MinMaxIndex() {
    registerPin(pinMinimum);
    registerPin(pinMinimumIndex);
    registerPin(pinMaximum);
    registerPin(pinMaximumIndex);
    selectSpanRoutine(&MinMaxIndex::subProcess);
}

int32_t MinMaxIndex::open() {
    MpBase2::open();
    if (opened_) return mp::MP_OK;  // the inputs exist already
    opened_ = true;

    // Every audio input in the host's list becomes a compared input, indexed
    // by its position in the list. Positions 0 to 3 are the fixed outputs.
    constexpr int32_t kFixedPins = 4;
    PinIterator it(host());
    int32_t position = 0;
    for (bool on = it.first(); on; on = it.next(), ++position) {
        if (position < kFixedPins) continue;
        const int32_t direction = it.getDirection();
        const int32_t datatype = it.getDatatype();
        if (direction == mp::PIN_DIR_IN && datatype == mp::PIN_TYPE_AUDIO) {
            inputs_.push_back(std::make_unique<AudioInPin>());
            registerPin(*inputs_.back());
        } else {
            others_.push_back(std::make_unique<ListedPin>(direction, datatype));
            registerPin(*others_.back());
        }
    }
    reads_.assign(inputs_.size(), nullptr);
    return mp::MP_OK;
}

void MinMaxIndex::reportOutputs(bool streaming, int32_t offset) {
    pinMinimum.reportStreaming(streaming, offset);
    pinMinimumIndex.reportStreaming(streaming, offset);
    pinMaximum.reportStreaming(streaming, offset);
    pinMaximumIndex.reportStreaming(streaming, offset);
}

void MinMaxIndex::onPinsChanged() {
    bool streaming = false;
    for (const auto& in : inputs_) streaming = streaming || in->isStreaming();
    reportOutputs(streaming, -1);
    allowSleep(!streaming);
}

void MinMaxIndex::subProcess(int32_t count) {
    float* outMin = pinMinimum.buffer() + spanOffset();
    float* outMinIndex = pinMinimumIndex.buffer() + spanOffset();
    float* outMax = pinMaximum.buffer() + spanOffset();
    float* outMaxIndex = pinMaximumIndex.buffer() + spanOffset();
    const int32_t n = static_cast<int32_t>(inputs_.size());

    if (n == 0) {
        // Nothing to compare: all four outputs rest at 0, and say so, since
        // no input event will ever arrive to report it.
        for (int32_t i = 0; i < count; ++i) {
            outMin[i] = 0.0f;
            outMinIndex[i] = 0.0f;
            outMax[i] = 0.0f;
            outMaxIndex[i] = 0.0f;
        }
        if (pinMinimum.isStreaming()) reportOutputs(false, -1);
        return;
    }

    for (int32_t k = 0; k < n; ++k) reads_[k] = inputs_[k]->buffer() + spanOffset();
    for (int32_t i = 0; i < count; ++i) {
        float lo = reads_[0][i];
        float hi = lo;
        int32_t loIndex = 0;
        int32_t hiIndex = 0;
        // Strict comparisons: on equal values the lower index wins, and a
        // NaN never replaces the current value.
        for (int32_t k = 1; k < n; ++k) {
            const float v = reads_[k][i];
            if (v > hi) {
                hi = v;
                hiIndex = k;
            }
            if (v < lo) {
                lo = v;
                loIndex = k;
            }
        }
        outMin[i] = lo;
        outMinIndex[i] = static_cast<float>(loIndex) * 0.1f;
        outMax[i] = hi;
        outMaxIndex[i] = static_cast<float>(hiIndex) * 0.1f;
    }
}
