#include "host/host_core.h"

#include <dlfcn.h>

#include <cstring>

namespace zhost {

std::u16string toU16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    for (unsigned char c : s) out.push_back(static_cast<char16_t>(c));
    return out;
}

std::string toUtf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// ------------------------------------------------------------------ Library

std::unique_ptr<Library> Library::load(const std::string& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        if (error) *error = path + ": cannot load: " + (why ? why : "unknown error");
        return nullptr;
    }
    auto getFactory = reinterpret_cast<MP_GetFactoryFn>(dlsym(handle, "MP_GetFactory"));
    if (getFactory == nullptr) {
        if (error) *error = path + ": no MP_GetFactory export";
        dlclose(handle);
        return nullptr;
    }
    void* unknown = nullptr;
    if (getFactory(&unknown) != mp::MP_OK || unknown == nullptr) {
        if (error) *error = path + ": MP_GetFactory failed";
        dlclose(handle);
        return nullptr;
    }
    void* factory2 = nullptr;
    auto* factory = static_cast<mp::IMpUnknown*>(unknown);
    if (factory->QueryInterface(mp::kIID_IMpFactory2, &factory2) != mp::MP_OK) {
        factory->Release();
        if (error) *error = path + ": factory lacks the second factory interface";
        dlclose(handle);
        return nullptr;
    }
    factory->Release();
    std::unique_ptr<Library> lib(new Library());
    lib->handle_ = handle;
    lib->factory_ = static_cast<mp::IMpFactory2*>(factory2);
    lib->path_ = path;
    return lib;
}

Library::~Library() {
    if (factory_ != nullptr) factory_->Release();
    if (handle_ != nullptr) dlclose(handle_);
}

// --------------------------------------------------------- SharedTableStore

int32_t SharedTableStore::request(const char16_t* key, float rate, int32_t size, void** memory,
                                  int32_t* needInit) {
    if (key == nullptr || memory == nullptr || size < 0) return mp::MP_FAIL;
    auto k = std::make_pair(std::u16string(key), rate);
    auto it = tables_.find(k);
    const bool isNew = it == tables_.end();
    if (isNew) it = tables_.emplace(k, std::vector<unsigned char>(static_cast<size_t>(size))).first;
    // A later asker wanting more than was allocated must not overrun it.
    if (it->second.size() < static_cast<size_t>(size)) {
        *memory = nullptr;
        if (needInit) *needInit = 0;
        return mp::MP_FAIL;
    }
    *memory = it->second.data();
    if (needInit) *needInit = isNew ? 1 : 0;
    return mp::MP_OK;
}

// ------------------------------------------------------------- pin iterator

namespace {
class HostPinIterator final : public mp::IMpPinIterator {
public:
    explicit HostPinIterator(const std::vector<PinInfo>& pins) : pins_(pins) {}
    virtual ~HostPinIterator() = default;
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override {
        if (out == nullptr) return mp::MP_FAIL;
        if (iid == mp::kIID_IMpUnknown) {
            *out = this;
            AddRef();
            return mp::MP_OK;
        }
        *out = nullptr;
        return mp::MP_NOSUPPORT;
    }
    int32_t AddRef() override { return ++refs_; }
    int32_t Release() override {
        const int32_t r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    int32_t getCount(int32_t* count) override {
        if (count) *count = static_cast<int32_t>(pins_.size());
        return mp::MP_OK;
    }
    int32_t first() override {
        pos_ = 0;
        return onPin() ? 0 : 1;
    }
    int32_t next() override {
        ++pos_;
        return onPin() ? 0 : 1;
    }
    int32_t getPinId(int32_t* id) override {
        if (!onPin() || id == nullptr) return mp::MP_FAIL;
        *id = static_cast<int32_t>(pos_);
        return mp::MP_OK;
    }
    int32_t getPinDirection(int32_t* dir) override {
        if (!onPin() || dir == nullptr) return mp::MP_FAIL;
        *dir = pins_[pos_].direction;
        return mp::MP_OK;
    }
    int32_t getPinDatatype(int32_t* type) override {
        if (!onPin() || type == nullptr) return mp::MP_FAIL;
        *type = pins_[pos_].datatype;
        return mp::MP_OK;
    }

private:
    bool onPin() const { return pos_ < pins_.size(); }
    std::vector<PinInfo> pins_;
    size_t pos_ = 0;
    int32_t refs_ = 1;
};
}  // namespace

// ------------------------------------------------------------- InstanceHost

InstanceHost::InstanceHost(SharedTableStore& tables, std::vector<PinInfo> pins, float sampleRate,
                           int32_t blockSize)
    : tables_(tables), pins_(std::move(pins)), sampleRate_(sampleRate), blockSize_(blockSize) {}

int32_t InstanceHost::QueryInterface(const mp::MpGuid& iid, void** out) {
    if (out == nullptr) return mp::MP_FAIL;
    if (iid == mp::kIID_IMpUnknown || iid == mp::kIID_IMpHost) {
        *out = static_cast<mp::IMpHost*>(this);
    } else if (iid == mp::kIID_IMpHost2) {
        *out = static_cast<mp::IMpHost2*>(this);
    } else {
        *out = nullptr;
        return mp::MP_NOSUPPORT;
    }
    AddRef();
    return mp::MP_OK;
}

int32_t InstanceHost::sendPinValue(int32_t offset, int32_t pin, int32_t size, const void* data) {
    if (listener_) listener_->onPinValue(offset, pin, size, data);
    return mp::MP_OK;
}

int32_t InstanceHost::sendPinStreaming(int32_t offset, int32_t pin, bool streaming) {
    if (listener_) listener_->onPinStreaming(offset, pin, streaming);
    return mp::MP_OK;
}

int32_t InstanceHost::requestSleep() {
    if (listener_) listener_->onSleepRequest();
    return mp::MP_OK;
}

int32_t InstanceHost::postGuiMessage(int32_t id, int32_t size, const void* data) {
    if (listener_) listener_->onGuiMessage(id, size, data);
    return mp::MP_OK;
}

int32_t InstanceHost::readBlockSize(int32_t* samples) {
    if (samples) *samples = blockSize_;
    return mp::MP_OK;
}

int32_t InstanceHost::readSampleRate(float* rate) {
    if (rate) *rate = sampleRate_;
    return mp::MP_OK;
}

namespace {
int32_t copyText(const char16_t* text, int32_t max, char16_t* out) {
    if (out == nullptr || max <= 0) return mp::MP_FAIL;
    int32_t i = 0;
    for (; i < max - 1 && text[i] != 0; ++i) out[i] = text[i];
    out[i] = 0;
    return mp::MP_OK;
}
}  // namespace

int32_t InstanceHost::readHostId(int32_t max, char16_t* text) {
    return copyText(u"zdsp reference host", max, text);
}
int32_t InstanceHost::readHostVersion(int32_t* version) {
    if (version) *version = 1000;
    return mp::MP_OK;
}
int32_t InstanceHost::readRegisteredName(int32_t max, char16_t* text) {
    return copyText(u"", max, text);
}
int32_t InstanceHost::isEditor(int32_t* yes) {
    if (yes) *yes = 0;
    return mp::MP_OK;
}
int32_t InstanceHost::openPinIterator(mp::IMpPinIterator** out) {
    if (out == nullptr) return mp::MP_FAIL;
    *out = new HostPinIterator(pins_);
    return mp::MP_OK;
}
int32_t InstanceHost::readHandle(int32_t* handle) {
    if (handle) *handle = 0;
    return mp::MP_OK;
}
int32_t InstanceHost::resolveFilename(const char16_t* name, int32_t max, char16_t* out) {
    return copyText(name ? name : u"", max, out);
}
int32_t InstanceHost::requestSharedTable(const char16_t* key, void** memory, float rate,
                                         int32_t size, int32_t* needInit) {
    return tables_.request(key, rate, size, memory, needInit);
}
int32_t InstanceHost::readVoiceCount(int32_t* count) {
    if (count) *count = 1;
    return mp::MP_OK;
}
int32_t InstanceHost::readPolyphony(int32_t* count) {
    if (count) *count = 1;
    return mp::MP_OK;
}
int32_t InstanceHost::reportLatency(int32_t samples) {
    latency_ = samples;
    if (listener_) listener_->onLatency(samples);
    return mp::MP_OK;
}

// ---------------------------------------------------------------- EventList

EventList::EventList(size_t capacity, size_t byteCapacity) {
    events_.reserve(capacity);
    byteOffsets_.reserve(capacity);
    bytes_.reserve(byteCapacity);
}

void EventList::clear() {
    events_.clear();
    byteOffsets_.clear();
    bytes_.clear();
}

void EventList::add(int32_t time, int32_t type, int32_t pin, const void* data, int32_t size) {
    mp::MpEvent e{};
    e.timeDelta = time;
    e.eventType = type;
    e.parm1 = pin;
    e.parm2 = size;
    size_t offset = SIZE_MAX;
    if (data != nullptr && size > 0) {
        if (size <= 8) {
            std::memcpy(&e.parm3, data, static_cast<size_t>(size));
        } else {
            offset = bytes_.size();
            const auto* p = static_cast<const char*>(data);
            bytes_.insert(bytes_.end(), p, p + size);
        }
    }
    events_.push_back(e);
    byteOffsets_.push_back(offset);
}

const mp::MpEvent* EventList::head() {
    if (events_.empty()) return nullptr;
    for (size_t i = 0; i < events_.size(); ++i) {
        events_[i].next = i + 1 < events_.size() ? &events_[i + 1] : nullptr;
        events_[i].extraData = byteOffsets_[i] == SIZE_MAX ? nullptr : &bytes_[byteOffsets_[i]];
    }
    return &events_[0];
}

// ----------------------------------------------------------------- Instance

std::unique_ptr<Instance> Instance::create(const Library& lib, const std::string& id,
                                           SharedTableStore& tables, std::vector<PinInfo> pins,
                                           float sampleRate, int32_t blockSize,
                                           std::string* error) {
    std::unique_ptr<Instance> inst(new Instance());
    inst->host_ = std::make_unique<InstanceHost>(tables, std::move(pins), sampleRate, blockSize);
    const std::u16string wid = toU16(id);
    void* out = nullptr;
    const int32_t r =
        lib.factory()->instantiate(wid.c_str(), mp::MP_SUBTYPE_DSP, inst->host_->unknown(), &out);
    if (r != mp::MP_OK || out == nullptr) {
        if (error) *error = id + (r == mp::MP_NOSUPPORT ? ": unknown module" : ": creation failed");
        return nullptr;
    }
    inst->plugin_ = static_cast<mp::IMpPlugin2*>(out);
    return inst;
}

Instance::~Instance() {
    if (plugin_ != nullptr) plugin_->Release();
}

}  // namespace zhost
