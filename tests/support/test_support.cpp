#include "support/test_support.h"

#include <cstdlib>
#include <stdexcept>

namespace ztest {

zhost::Library& library() {
    static std::unique_ptr<zhost::Library> lib = [] {
        const char* env = std::getenv("ZDSP_SEM");
        std::string error;
        auto l = zhost::Library::load(env ? env : ZDSP_SEM_PATH, &error);
        if (!l) throw std::runtime_error(error);
        return l;
    }();
    return *lib;
}

void Recorder::onPinValue(int32_t offset, int32_t pin, int32_t size, const void* data) {
    Call c;
    c.kind = Call::Value;
    c.offset = offset;
    c.pin = pin;
    c.block = block;
    if (size > 0 && data != nullptr) {
        const auto* p = static_cast<const unsigned char*>(data);
        c.bytes.assign(p, p + size);
    }
    calls.push_back(std::move(c));
}

void Recorder::onPinStreaming(int32_t offset, int32_t pin, bool streaming) {
    Call c;
    c.kind = Call::Streaming;
    c.offset = offset;
    c.pin = pin;
    c.streaming = streaming;
    c.block = block;
    calls.push_back(std::move(c));
}

void Recorder::onSleepRequest() {
    Call c;
    c.kind = Call::Sleep;
    c.block = block;
    calls.push_back(std::move(c));
}

void Recorder::onGuiMessage(int32_t id, int32_t size, const void* data) {
    Call c;
    c.kind = Call::GuiMessage;
    c.pin = id;
    c.block = block;
    if (size > 0 && data != nullptr) {
        const auto* p = static_cast<const unsigned char*>(data);
        c.bytes.assign(p, p + size);
    }
    calls.push_back(std::move(c));
}

void Recorder::onLatency(int32_t samples) {
    Call c;
    c.kind = Call::Latency;
    c.pin = samples;
    c.block = block;
    calls.push_back(std::move(c));
}

std::vector<Call> Recorder::of(Call::Kind kind) const {
    std::vector<Call> r;
    for (const Call& c : calls)
        if (c.kind == kind) r.push_back(c);
    return r;
}

std::vector<Call> Recorder::streamingOf(int32_t pin) const {
    std::vector<Call> r;
    for (const Call& c : calls)
        if (c.kind == Call::Streaming && c.pin == pin) r.push_back(c);
    return r;
}

int Recorder::sleepRequests() const {
    return static_cast<int>(of(Call::Sleep).size());
}

std::vector<zhost::PinInfo> pinLayout(const std::string& codes) {
    std::vector<zhost::PinInfo> pins;
    for (char c : codes) {
        zhost::PinInfo p;
        switch (c) {
            case 'a':
                p = {mp::PIN_DIR_IN, mp::PIN_TYPE_AUDIO};
                break;
            case 'A':
                p = {mp::PIN_DIR_OUT, mp::PIN_TYPE_AUDIO};
                break;
            case 'f':
                p = {mp::PIN_DIR_IN, mp::PIN_TYPE_FLOAT};
                break;
            case 'i':
                p = {mp::PIN_DIR_IN, mp::PIN_TYPE_INT};
                break;
            case 'e':
                p = {mp::PIN_DIR_IN, mp::PIN_TYPE_ENUM};
                break;
            case 'b':
                p = {mp::PIN_DIR_IN, mp::PIN_TYPE_BOOL};
                break;
            case 'x':
                p = {mp::PIN_DIR_IN, mp::PIN_TYPE_BLOB};
                break;
            case 'X':
                p = {mp::PIN_DIR_OUT, mp::PIN_TYPE_BLOB};
                break;
            case 'I':
                p = {mp::PIN_DIR_OUT, mp::PIN_TYPE_INT};
                break;
            default:
                throw std::invalid_argument(std::string("pin code ") + c);
        }
        pins.push_back(p);
    }
    return pins;
}

Driver::Driver(const std::string& id, const std::string& layout, float sampleRate,
               int32_t blockSize)
    : tables_(std::make_unique<zhost::SharedTableStore>()), blockSize_(blockSize) {
    const auto pins = pinLayout(layout);
    std::string error;
    inst_ = zhost::Instance::create(library(), id, *tables_, pins, sampleRate, blockSize, &error);
    if (!inst_) throw std::runtime_error(error);
    inst_->host().setListener(&rec);
    buffers_.assign(pins.size(), std::vector<float>(static_cast<size_t>(blockSize), 0.0f));
    if (inst_->open() != mp::MP_OK) throw std::runtime_error(id + ": open failed");
    for (size_t i = 0; i < pins.size(); ++i)
        if (pins[i].datatype == mp::PIN_TYPE_AUDIO)
            inst_->bindBuffer(static_cast<int32_t>(i), buffers_[i].data());
}

Driver::~Driver() {
    inst_.reset();
}

void Driver::set(int32_t pin, const std::vector<float>& samples, int32_t from) {
    for (size_t i = 0; i < samples.size() && from + i < buffers_[pin].size(); ++i)
        buffers_[pin][from + i] = samples[i];
}

void Driver::process(int32_t count) {
    inst_->process(count, events.head());
    events.clear();
    ++rec.block;
}

std::vector<float> Driver::out(int32_t pin, int32_t count) const {
    return std::vector<float>(buffers_[pin].begin(), buffers_[pin].begin() + count);
}

}  // namespace ztest
