// Drives one DSP instance of the built library through the binary interface
// and records everything it sends back to the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/host_core.h"

namespace ztest {

// The .sem under test, loaded once per test program.
zhost::Library& library();

struct Call {
    enum Kind { Value, Streaming, Sleep, GuiMessage, Latency } kind = Value;
    int32_t offset = 0;  // Value, Streaming
    int32_t pin = 0;     // Value, Streaming; message id for GuiMessage; samples for Latency
    bool streaming = false;
    std::vector<unsigned char> bytes;
    int32_t block = 0;  // index of the processBlock call it happened in
};

class Recorder : public zhost::HostListener {
public:
    void onPinValue(int32_t offset, int32_t pin, int32_t size, const void* data) override;
    void onPinStreaming(int32_t offset, int32_t pin, bool streaming) override;
    void onSleepRequest() override;
    void onGuiMessage(int32_t id, int32_t size, const void* data) override;
    void onLatency(int32_t samples) override;

    std::vector<Call> calls;
    int32_t block = 0;

    std::vector<Call> of(Call::Kind kind) const;
    std::vector<Call> streamingOf(int32_t pin) const;
    int sleepRequests() const;
};

// Pin layout shorthand: 'a' audio in, 'A' audio out, 'f' float in, 'i' int in,
// 'b' bool in, 'x' blob in, 'X' blob out, 'I' int out, 'e' list (int) in.
std::vector<zhost::PinInfo> pinLayout(const std::string& codes);

class Driver {
public:
    Driver(const std::string& id, const std::string& layout, float sampleRate = 48000.0f,
           int32_t blockSize = 64);
    ~Driver();

    zhost::Instance& instance() { return *inst_; }
    mp::IMpPlugin2* plugin() { return inst_->plugin(); }
    zhost::SharedTableStore& tables() { return *tables_; }
    Recorder rec;
    zhost::EventList events{1024, 1 << 20};

    // Every pin has a buffer of the block size (audio pins are bound to it).
    float* buffer(int32_t pin) { return buffers_[pin].data(); }
    void fill(int32_t pin, float v) { buffers_[pin].assign(buffers_[pin].size(), v); }
    void set(int32_t pin, const std::vector<float>& samples, int32_t from = 0);

    // processBlock(count, pending events), then the events are cleared.
    void process(int32_t count);
    void process() { process(blockSize_); }
    // Convenience: open, then a first block with graph start at 0.
    int32_t blockSize() const { return blockSize_; }

    std::vector<float> out(int32_t pin, int32_t count) const;

private:
    std::unique_ptr<zhost::SharedTableStore> tables_;
    std::unique_ptr<zhost::Instance> inst_;
    std::vector<std::vector<float>> buffers_;
    int32_t blockSize_;
};

}  // namespace ztest
