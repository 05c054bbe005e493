// processBlock must not allocate. Counted at malloc (or through the
// sanitizer's allocation hook in sanitizer builds), which every allocation in
// the process reaches, the library's own runtime included.
#include <gtest/gtest.h>

#include "host/pin_catalog.h"
#include "support/test_support.h"
#include "tools/malloc_counter.h"

namespace ztest {

// Counts allocations made while `body` runs.
template <class F>
long allocationsDuring(F&& body) {
    const long before = zalloc::allocationCount();
    body();
    return zalloc::allocationCount() - before;
}

// The counter itself works (a test that could not fail would prove nothing).
TEST(Allocation, CounterSeesTheLibraryAllocating) {
    void* out = nullptr;
    const long n =
        allocationsDuring([&] { library().factory()->instantiateBare(u"DC_Blocker", 0, &out); });
    ASSERT_NE(out, nullptr);
    static_cast<mp::IMpUnknown*>(out)->Release();
    EXPECT_GT(n, 0);
}

// Every module the library registers, driven through events and sleep.
void exercise(const std::string& id, const std::string& layout) {
    Driver d(id, layout, 48000.0f, 64);
    // Events prepared outside the measured region: EventList reserves up front.
    for (size_t p = 0; p < layout.size(); ++p) {
        if (layout[p] == 'a') d.events.addStreaming(0, static_cast<int32_t>(p), true);
        if (layout[p] == 'f') d.events.addFloat(0, static_cast<int32_t>(p), 0.5f);
    }
    d.events.addGraphStart(0);
    for (size_t p = 0; p < layout.size(); ++p)
        if (layout[p] == 'a') d.fill(static_cast<int32_t>(p), 0.25f);
    // The recorder keeps copies of values; a host listener must not.
    zhost::HostListener quiet;
    d.instance().host().setListener(&quiet);
    // Warm up: a blob output allocates when its size first changes, which is
    // allowed; afterwards nothing may allocate.
    for (int block = 0; block < 100; ++block) d.process();
    const long n = allocationsDuring([&] {
        for (int block = 0; block < 200; ++block) d.process();
    });
    EXPECT_EQ(n, 0) << id << " while streaming";
    for (size_t p = 0; p < layout.size(); ++p)
        if (layout[p] == 'a') d.events.addStreaming(7, static_cast<int32_t>(p), false);
    const long m = allocationsDuring([&] {
        for (int block = 0; block < 200; ++block) d.process();
    });
    EXPECT_EQ(m, 0) << id << " after the inputs stopped";
}

// The host's catalog describes every module; derive each pin layout from it.
std::string layoutOf(const zhost::ModuleDesc& m) {
    std::string layout;
    for (const auto& p : zhost::instancePins(m, m.variableInputs ? 3 : 0)) {
        const bool in = p.direction == mp::PIN_DIR_IN;
        switch (p.datatype) {
            case mp::PIN_TYPE_AUDIO:
                layout += in ? 'a' : 'A';
                break;
            case mp::PIN_TYPE_FLOAT:
                layout += 'f';
                break;
            case mp::PIN_TYPE_INT:
                layout += in ? 'i' : 'I';
                break;
            case mp::PIN_TYPE_ENUM:
                layout += 'e';
                break;
            case mp::PIN_TYPE_BOOL:
                layout += 'b';
                break;
            case mp::PIN_TYPE_BLOB:
                layout += in ? 'x' : 'X';
                break;
            default:
                ADD_FAILURE() << m.id << ": pin type " << p.datatype;
        }
    }
    return layout;
}

TEST(Allocation, ProcessBlockAllocatesNothing) {
    int modules = 0;
    for (const zhost::ModuleDesc* m : zhost::PinCatalog::global().modules()) {
        exercise(m->id, layoutOf(*m));
        ++modules;
    }
    EXPECT_GE(modules, 3);
}

}  // namespace ztest
