// The DSP instance base.
//
// MpPluginBase implements the host-facing tables, reference counting, the pin
// table and the host pointers. MpBase2 adds block processing: it cuts each
// block at the events' time stamps, applies each group of simultaneous events
// in three passes (apply, notify, finish) with one onPinsChanged between, runs
// the module's span routine over the samples in between, and runs the sleep
// gate that lets an idle instance ask the host for sleep.
//
// Threading: the host calls one instance from one thread at a time. Nothing
// here allocates or locks once the instance is open.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/mp_api.h"

class MpPinBase;
class MpBase2;

using SpanRoutine = void (MpBase2::*)(int32_t count);
using PinRoutine = void (MpBase2::*)(const mp::MpEvent* event);

class MpPluginBase : public mp::IMpPlugin,
                     public mp::IMpPlugin2,
                     public mp::IoldSchoolInitialisation,
                     public mp::IMpLegacyInitialization {
public:
    MpPluginBase() = default;
    MpPluginBase(const MpPluginBase&) = delete;
    MpPluginBase& operator=(const MpPluginBase&) = delete;

    // IMpUnknown, shared by the three tables that carry it.
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override;
    int32_t AddRef() override { return ++refCount_; }
    int32_t Release() override;

    // IMpPlugin / IMpPlugin2
    int32_t open() override { return mp::MP_OK; }
    int32_t bindBuffer(int32_t pin, float* buffer) override;
    int32_t acceptMessage(int32_t id, int32_t size, const void* data) override;

    // Class operations.
    virtual ~MpPluginBase();
    int32_t attachHost(mp::IMpUnknown* host) override;
    void processBlock(int32_t count, const mp::MpEvent* events) override = 0;
    int32_t acceptMessage2(int32_t id, int32_t size, const void* data) override;
    virtual void midiReceived(int32_t pin, const unsigned char* bytes, int32_t size);
    virtual void onMidiMessage(int32_t pin, const unsigned char* bytes, int32_t size);
    virtual void onPinsChanged() {}

    mp::IMpHost* host() const { return host_; }
    mp::IMpHost2* host2() const { return host2_; }
    MpPinBase* pin(int32_t index) const {
        return index >= 0 && index < static_cast<int32_t>(pins_.size()) ? pins_[index] : nullptr;
    }
    int32_t pinCount() const { return static_cast<int32_t>(pins_.size()); }

protected:
    int32_t refCount_ = 1;
    mp::IMpHost* host_ = nullptr;
    mp::IMpHost2* host2_ = nullptr;
    // Indices are dense from 0, so a vector serves as the ordered pin table.
    std::vector<MpPinBase*> pins_;
    int32_t spanOffset_ = 0;
    int32_t sleepCountdown_ = 0;
    int32_t streamingPinCount_ = 0;
    int32_t sleepMode_ = -1;  // -1 automatic, 0 forbidden, 1 allowed
    bool lastSpan_ = true;
    bool messageGuard_ = false;
};

class MpBase2 : public MpPluginBase {
public:
    MpBase2();

    void processBlock(int32_t count, const mp::MpEvent* events) override;
    virtual void streamingChanged(bool nowStreaming);
    virtual void onGraphBegin();

    int32_t spanOffset() const { return spanOffset_; }
    int32_t sleepCountdown() const { return sleepCountdown_; }
    int32_t streamingPinCount() const { return streamingPinCount_; }
    int32_t sleepMode() const { return sleepMode_; }
    bool lastSpan() const { return lastSpan_; }

    // Used by the pins.
    void resetSleepCountdownToBlock();
    void raiseSleepCountdown(int32_t atLeast) {
        if (sleepCountdown_ < atLeast) sleepCountdown_ = atLeast;
    }
    void onMidiPin(const mp::MpEvent* event);

protected:
    // Enters the pin under the next free index (0, 1, 2 ... in call order).
    void registerPin(MpPinBase& pin, PinRoutine routine = nullptr);

    template <class Module>
    void selectSpanRoutine(void (Module::*routine)(int32_t)) {
        selectRoutine(static_cast<SpanRoutine>(routine));
    }
    void selectRoutine(SpanRoutine routine);

public:
    // true: the module's output has settled, sleep as soon as the gate allows;
    // false: never sleep until told otherwise.
    void allowSleep(bool allow);

protected:
    SpanRoutine activeRoutine() const { return active_; }
    SpanRoutine selectedRoutine() const { return selected_; }

private:
    void emptyRoutine(int32_t) {}
    void sleepGate(int32_t count);

    SpanRoutine active_;
    SpanRoutine selected_;
};
