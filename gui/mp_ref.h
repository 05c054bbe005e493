// Holds one reference to a host object and releases it when replaced or
// destroyed. Used for cached drawing resources.
#pragma once

#include "framework/mp_api.h"

namespace mp_gui {

template <class T>
class MpRef {
public:
    MpRef() = default;
    ~MpRef() { release(); }
    MpRef(const MpRef&) = delete;
    MpRef& operator=(const MpRef&) = delete;

    // Drops the held reference (if any).
    void release() {
        if (p_ != nullptr) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }
    // For out arguments: releases what is held and returns the slot.
    T** put() {
        release();
        return &p_;
    }
    // Takes over a reference the caller owns.
    void attach(T* p) {
        release();
        p_ = p;
    }
    // Obtains `iid` from `from` (a new reference); false and empty if not offered.
    template <class U>
    bool queryFrom(U* from, const mp::MpGuid& iid) {
        release();
        if (from == nullptr) return false;
        void* out = nullptr;
        if (from->QueryInterface(iid, &out) != mp::MP_OK || out == nullptr) return false;
        p_ = static_cast<T*>(out);
        return true;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace mp_gui
