// DSP pins: member objects of a module, numbered in registration order.
// Inputs take the host's events; outputs report values and streaming state
// back to the host at exact sample offsets.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "framework/mp_base.h"
#include "framework/mp_blob.h"

class MpPinBase {
public:
    MpPinBase() = default;
    MpPinBase(const MpPinBase&) = delete;
    MpPinBase& operator=(const MpPinBase&) = delete;
    virtual ~MpPinBase() = default;

    virtual void bindBuffer(float* /*buffer*/) {}
    virtual void applyEvent(const mp::MpEvent* /*event*/) {}
    virtual void notifyOwner(const mp::MpEvent* event) {
        if (routine_ != nullptr) (owner_->*routine_)(event);
    }
    virtual void finishEvent(const mp::MpEvent* /*event*/) {}
    virtual int32_t dataType() const = 0;
    virtual int32_t direction() const = 0;
    virtual PinRoutine defaultRoutine() const { return nullptr; }
    // Called at graph start on outputs: make the pin's state known downstream.
    virtual void publish() {}

    int32_t index() const { return index_; }
    MpBase2* owner() const { return owner_; }

protected:
    // Where an output writes: -1 stands for the current span offset.
    int32_t resolveOffset(int32_t offset) const {
        return offset == -1 ? owner_->spanOffset() : offset;
    }

private:
    friend class MpBase2;
    int32_t index_ = -1;
    MpBase2* owner_ = nullptr;
    PinRoutine routine_ = nullptr;
};

class MpAudioPinBase : public MpPinBase {
public:
    void bindBuffer(float* buffer) override { buffer_ = buffer; }
    int32_t dataType() const override { return mp::PIN_TYPE_AUDIO; }
    virtual void reserved() {}

    float* buffer() const { return buffer_; }
    bool isStreaming() const { return streaming_; }

protected:
    float* buffer_ = nullptr;
    bool streaming_ = false;
};

class AudioInPin : public MpAudioPinBase {
public:
    int32_t direction() const override { return mp::PIN_DIR_IN; }
    void applyEvent(const mp::MpEvent* event) override;
    void finishEvent(const mp::MpEvent* event) override;

    // Set by a streaming-state event in the group being handled, and before
    // the first such event has been handled.
    bool isUpdated() const { return updated_; }

private:
    bool updated_ = true;
};

class AudioOutPin : public MpAudioPinBase {
public:
    int32_t direction() const override { return mp::PIN_DIR_OUT; }
    void publish() override { reportStreaming(true, -1); }

    // Tells the host whether the samples from `offset` on change (true) or
    // hold one value (false). Sent on every call, changed or not.
    void reportStreaming(bool streaming, int32_t offset = -1);
};

class MidiInPin : public MpPinBase {
public:
    int32_t dataType() const override { return mp::PIN_TYPE_MIDI; }
    int32_t direction() const override { return mp::PIN_DIR_IN; }
    PinRoutine defaultRoutine() const override { return &MpBase2::onMidiPin; }
};

class MidiOutPin : public MidiInPin {
public:
    int32_t direction() const override { return mp::PIN_DIR_OUT; }
    virtual void sendMidi(const unsigned char* bytes, int32_t count, int32_t offset = -1);
};

namespace mp_detail {
// Value bytes of an event and their usable count: inline values hold at
// most 8 bytes, whatever the size field claims.
inline int32_t eventValue(const mp::MpEvent* e, const void** bytes) {
    *bytes = e->valueBytes();
    int32_t size = e->parm2 < 0 ? 0 : e->parm2;
    if (e->extraData == nullptr && size > 8) size = 8;
    return size;
}
}  // namespace mp_detail

template <typename T, int32_t TYPE>
class MpControlPinBase : public MpPinBase {
public:
    int32_t dataType() const override { return TYPE; }
    void applyEvent(const mp::MpEvent* event) override {
        if (event->eventType != mp::EVENT_PIN_SET) return;
        const void* bytes;
        const int32_t size = mp_detail::eventValue(event, &bytes);
        storeRaw(size, bytes);
        updated_ = true;
    }
    void finishEvent(const mp::MpEvent* event) override {
        if (event->eventType == mp::EVENT_PIN_SET) updated_ = false;
    }

    // Fixed-size values take at most their own size; missing bytes read as
    // zero, so a short event never leaves stale bytes in the value.
    virtual void storeRaw(int32_t size, const void* bytes) {
        if constexpr (std::is_same_v<T, MpBlob>) {
            value_.assign(size, bytes);
        } else if constexpr (std::is_same_v<T, bool>) {
            if (size == 4) {
                int32_t v;
                std::memcpy(&v, bytes, 4);
                value_ = v != 0;
            } else {
                value_ = size > 0 && *static_cast<const unsigned char*>(bytes) != 0;
            }
        } else {
            unsigned char raw[sizeof(T)] = {};
            std::memcpy(raw, bytes, static_cast<size_t>(size) < sizeof(T) ? size : sizeof(T));
            std::memcpy(&value_, raw, sizeof(T));
        }
    }
    virtual void storeRaw(const void* bytes, int32_t size) { storeRaw(size, bytes); }
    virtual int32_t valueSize() const {
        if constexpr (std::is_same_v<T, MpBlob>) {
            return static_cast<int32_t>(value_.size());
        } else {
            return static_cast<int32_t>(sizeof(T));
        }
    }
    virtual const void* valueBytes() const {
        if constexpr (std::is_same_v<T, MpBlob>) {
            return value_.data();
        } else {
            return &value_;
        }
    }

    const T& getValue() const { return value_; }
    bool isUpdated() const { return updated_; }

protected:
    T value_{};
    bool updated_ = false;
};

template <typename T, int32_t DIR, int32_t TYPE>
class MpControlPin : public MpControlPinBase<T, TYPE> {
public:
    int32_t direction() const override { return DIR; }
    // An output's value is the module's to set; a host event must not
    // overwrite it (or reallocate its blob on the audio thread).
    void applyEvent(const mp::MpEvent* event) override {
        if constexpr (DIR == mp::PIN_DIR_IN) MpControlPinBase<T, TYPE>::applyEvent(event);
    }
    void publish() override {
        if constexpr (DIR == mp::PIN_DIR_OUT) sendValue(-1);
    }

    // Outputs: set the value, then send it at a sample offset.
    void setValue(const T& v) { this->value_ = v; }
    void setBytes(int64_t count, const void* bytes) {
        static_assert(std::is_same_v<T, MpBlob>, "blob pins only");
        this->value_.assign(count, bytes);
    }
    void sendValue(int32_t offset = -1) {
        mp::IMpHost* host = this->owner()->host();
        if (host != nullptr)
            host->sendPinValue(this->resolveOffset(offset), this->index(), this->valueSize(),
                               this->valueBytes());
    }
};

// The pin properties a module reads from the host's pin list in open().
class IPinProperties {
public:
    virtual int32_t getProperty() = 0;
    virtual int32_t getDirection() = 0;
    virtual int32_t getDatatype() = 0;

protected:
    ~IPinProperties() = default;
};

class PinIterator final : public IPinProperties {
public:
    explicit PinIterator(mp::IMpHost* host);
    ~PinIterator();
    PinIterator(const PinIterator&) = delete;
    PinIterator& operator=(const PinIterator&) = delete;

    bool valid() const { return it_ != nullptr; }
    // true while on a pin
    bool first() { return it_ != nullptr && it_->first() == 0; }
    bool next() { return it_ != nullptr && it_->next() == 0; }
    int32_t getProperty() override;
    int32_t getDirection() override;
    int32_t getDatatype() override;

private:
    mp::IMpPinIterator* it_ = nullptr;
};
