#include "modules/MorphCurve.h"

#include <cmath>

namespace morph {

void fillCurveTable(float* table) {
    // The step 1/16383 and the scale 1/(1 - e^-3) are taken as floats, and
    // the counter is a float too, so every host computes the same table.
    float i = 0.0f;
    for (int32_t n = 0; n < kCurveSize; ++n) {
        const float x = (i * 6.103888e-05f - 1.0f) * 3.0f;
        const float e = static_cast<float>(std::exp(static_cast<double>(x)));
        table[n] = 1.0f - (1.0f - e) * 1.0523957f;
        i += 1.0f;
    }
}

const float* acquireCurveTable(mp::IMpHost* host, std::unique_ptr<float[]>& own) {
    void* memory = nullptr;
    int32_t needInit = 0;
    if (host != nullptr)
        host->requestSharedTable(u"ZOLAN MORPH LIN2VCA TABLE", &memory, -1.0f,
                                 kCurveSize * static_cast<int32_t>(sizeof(float)), &needInit);
    if (memory == nullptr) {
        own.reset(new float[kCurveSize]);
        fillCurveTable(own.get());
        return own.get();
    }
    auto* table = static_cast<float*>(memory);
    if (needInit != 0) fillCurveTable(table);
    return table;
}

int32_t countMixedInputs(mp::IMpHost* host, int32_t fixed) {
    if (host == nullptr) return 0;
    PinIterator it(host);
    int32_t audioInputs = 0;
    for (bool on = it.first(); on; on = it.next()) {
        if (it.getDirection() != mp::PIN_DIR_IN || it.getDatatype() != mp::PIN_TYPE_AUDIO) continue;
        ++audioInputs;
    }
    return audioInputs > fixed ? audioInputs - fixed : 0;
}

}  // namespace morph

void MorphMixer::openMixedInputs(int32_t fixed) {
    const int32_t n = morph::countMixedInputs(host(), fixed);
    for (int32_t k = 0; k < n; ++k) {
        inputs_.push_back(std::make_unique<AudioInPin>());
        registerPin(*inputs_.back());
    }
    reads_.assign(static_cast<size_t>(n), nullptr);
    table_ = morph::acquireCurveTable(host(), ownTable_);
}

bool MorphMixer::anyMixedInputStreaming() const {
    for (const auto& in : inputs_)
        if (in->isStreaming()) return true;
    return false;
}

void MorphMixer::readMixedInputs() {
    for (size_t k = 0; k < inputs_.size(); ++k) reads_[k] = inputs_[k]->buffer() + spanOffset();
}
