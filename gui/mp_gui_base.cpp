#include "gui/mp_gui_base.h"

using namespace mp;

MpGuiBase2::~MpGuiBase2() {
    if (guiHost_ != nullptr) guiHost_->Release();
}

int32_t MpGuiBase2::QueryInterface(const MpGuid& iid, void** out) {
    if (out == nullptr) return MP_FAIL;
    if (iid == kIID_IMpUnknown || iid == kIID_IMpUserInterface2 || iid == kIID_IMpUserInterface2B) {
        *out = static_cast<IMpUserInterface2B*>(this);
        AddRef();
        return MP_OK;
    }
    *out = nullptr;
    return MP_NOSUPPORT;
}

int32_t MpGuiBase2::Release() {
    const int32_t r = --refCount_;
    if (r == 0) delete this;
    return r;
}

int32_t MpGuiBase2::setHost(IMpUnknown* host) {
    // A second setHost replaces the first host.
    if (guiHost_ != nullptr) {
        guiHost_->Release();
        guiHost_ = nullptr;
    }
    if (host == nullptr) return MP_NOSUPPORT;
    void* out = nullptr;
    if (host->QueryInterface(kIID_IMpUserInterfaceHost2, &out) != MP_OK || out == nullptr)
        return MP_NOSUPPORT;
    guiHost_ = static_cast<IMpUserInterfaceHost2*>(out);
    return MP_OK;
}

int32_t MpGuiBase2::setPin(int32_t pinId, int32_t voice, int32_t size, const void* data) {
    const auto it = pins_.find(pinId);
    if (it == pins_.end()) return MP_FAIL;
    it->second->setValueFromHost(voice, size, data);
    return MP_OK;
}

int32_t MpGuiBase2::notifyPin(int32_t pinId, int32_t /*voice*/) {
    const auto it = pins_.find(pinId);
    if (it == pins_.end()) return MP_FAIL;
    if (it->second->callback_ != nullptr) it->second->callback_->invoke(pinId);
    return MP_OK;
}

int32_t MpGuiBase2::pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice) {
    if (guiHost_ == nullptr) return MP_FAIL;
    return guiHost_->pinTransmit(pinId, size, data, voice);
}

void MpGuiBase2::enterPin(MpGuiPinBase& pin, IGuiPinCallbackImpl* callback) {
    const int32_t index = pins_.empty() ? 0 : pins_.rbegin()->first + 1;
    pin.index_ = index;
    pin.owner_ = this;
    delete pin.callback_;
    pin.callback_ = callback;
    pins_.emplace(index, &pin);
}
