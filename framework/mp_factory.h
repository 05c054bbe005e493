// The module registry: one process-wide factory, filled by static
// registration while the library loads, read-only afterwards.
#pragma once

#include <map>
#include <string>

#include "framework/mp_api.h"

// Returns the new object's interface (IMpPlugin2 for DSP classes, the
// primary face for GUI classes) with a reference count of 1.
using MpCreateFunction = mp::IMpUnknown* (*)();

class MpFactory final : public mp::IMpFactory2 {
public:
    // The singleton, created on first use (during library load).
    static MpFactory* instance();

    // First registration of a key wins; always returns 0.
    int32_t registerModule(int32_t subtype, const char16_t* id, MpCreateFunction create);

    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override;
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    int32_t instantiate(const char16_t* id, int32_t subtype, mp::IMpUnknown* host,
                        void** out) override;
    int32_t reportBuildInfo(int32_t* version, int32_t unused, char16_t* text) override;
    int32_t instantiateBare(const char16_t* id, int32_t subtype, void** out) override;

private:
    MpFactory() = default;
    // Keys order by subtype, then by identifier code units as unsigned numbers
    // (std::u16string compares char16_t, which is unsigned).
    std::map<std::pair<int32_t, std::u16string>, MpCreateFunction> registry_;
    friend struct MpFactoryTeardown;
};

namespace mp_detail {
template <class T>
mp::IMpUnknown* createDsp() {
    return static_cast<mp::IMpPlugin2*>(new T());
}
template <class T>
mp::IMpUnknown* createGui() {
    return static_cast<typename T::PrimaryFace*>(new T());
}
}  // namespace mp_detail

// Registers a DSP class under an identifier while the library loads:
//   REGISTER_DSP(DCBlocker, u"DC_Blocker");
#define MP_CONCAT_(a, b) a##b
#define MP_CONCAT(a, b) MP_CONCAT_(a, b)
#define REGISTER_DSP(cls, id)                              \
    static const int MP_CONCAT(mp_registered_, __LINE__) = \
        MpFactory::instance()->registerModule(mp::MP_SUBTYPE_DSP, id, &mp_detail::createDsp<cls>)
