// The GUI module base and its pins.
//
// A GUI instance is the editor half of a module. It owns its pins as members
// and registers them in its constructor (index = registration order). The
// host stores values with setPin and then calls notifyPin, which runs the
// pin's reaction; a module reads its pins' values directly.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>

#include "framework/mp_blob.h"
#include "gui/mp_gui_api.h"

// The face a GUI pin uses to reach its module: passes values set by the
// module on to the host.
class GuiPinOwner {
public:
    virtual int32_t pinTransmit(int32_t pinId, int32_t size, const void* data,
                                int32_t voice = 0) = 0;

protected:
    ~GuiPinOwner() = default;
};

// Runs a module's reaction to one pin.
class IGuiPinCallbackImpl {
public:
    virtual ~IGuiPinCallbackImpl() = default;
    virtual void invoke(int32_t pinIndex) = 0;
};

template <class Face>
class IGuiPinCallback final : public IGuiPinCallbackImpl {
public:
    using Reaction = void (Face::*)();
    IGuiPinCallback(Face* owner, Reaction reaction) : owner_(owner), reaction_(reaction) {}
    void invoke(int32_t) override { (owner_->*reaction_)(); }

private:
    Face* owner_;
    Reaction reaction_;
};

// The same with the pin index passed on, so one reaction serves several pins.
template <class Face>
class IGuiPinCallbackIndexed final : public IGuiPinCallbackImpl {
public:
    using Reaction = void (Face::*)(int32_t pinIndex);
    IGuiPinCallbackIndexed(Face* owner, Reaction reaction) : owner_(owner), reaction_(reaction) {}
    void invoke(int32_t pinIndex) override { (owner_->*reaction_)(pinIndex); }

private:
    Face* owner_;
    Reaction reaction_;
};

class MpGuiPinBase {
public:
    MpGuiPinBase() = default;
    MpGuiPinBase(const MpGuiPinBase&) = delete;
    MpGuiPinBase& operator=(const MpGuiPinBase&) = delete;
    virtual ~MpGuiPinBase() { delete callback_; }

    // Stores a value from the host; 1 if the stored value changed, else 0.
    // A null `data` counts as no bytes.
    virtual int32_t setValueFromHost(int32_t voice, int32_t size, const void* data) = 0;
    virtual int32_t getDatatype() const = 0;
    virtual int32_t getSize() const = 0;
    virtual const void* getValuePtr() const = 0;
    // Reserved for pin extensions; all zero.
    virtual mp::MpGuid extensionId() const { return mp::MpGuid{0, 0, 0, {0}}; }

    int32_t getIndex() const { return index_; }
    // Sends the current value to the host (for modules that set pins).
    int32_t sendToHost() {
        return owner_ != nullptr ? owner_->pinTransmit(index_, getSize(), getValuePtr()) : -1;
    }

private:
    friend class MpGuiBase2;
    int32_t index_ = -1;
    GuiPinOwner* owner_ = nullptr;
    IGuiPinCallbackImpl* callback_ = nullptr;
};

namespace mp_gui_detail {
template <class T>
struct PinTraits;
template <>
struct PinTraits<float> {
    static constexpr int32_t type = mp::PIN_TYPE_FLOAT;
};
template <>
struct PinTraits<int32_t> {
    static constexpr int32_t type = mp::PIN_TYPE_INT;
};
template <>
struct PinTraits<bool> {
    static constexpr int32_t type = mp::PIN_TYPE_BOOL;
};
template <>
struct PinTraits<MpBlob> {
    static constexpr int32_t type = mp::PIN_TYPE_BLOB;
};
template <>
struct PinTraits<std::u16string> {
    static constexpr int32_t type = mp::PIN_TYPE_STRING;
};
}  // namespace mp_gui_detail

// A GUI pin holding a float, int, bool, blob or wide string.
template <class T>
class MpGuiPin : public MpGuiPinBase {
public:
    int32_t setValueFromHost(int32_t /*voice*/, int32_t size, const void* data) override {
        if (data == nullptr || size < 0) size = 0;
        const auto* bytes = static_cast<const unsigned char*>(data);
        if constexpr (std::is_same_v<T, MpBlob>) {
            if (value_.size() == size &&
                (size == 0 || std::memcmp(value_.data(), bytes, static_cast<size_t>(size)) == 0))
                return 0;
            value_.assign(size, bytes);
            return 1;
        } else if constexpr (std::is_same_v<T, std::u16string>) {
            const size_t units = static_cast<size_t>(size) / 2;
            if (static_cast<size_t>(size) == 2 * value_.size() &&
                (units == 0 || std::memcmp(value_.data(), bytes, 2 * units) == 0))
                return 0;
            value_.resize(units);
            if (units > 0) std::memcpy(&value_[0], bytes, 2 * units);
            return 1;
        } else if constexpr (std::is_same_v<T, bool>) {
            // Stored as a proper bool whatever the host's encoding (a byte of 2 reads true).
            bool v = false;
            if (size == 4) {
                int32_t i;
                std::memcpy(&i, bytes, 4);
                v = i != 0;
            } else if (size > 0) {
                v = bytes[0] != 0;
            }
            if (size == 1 && v == value_) return 0;
            value_ = v;
            return 1;
        } else {
            // Float and int: the bytes given, at most 4, replace the value's
            // first bytes; a shorter value leaves the rest as it was.
            if (size == 4 && std::memcmp(bytes, &value_, 4) == 0) return 0;
            if (size > 0) std::memcpy(&value_, bytes, size < 4 ? static_cast<size_t>(size) : 4u);
            return 1;
        }
    }
    int32_t getDatatype() const override { return mp_gui_detail::PinTraits<T>::type; }
    int32_t getSize() const override {
        if constexpr (std::is_same_v<T, MpBlob>) {
            return static_cast<int32_t>(value_.size());
        } else if constexpr (std::is_same_v<T, std::u16string>) {
            return static_cast<int32_t>(2 * value_.size());
        } else if constexpr (std::is_same_v<T, bool>) {
            return 1;
        } else {
            return 4;
        }
    }
    const void* getValuePtr() const override {
        if constexpr (std::is_same_v<T, MpBlob>) {
            return value_.data();
        } else {
            return valueAddress();
        }
    }

    const T& getValue() const { return value_; }
    operator const T&() const { return value_; }
    // Sets the value from the module and passes it to the host.
    void setValue(const T& v) {
        value_ = v;
        sendToHost();
    }

private:
    const void* valueAddress() const {
        if constexpr (std::is_same_v<T, std::u16string>) {
            return value_.data();
        } else {
            return &value_;
        }
    }
    T value_{};
};

class StringGuiPin : public MpGuiPin<std::u16string> {};

// The GUI module base: primary face IMpUserInterface2B, second face GuiPinOwner.
class MpGuiBase2 : public mp::IMpUserInterface2B, public GuiPinOwner {
public:
    using PrimaryFace = mp::IMpUserInterface2B;

    MpGuiBase2() = default;
    MpGuiBase2(const MpGuiBase2&) = delete;
    MpGuiBase2& operator=(const MpGuiBase2&) = delete;

    // IMpUnknown
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override;
    int32_t AddRef() override { return ++refCount_; }
    int32_t Release() override;

    // IMpUserInterface2
    int32_t setHost(mp::IMpUnknown* host) override;
    int32_t initialize() override { return mp::MP_OK; }
    int32_t setPin(int32_t pinId, int32_t voice, int32_t size, const void* data) override;
    int32_t receiveMessageFromAudio(int32_t, int32_t, const void*) override { return mp::MP_FAIL; }
    int32_t populateContextMenu(float, float, mp::IMpUnknown*) override { return mp::MP_FAIL; }
    int32_t onContextMenu(int32_t) override { return mp::MP_FAIL; }
    int32_t getToolTip(float, float, mp::IMpUnknown*) override { return mp::MP_FAIL; }
    int32_t notifyPin(int32_t pinId, int32_t voice) override;

    virtual ~MpGuiBase2();
    // GuiPinOwner, and the same on the primary face: forwards to the GUI host.
    int32_t pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice = 0) override;

    mp::IMpUserInterfaceHost2* guiHost() const { return guiHost_; }

protected:
    // Enters the pin under the next index; `reaction` (a member of the
    // module) runs on each notifyPin for it.
    void initializePin(MpGuiPinBase& pin) { enterPin(pin, nullptr); }
    template <class Module>
    void initializePin(MpGuiPinBase& pin, void (Module::*reaction)()) {
        using Face = mp::IMpUserInterface2;
        enterPin(pin, new IGuiPinCallback<Face>(this, static_cast<void (Face::*)()>(reaction)));
    }
    template <class Module>
    void initializePin(MpGuiPinBase& pin, void (Module::*reaction)(int32_t)) {
        using Face = mp::IMpUserInterface2;
        enterPin(pin, new IGuiPinCallbackIndexed<Face>(
                          this, static_cast<void (Face::*)(int32_t)>(reaction)));
    }

    int32_t refCount_ = 1;

private:
    void enterPin(MpGuiPinBase& pin, IGuiPinCallbackImpl* callback);

    std::map<int32_t, MpGuiPinBase*> pins_;
    mp::IMpUserInterfaceHost2* guiHost_ = nullptr;
};
