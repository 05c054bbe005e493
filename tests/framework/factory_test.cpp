// The library entry and registry, reached only through MP_GetFactory.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace mp;

namespace {

IMpFactory2* factory() {
    return ztest::library().factory();
}

TEST(Factory, SingleExportGivesOneFactoryThatSurvivesReleases) {
    void* handle = dlopen(ZDSP_SEM_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr);
    auto get = reinterpret_cast<MP_GetFactoryFn>(dlsym(handle, "MP_GetFactory"));
    ASSERT_NE(get, nullptr);
    void* a = nullptr;
    void* b = nullptr;
    EXPECT_EQ(get(&a), 0);
    EXPECT_EQ(get(&b), 0);
    EXPECT_EQ(a, b);
    auto* f = static_cast<IMpUnknown*>(a);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(f->Release(), 1);
    EXPECT_EQ(f->AddRef(), 1);
    void* again = nullptr;
    EXPECT_EQ(f->QueryInterface(kIID_IMpFactory, &again), 0);
    EXPECT_EQ(again, a);
    // Anything else is not offered by the factory.
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->QueryInterface(kIID_IMpPlugin, &none), MP_NOSUPPORT);
    EXPECT_EQ(none, nullptr);
    // Still usable after all the releases.
    void* inst = nullptr;
    EXPECT_EQ(static_cast<IMpFactory2*>(a)->instantiateBare(u"Derivator", 0, &inst), 0);
    ASSERT_NE(inst, nullptr);
    static_cast<IMpUnknown*>(inst)->Release();
    dlclose(handle);
}

TEST(Factory, AllThreeIdentifiersLeadToTheSameTable) {
    void* x = nullptr;
    void* y = nullptr;
    void* z = nullptr;
    EXPECT_EQ(factory()->QueryInterface(kIID_IMpUnknown, &x), 0);
    EXPECT_EQ(factory()->QueryInterface(kIID_IMpFactory, &y), 0);
    EXPECT_EQ(factory()->QueryInterface(kIID_IMpFactory2, &z), 0);
    EXPECT_EQ(x, y);
    EXPECT_EQ(y, z);
}

TEST(Factory, BuildInfo) {
    int32_t version = 0;
    char16_t text[40];
    for (auto& c : text) c = u'#';
    EXPECT_EQ(factory()->reportBuildInfo(&version, 0, text), 0);
    EXPECT_EQ(version, 30800);
    EXPECT_EQ(std::u16string(text), u"GCC Compiler V1014 (Release)");
    EXPECT_EQ(std::u16string(text).size(), 28u);
    EXPECT_EQ(text[29], u'#');  // writes 29 units, not one more
}

TEST(Factory, IdentifiersAreExactAndSubtypeMatters) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory()->instantiateBare(u"DC_Blocker", 0, &out), 0);
    ASSERT_NE(out, nullptr);
    static_cast<IMpUnknown*>(out)->Release();

    for (const char16_t* id : {u"DCBlocker", u"dc_blocker", u"DC_Blocker ", u"DC_Blocke", u""}) {
        out = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory()->instantiateBare(id, 0, &out), MP_NOSUPPORT);
        EXPECT_EQ(out, nullptr);
    }
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory()->instantiate(u"DC_Blocker", 2, nullptr, &out), MP_NOSUPPORT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory()->instantiate(u"DC_Blocker", 1, nullptr, &out), MP_NOSUPPORT);
}

TEST(Factory, NullArgumentsAreRefusedWithoutACrash) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory()->instantiate(nullptr, 0, nullptr, &out), MP_NOSUPPORT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory()->instantiateBare(nullptr, 0, &out), MP_NOSUPPORT);
    EXPECT_EQ(factory()->instantiate(u"Derivator", 0, nullptr, nullptr), MP_FAIL);
    EXPECT_EQ(factory()->QueryInterface(kIID_IMpFactory, nullptr), MP_FAIL);
    // A null host creates the instance unattached: it runs, reporting to nobody.
    EXPECT_EQ(factory()->instantiate(u"Derivator", 0, nullptr, &out), 0);
    ASSERT_NE(out, nullptr);
    auto* plugin = static_cast<IMpPlugin2*>(out);
    float buf[2][16] = {};
    plugin->bindBuffer(0, buf[0]);
    plugin->bindBuffer(1, buf[1]);
    MpEvent start{};
    start.eventType = EVENT_GRAPH_START;
    plugin->processBlock(16, &start);
    plugin->processBlock(16, nullptr);
    EXPECT_EQ(plugin->Release(), 0);
}

// A DSP instance: four tables, one count, the identifiers of its interfaces.
TEST(Instance, InterfacesAndReferenceCounting) {
    zhost::SharedTableStore tables;
    zhost::InstanceHost host(tables, ztest::pinLayout("aA"), 48000.0f, 64);
    void* out = nullptr;
    ASSERT_EQ(factory()->instantiate(u"Derivator", 0, host.unknown(), &out), 0);
    auto* p2 = static_cast<IMpPlugin2*>(out);
    // attachHost kept both host interfaces.
    EXPECT_EQ(host.refCount(), 3);

    void* p1 = nullptr;
    void* unk = nullptr;
    void* again2 = nullptr;
    void* legacy = nullptr;
    EXPECT_EQ(p2->QueryInterface(kIID_IMpPlugin, &p1), 0);
    EXPECT_EQ(p2->QueryInterface(kIID_IMpUnknown, &unk), 0);
    EXPECT_EQ(p2->QueryInterface(kIID_IMpPlugin2, &again2), 0);
    EXPECT_EQ(p2->QueryInterface(kIID_IMpLegacyInitialization, &legacy), 0);
    EXPECT_EQ(p1, unk);
    EXPECT_EQ(again2, out);
    EXPECT_NE(p1, out);
    EXPECT_NE(legacy, out);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(p2->QueryInterface(kIID_IMpFactory, &none), MP_NOSUPPORT);
    EXPECT_EQ(none, nullptr);
    // 1 + four successful queries
    EXPECT_EQ(p2->AddRef(), 6);
    auto* legacyInit = static_cast<IMpLegacyInitialization*>(legacy);
    // Re-attaching through the legacy table gives back the old main
    // reference and takes both again.
    EXPECT_EQ(legacyInit->attachHost(host.unknown()), 0);
    EXPECT_EQ(host.refCount(), 4);
    auto* plugin1 = static_cast<IMpPlugin*>(p1);
    EXPECT_EQ(plugin1->open(), 0);
    EXPECT_EQ(plugin1->bindBuffer(2, nullptr), MP_FAIL);
    EXPECT_EQ(plugin1->bindBuffer(-1, nullptr), MP_FAIL);
    // Neither message form is handled: both answer 0 without recursing.
    EXPECT_EQ(plugin1->acceptMessage(1, 0, nullptr), 0);
    EXPECT_EQ(p2->acceptMessage2(1, 0, nullptr), 0);
    for (int i = 0; i < 5; ++i) p2->Release();
    EXPECT_EQ(p2->Release(), 0);
    // Destruction releases the main interface only, never the second one.
    EXPECT_EQ(host.refCount(), 3);
}

}  // namespace
