// Reference host, core: loading a module library, the per-instance host
// services a DSP instance calls back, the shared-table store, and a driver
// for one instance. Everything here reaches the library only through
// MP_GetFactory and the interface tables.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/mp_api.h"

namespace zhost {

std::u16string toU16(const std::string& s);  // ASCII/UTF-8 subset, one unit per byte
std::string toUtf8(const std::u16string& s);

// A loaded .sem file. Owns the dlopen handle and one factory reference.
class Library {
public:
    // Returns null and fills *error ("<path>: <reason>") on failure.
    static std::unique_ptr<Library> load(const std::string& path, std::string* error);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    mp::IMpFactory2* factory() const { return factory_; }
    const std::string& path() const { return path_; }

private:
    Library() = default;
    void* handle_ = nullptr;
    mp::IMpFactory2* factory_ = nullptr;
    std::string path_;
};

// Host memory shared by every instance that asks with the same key and rate.
// Reports "new" to exactly one asker per (key, rate).
class SharedTableStore {
public:
    int32_t request(const char16_t* key, float rate, int32_t size, void** memory,
                    int32_t* needInit);
    size_t tableCount() const { return tables_.size(); }

private:
    std::map<std::pair<std::u16string, float>, std::vector<unsigned char>> tables_;
};

// The host's description of one pin of an instance, as the pin iterator shows it.
struct PinInfo {
    int32_t direction = mp::PIN_DIR_IN;
    int32_t datatype = mp::PIN_TYPE_AUDIO;
};

// What an instance sends to the host during processBlock. Called on the
// processing thread: implementations used while rendering must not allocate.
class HostListener {
public:
    virtual ~HostListener() = default;
    virtual void onPinValue(int32_t /*offset*/, int32_t /*pin*/, int32_t /*size*/,
                            const void* /*data*/) {}
    virtual void onPinStreaming(int32_t /*offset*/, int32_t /*pin*/, bool /*streaming*/) {}
    virtual void onSleepRequest() {}
    virtual void onGuiMessage(int32_t /*id*/, int32_t /*size*/, const void* /*data*/) {}
    virtual void onLatency(int32_t /*samples*/) {}
};

// The host object handed to one DSP instance: main and second host interface.
class InstanceHost final : public mp::IMpHost, public mp::IMpHost2 {
public:
    InstanceHost(SharedTableStore& tables, std::vector<PinInfo> pins, float sampleRate,
                 int32_t blockSize);
    virtual ~InstanceHost() = default;

    void setListener(HostListener* l) { listener_ = l; }
    void setBlockSize(int32_t n) { blockSize_ = n; }
    void setSampleRate(float r) { sampleRate_ = r; }
    std::vector<PinInfo>& pins() { return pins_; }
    int32_t latency() const { return latency_; }
    int32_t refCount() const { return refs_; }
    // Hand the instance an object that is neither of the host interfaces.
    mp::IMpUnknown* unknown() { return static_cast<mp::IMpHost*>(this); }

    // IMpUnknown (shared by both faces)
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override;
    int32_t AddRef() override { return ++refs_; }
    int32_t Release() override { return --refs_; }  // owned by the driver, not by refs

    // IMpHost
    int32_t sendPinValue(int32_t offset, int32_t pin, int32_t size, const void* data) override;
    int32_t sendPinStreaming(int32_t offset, int32_t pin, bool streaming) override;
    int32_t requestSleep() override;
    int32_t postGuiMessage(int32_t id, int32_t size, const void* data) override;
    int32_t readBlockSize(int32_t* samples) override;
    int32_t readSampleRate(float* rate) override;
    int32_t readHostId(int32_t max, char16_t* text) override;
    int32_t readHostVersion(int32_t* version) override;
    int32_t readRegisteredName(int32_t max, char16_t* text) override;
    int32_t isEditor(int32_t* yes) override;
    int32_t openPinIterator(mp::IMpPinIterator** out) override;
    int32_t readHandle(int32_t* handle) override;
    int32_t resolveFilename(const char16_t* name, int32_t max, char16_t* out) override;
    int32_t requestSharedTable(const char16_t* key, void** memory, float rate, int32_t size,
                               int32_t* needInit) override;

    // IMpHost2
    int32_t readVoiceCount(int32_t* count) override;
    int32_t readPolyphony(int32_t* count) override;
    int32_t reportLatency(int32_t samples) override;

private:
    SharedTableStore& tables_;
    std::vector<PinInfo> pins_;
    float sampleRate_;
    int32_t blockSize_;
    int32_t refs_ = 1;
    int32_t latency_ = 0;
    HostListener* listener_ = nullptr;
};

// Builds a time-ordered event list whose storage is reserved up front, so
// that filling and handing it to processBlock does not allocate.
class EventList {
public:
    explicit EventList(size_t capacity = 256, size_t byteCapacity = 1 << 16);
    void clear();
    // Pin value of any size: up to 8 bytes inline, else copied to owned storage.
    void add(int32_t time, int32_t type, int32_t pin, const void* data = nullptr, int32_t size = 0);
    void addFloat(int32_t time, int32_t pin, float v) { add(time, mp::EVENT_PIN_SET, pin, &v, 4); }
    void addInt(int32_t time, int32_t pin, int32_t v) { add(time, mp::EVENT_PIN_SET, pin, &v, 4); }
    void addBool(int32_t time, int32_t pin, bool v) {
        const unsigned char b = v ? 1 : 0;
        add(time, mp::EVENT_PIN_SET, pin, &b, 1);
    }
    void addStreaming(int32_t time, int32_t pin, bool on) {
        add(time, on ? mp::EVENT_PIN_STREAMING_START : mp::EVENT_PIN_STREAMING_STOP, pin);
    }
    void addGraphStart(int32_t time = 0) { add(time, mp::EVENT_GRAPH_START, -1); }
    // Links the events in insertion order (callers add them time-ordered) and
    // returns the head, or null when empty.
    const mp::MpEvent* head();
    size_t size() const { return events_.size(); }

private:
    std::vector<mp::MpEvent> events_;
    std::vector<char> bytes_;
    std::vector<size_t> byteOffsets_;  // per event, SIZE_MAX when inline
};

// One DSP instance created through the factory, with its own host object.
class Instance {
public:
    // Returns null and fills *error on an unknown module or a failed creation.
    static std::unique_ptr<Instance> create(const Library& lib, const std::string& id,
                                            SharedTableStore& tables, std::vector<PinInfo> pins,
                                            float sampleRate, int32_t blockSize,
                                            std::string* error);
    ~Instance();

    mp::IMpPlugin2* plugin() const { return plugin_; }
    InstanceHost& host() { return *host_; }
    int32_t open() { return plugin_->open(); }
    int32_t bindBuffer(int32_t pin, float* buffer) { return plugin_->bindBuffer(pin, buffer); }
    void process(int32_t count, const mp::MpEvent* events) { plugin_->processBlock(count, events); }

private:
    Instance() = default;
    std::unique_ptr<InstanceHost> host_;
    mp::IMpPlugin2* plugin_ = nullptr;
};

}  // namespace zhost
