// Extremes. MinMax: the lowest and highest value of one signal since the
// instance was created. MinMaxIndex: per sample, the smallest and largest of
// any number of inputs, with the index of the input holding each.
#pragma once

#include <memory>
#include <vector>

#include "framework/mp_pins.h"

class MinMax : public MpBase2 {
public:
    MinMax();
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);

    AudioInPin pinSignal;
    AudioOutPin pinMinimum;
    AudioOutPin pinMaximum;

    float minimum_ = 0.0f;
    float maximum_ = 0.0f;
    bool sleepAllowed_ = false;
};

class MinMaxIndex : public MpBase2 {
public:
    MinMaxIndex();
    int32_t open() override;
    void onPinsChanged() override;

private:
    void subProcess(int32_t count);
    void reportOutputs(bool streaming, int32_t offset);

    AudioOutPin pinMinimum;
    AudioOutPin pinMinimumIndex;
    AudioOutPin pinMaximum;
    AudioOutPin pinMaximumIndex;

    std::vector<std::unique_ptr<AudioInPin>> inputs_;
    // Pins of the host's list that are not compared inputs, kept only so that
    // every input takes its position in that list as its index.
    std::vector<std::unique_ptr<MpPinBase>> others_;
    std::vector<const float*> reads_;
    bool opened_ = false;
};
