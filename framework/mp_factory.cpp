#include "framework/mp_factory.h"

#include <cstdlib>

#include "framework/mp_base.h"

using namespace mp;

namespace {
MpFactory* g_factory = nullptr;
}  // namespace

// Runs at unload (the exit list of this library): the registry entries go
// first, then the factory. Instances the host still holds are not touched.
struct MpFactoryTeardown {
    static void run() {
        if (g_factory == nullptr) return;
        g_factory->registry_.clear();
        delete g_factory;
        g_factory = nullptr;
    }
};

MpFactory* MpFactory::instance() {
    // First reached from a static initialiser while the library loads, on
    // the loading thread, so the lazy creation needs no lock.
    if (g_factory == nullptr) {
        g_factory = new MpFactory();
        std::atexit(&MpFactoryTeardown::run);
    }
    return g_factory;
}

int32_t MpFactory::registerModule(int32_t subtype, const char16_t* id, MpCreateFunction create) {
    if (id != nullptr) registry_.emplace(std::make_pair(subtype, std::u16string(id)), create);
    return MP_OK;
}

int32_t MpFactory::QueryInterface(const MpGuid& iid, void** out) {
    if (out == nullptr) return MP_FAIL;
    if (iid == kIID_IMpUnknown || iid == kIID_IMpFactory || iid == kIID_IMpFactory2) {
        *out = static_cast<IMpFactory2*>(this);
        AddRef();
        return MP_OK;
    }
    *out = nullptr;
    return MP_NOSUPPORT;
}

int32_t MpFactory::instantiateBare(const char16_t* id, int32_t subtype, void** out) {
    if (out == nullptr) return MP_FAIL;
    *out = nullptr;
    if (id == nullptr) return MP_NOSUPPORT;
    const auto it = registry_.find(std::make_pair(subtype, std::u16string(id)));
    if (it == registry_.end() || it->second == nullptr) return MP_NOSUPPORT;
    try {
        *out = it->second();
    } catch (...) {
        *out = nullptr;
        return MP_FAIL;
    }
    return MP_OK;
}

int32_t MpFactory::instantiate(const char16_t* id, int32_t subtype, IMpUnknown* host, void** out) {
    const int32_t r = instantiateBare(id, subtype, out);
    if (r != MP_OK || *out == nullptr) return r;
    // DSP instances are found by their run-time type, not through
    // QueryInterface. Without a host object there is nothing to attach.
    auto* created = static_cast<IMpUnknown*>(*out);
    if (auto* init = dynamic_cast<IMpLegacyInitialization*>(created); init && host)
        init->attachHost(host);
    return MP_OK;
}

int32_t MpFactory::reportBuildInfo(int32_t* version, int32_t, char16_t* text) {
    static const char16_t kBuild[] = u"GCC Compiler V1014 (Release)";
    static_assert(sizeof(kBuild) / sizeof(kBuild[0]) == 29, "28 code units and a 0");
    if (version != nullptr) *version = 30800;
    if (text != nullptr)
        for (size_t i = 0; i < sizeof(kBuild) / sizeof(kBuild[0]); ++i) text[i] = kBuild[i];
    return MP_OK;
}

extern "C" __attribute__((visibility("default"))) int32_t MP_GetFactory(void** out) {
    if (out == nullptr) return MP_FAIL;
    return MpFactory::instance()->QueryInterface(kIID_IMpUnknown, out);
}
