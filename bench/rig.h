// A bench rig: one DSP instance of the built library driven through the
// binary interface (factory, open, bindBuffer, processBlock with events), as
// the reference host drives it, with buffers and event lists prepared up
// front so that a timed block costs only what a host pays per block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/host_core.h"
#include "host/pin_catalog.h"

namespace zbench {

enum class Scenario { Stream, Events, Idle };
const char* scenarioName(Scenario s);

// How one input pin is fed in a scenario.
struct InputFeed {
    enum Kind { Constant, Audio, Slow, Pulses } kind = Constant;
    float value = 0.0f;       // Constant: the value; others: offset
    float scale = 0.5f;       // amplitude of Audio / Slow / Pulses
    int32_t phase = 0;        // Pulses: moves the pulses earlier by this many samples
    std::vector<float> blob;  // blob inputs
    bool streaming = false;   // audio inputs: announced as streaming
};

// The test signals, written sample by sample from the absolute position 0:
// a 440 Hz sine with a little noise (Audio), a 3 Hz sine (Slow), 1.0 pulses
// every 37 samples (Pulses).
void fillFeed(const InputFeed& feed, float* out, int32_t count, int64_t start);

zhost::Library& library();

// The feeds of every pin of a module in a scenario: catalog defaults, audio
// inputs at their defaults, plus what each module needs to do real work.
std::vector<InputFeed> feedsFor(const zhost::ModuleDesc& desc, Scenario s,
                                const std::vector<zhost::PinDesc>& pins);

// The bytes a patch would give an input pin for a constant feed: a float for
// audio and float pins, int32 for int and enum, one byte for bool, the taps
// for a blob.
std::vector<unsigned char> feedBytes(const zhost::PinDesc& pin, const InputFeed& feed);

class SleepCounter : public zhost::HostListener {
public:
    void onSleepRequest() override { ++requests; }
    int64_t requests = 0;
};

class Rig {
public:
    Rig(const zhost::ModuleDesc& desc, Scenario scenario, int32_t blockSize);
    // Runs one block; the first carries the initial values and the graph start.
    void block();
    // Runs blocks until the instance has asked to sleep in a whole block
    // (idle scenario); false if it never does within a second of audio.
    bool settleAsleep();
    const std::string& error() const { return error_; }
    bool ok() const { return inst_ != nullptr; }
    int64_t sleepRequests() const { return listener_.requests; }
    float* buffer(int32_t pin) { return buffers_[pin].data(); }

private:
    void buildFirstBlock();
    void buildPeriodicEvents();

    zhost::SharedTableStore tables_;
    std::unique_ptr<zhost::Instance> inst_;
    std::vector<zhost::PinDesc> pins_;
    std::vector<InputFeed> feeds_;
    std::vector<std::vector<float>> buffers_;
    SleepCounter listener_;
    zhost::EventList first_;
    // Periodic events: one list per block of a cycle, linked in advance.
    std::vector<std::unique_ptr<zhost::EventList>> cycle_;
    std::vector<const mp::MpEvent*> heads_;
    size_t next_ = 0;
    bool started_ = false;
    int32_t blockSize_;
    Scenario scenario_;
    std::string error_;
};

// Samples between two periodic control events in the Events scenario.
constexpr int32_t kEventPeriod = 100;

}  // namespace zbench
