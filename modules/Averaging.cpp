#include "modules/Averaging.h"

#include "framework/mp_factory.h"

REGISTER_DSP(Averaging, u"Averaging");

Averaging::Averaging() {
    registerPin(pinInput);
    registerPin(pinReset);
    registerPin(pinOutput);
    selectSpanRoutine(&Averaging::subProcess);
}

void Averaging::onPinsChanged() {
    // Only the update to true clears; holding the pin true does not.
    if (pinReset.isUpdated() && pinReset.getValue()) {
        sum_ = 0.0;
        count_ = 0.0;
    }
}

void Averaging::subProcess(int32_t count) {
    const float* in = pinInput.buffer() + spanOffset();
    float* out = pinOutput.buffer() + spanOffset();

    double sum = sum_;
    double n = count_;
    for (int32_t i = 0; i < count; ++i) {
        sum += static_cast<double>(in[i]);
        n += 1.0;
        out[i] = static_cast<float>(sum / n);
    }
    sum_ = sum;
    count_ = n;
}
