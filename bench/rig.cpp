#include "bench/rig.h"

#include <cmath>
#include <cstdlib>
#include <numeric>
#include <stdexcept>

namespace zbench {

using zhost::ModuleDesc;
using zhost::PinDesc;

const char* scenarioName(Scenario s) {
    switch (s) {
        case Scenario::Stream:
            return "stream";
        case Scenario::Events:
            return "events";
        case Scenario::Idle:
            return "idle";
    }
    return "?";
}

namespace {

// A small deterministic noise source, so every run feeds the same samples.
float noiseAt(int64_t n) {
    uint32_t s = static_cast<uint32_t>(n) * 2654435761u + 12345u;
    s ^= s >> 15;
    s *= 2246822519u;
    s ^= s >> 13;
    return static_cast<float>(s) * (1.0f / 4294967296.0f) - 0.5f;
}

bool nameHas(const PinDesc& p, const char* word) {
    return p.name.find(word) != std::string::npos;
}

// A decaying, ringing kernel of the given length: a realistic long filter.
std::vector<float> ringingKernel(int32_t taps) {
    std::vector<float> h(static_cast<size_t>(taps));
    for (int32_t j = 0; j < taps; ++j)
        h[j] = std::exp(-j / 300.0f) * std::cos(0.05f * j) * 0.02f + 0.001f * noiseAt(j);
    return h;
}

}  // namespace

void fillFeed(const InputFeed& feed, float* out, int32_t count, int64_t start) {
    const double w440 = 2.0 * M_PI * 440.0 / 48000.0;
    const double w3 = 2.0 * M_PI * 3.0 / 48000.0;
    for (int32_t i = 0; i < count; ++i) {
        const int64_t n = start + i;
        float v = feed.value;
        switch (feed.kind) {
            case InputFeed::Constant:
                break;
            case InputFeed::Audio:
                v += feed.scale * static_cast<float>(std::sin(w440 * n)) + 0.05f * noiseAt(n);
                break;
            case InputFeed::Slow:
                v += feed.scale * static_cast<float>(std::sin(w3 * n));
                break;
            case InputFeed::Pulses:
                v += ((n + feed.phase) % 37 == 0) ? feed.scale : 0.0f;
                break;
        }
        out[i] = v;
    }
}

zhost::Library& library() {
    static std::unique_ptr<zhost::Library> lib = [] {
        const char* env = std::getenv("ZDSP_SEM");
        std::string error;
        auto l = zhost::Library::load(env != nullptr ? env : ZDSP_DEFAULT_SEM, &error);
        if (!l) throw std::runtime_error(error);
        return l;
    }();
    return *lib;
}

std::vector<InputFeed> feedsFor(const ModuleDesc& desc, Scenario s,
                                const std::vector<PinDesc>& pins) {
    const bool idle = s == Scenario::Idle;
    std::vector<InputFeed> f(pins.size());
    for (size_t i = 0; i < pins.size(); ++i) {
        const PinDesc& p = pins[i];
        f[i].value = static_cast<float>(p.defaultValue);
        f[i].blob = p.defaultBlob;
        if (p.direction != mp::PIN_DIR_IN || p.datatype != mp::PIN_TYPE_AUDIO) continue;
        // Signal inputs (default 0) stream audio; parameter inputs hold their
        // default as an unpatched pin does; resets stay low.
        if (idle || p.defaultValue != 0.0 || nameHas(p, "Reset")) continue;
        f[i].streaming = true;
        if (nameHas(p, "Position")) {
            f[i].kind = InputFeed::Slow;
            f[i].value = 0.5f;
            f[i].scale = 0.45f;
        } else if (nameHas(p, "Gate") || nameHas(p, "Set") || nameHas(p, "Clock") ||
                   nameHas(p, "Trigger") || nameHas(p, "Control")) {
            f[i].kind = InputFeed::Pulses;
            f[i].scale = 1.0f;
        } else {
            f[i].kind = InputFeed::Audio;
        }
    }
    auto set = [&](size_t pin, float v) {
        if (pin < f.size()) f[pin].value = v;
    };
    const std::string& id = desc.id;
    // What each module needs to do its real work rather than a trivial case.
    if (id == "ShortConv") {
        f[1].blob = ringingKernel(1024);
    } else if (id == "Integrator") {
        set(1, 0.999f);  // leaky, so the sum stays bounded
    } else if (id == "Latency") {
        set(1, 1000.0f);
    } else if (id == "FracDelay") {
        set(1, 100.5f);
    } else if (id == "KV_Crusher") {
        set(1, 8000.0f);
        set(2, 8.0f);
    } else if (id == "NoiseGen") {
        if (idle) set(1, 0.0f);  // gated off
    } else if (id == "Memory/Reset" || id == "Memory/Reset2") {
        if (!idle) {
            // Two sources, set and reset pulses taking turns.
            for (size_t i = 0; i < 2; ++i) f[i] = {InputFeed::Audio, 0.0f, 0.5f, 0, {}, true};
            f[2] = {InputFeed::Pulses, 0.0f, 1.0f, 0, {}, true};
            f[3] = {InputFeed::Pulses, 0.0f, 1.0f, 18, {}, true};
        }
    } else if (id == "Dirac") {
        set(0, idle ? 0.0f : 1.0f);  // enable
        set(3, 0.044f);              // 440 Hz on the linear scale
        f[3].kind = InputFeed::Constant;
        f[3].streaming = false;
        set(4, 0.0f);
        set(5, 1.0f);  // band-limited
    }
    return f;
}

Rig::Rig(const ModuleDesc& desc, Scenario scenario, int32_t blockSize)
    : first_(256, 1 << 16), blockSize_(blockSize), scenario_(scenario) {
    pins_ = zhost::instancePins(desc, desc.defaultExtraInputs);
    std::vector<zhost::PinInfo> infos;
    for (const PinDesc& p : pins_) infos.push_back({p.direction, p.datatype});
    inst_ =
        zhost::Instance::create(library(), desc.id, tables_, infos, 48000.0f, blockSize, &error_);
    if (!inst_) return;
    inst_->host().setListener(&listener_);
    if (inst_->open() != mp::MP_OK) {
        error_ = desc.id + ": open failed";
        inst_.reset();
        return;
    }
    feeds_ = feedsFor(desc, scenario, pins_);
    buffers_.assign(pins_.size(), std::vector<float>(static_cast<size_t>(blockSize), 0.0f));
    for (size_t i = 0; i < pins_.size(); ++i) {
        if (pins_[i].datatype != mp::PIN_TYPE_AUDIO) continue;
        if (pins_[i].direction == mp::PIN_DIR_IN)
            fillFeed(feeds_[i], buffers_[i].data(), blockSize, 0);
        inst_->bindBuffer(static_cast<int32_t>(i), buffers_[i].data());
    }
    buildFirstBlock();
    if (scenario == Scenario::Events) buildPeriodicEvents();
}

namespace {

void addValue(zhost::EventList& list, int32_t time, int32_t pin, const PinDesc& p,
              const InputFeed& f) {
    switch (p.datatype) {
        case mp::PIN_TYPE_FLOAT:
            list.addFloat(time, pin, f.value);
            break;
        case mp::PIN_TYPE_INT:
        case mp::PIN_TYPE_ENUM:
            list.addInt(time, pin, static_cast<int32_t>(f.value));
            break;
        case mp::PIN_TYPE_BOOL:
            list.addBool(time, pin, f.value != 0.0f);
            break;
        case mp::PIN_TYPE_BLOB:
            list.add(time, mp::EVENT_PIN_SET, pin, f.blob.data(),
                     static_cast<int32_t>(f.blob.size() * sizeof(float)));
            break;
        default:
            break;
    }
}

}  // namespace

std::vector<unsigned char> feedBytes(const PinDesc& p, const InputFeed& f) {
    auto bytesOf = [](const void* data, size_t size) {
        const auto* b = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(b, b + size);
    };
    switch (p.datatype) {
        case mp::PIN_TYPE_AUDIO:
        case mp::PIN_TYPE_FLOAT:
            return bytesOf(&f.value, sizeof f.value);
        case mp::PIN_TYPE_INT:
        case mp::PIN_TYPE_ENUM: {
            const auto v = static_cast<int32_t>(f.value);
            return bytesOf(&v, sizeof v);
        }
        case mp::PIN_TYPE_BOOL:
            return {static_cast<unsigned char>(f.value != 0.0f ? 1 : 0)};
        case mp::PIN_TYPE_BLOB:
            return bytesOf(f.blob.data(), f.blob.size() * sizeof(float));
        default:
            return {};
    }
}

void Rig::buildFirstBlock() {
    for (size_t i = 0; i < pins_.size(); ++i)
        if (pins_[i].direction == mp::PIN_DIR_IN && pins_[i].datatype != mp::PIN_TYPE_AUDIO)
            addValue(first_, 0, static_cast<int32_t>(i), pins_[i], feeds_[i]);
    for (size_t i = 0; i < pins_.size(); ++i)
        if (pins_[i].direction == mp::PIN_DIR_IN && pins_[i].datatype == mp::PIN_TYPE_AUDIO)
            first_.addStreaming(0, static_cast<int32_t>(i), feeds_[i].streaming);
    first_.addGraphStart(0);
    first_.head();
}

// One control event every kEventPeriod samples: a float input moved by a
// hair and back (automation), else the streaming state of a streaming input
// restated (what an upstream module's reports look like), else the first
// control input resent.
void Rig::buildPeriodicEvents() {
    int32_t pin = -1;
    enum { FloatMove, Restate, Resend } how = Resend;
    for (size_t i = 0; i < pins_.size() && pin < 0; ++i)
        if (pins_[i].direction == mp::PIN_DIR_IN && pins_[i].datatype == mp::PIN_TYPE_FLOAT) {
            pin = static_cast<int32_t>(i);
            how = FloatMove;
        }
    for (size_t i = 0; i < pins_.size() && pin < 0; ++i)
        if (pins_[i].direction == mp::PIN_DIR_IN && feeds_[i].streaming) {
            pin = static_cast<int32_t>(i);
            how = Restate;
        }
    for (size_t i = 0; i < pins_.size() && pin < 0; ++i)
        if (pins_[i].direction == mp::PIN_DIR_IN && pins_[i].datatype != mp::PIN_TYPE_AUDIO &&
            pins_[i].datatype != mp::PIN_TYPE_BLOB)
            pin = static_cast<int32_t>(i);
    const int64_t cycle = std::lcm<int64_t>(blockSize_, kEventPeriod);
    const int64_t blocks = cycle / blockSize_;
    int64_t k = 0;
    for (int64_t b = 0; b < blocks; ++b) {
        auto list = std::make_unique<zhost::EventList>(64, 4096);
        for (int32_t t = 0; t < blockSize_ && pin >= 0; ++t) {
            if ((b * blockSize_ + t) % kEventPeriod != 0) continue;
            InputFeed f = feeds_[pin];
            switch (how) {
                case FloatMove:
                    if (k++ % 2) f.value = f.value != 0.0f ? f.value * 0.999f : 0.001f;
                    addValue(*list, t, pin, pins_[pin], f);
                    break;
                case Restate:
                    list->addStreaming(t, pin, true);
                    break;
                case Resend:
                    addValue(*list, t, pin, pins_[pin], f);
                    break;
            }
        }
        heads_.push_back(list->head());
        cycle_.push_back(std::move(list));
    }
}

void Rig::block() {
    if (!started_) {
        started_ = true;
        inst_->process(blockSize_, first_.head());
        return;
    }
    const mp::MpEvent* events = nullptr;
    if (!heads_.empty()) {
        events = heads_[next_];
        if (++next_ == heads_.size()) next_ = 0;
    }
    inst_->process(blockSize_, events);
}

bool Rig::settleAsleep() {
    for (int32_t n = 0; n < 48000 / blockSize_ + 2; ++n) {
        const int64_t before = listener_.requests;
        block();
        if (listener_.requests > before) return true;
    }
    return false;
}

}  // namespace zbench
