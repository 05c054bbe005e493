// Running a built graph allocates nothing per block. Counted at malloc, which
// both the host and the library's own runtime reach.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "host/graph.h"
#include "support/test_support.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
}

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void count() {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
}
}  // namespace

extern "C" {
void* malloc(size_t n) {
    count();
    return __libc_malloc(n);
}
void* calloc(size_t a, size_t b) {
    count();
    return __libc_calloc(a, b);
}
void* realloc(void* p, size_t n) {
    count();
    return __libc_realloc(p, n);
}
}

namespace {

std::vector<unsigned char> f32(float v) {
    std::vector<unsigned char> b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}

TEST(GraphAllocation, RunningBlocksAllocatesNothing) {
    zhost::Graph g(ztest::library(), 48000.0f, 64);
    std::string err;
    const int32_t src = g.addSource("s", {std::vector<float>(1000, 0.25f)}, 300, &err);
    const int32_t integ = g.addInstance("i", "Integrator", 0, &err);
    const int32_t dc = g.addInstance("dc", "DC_Blocker", 0, &err);
    const int32_t d = g.addInstance("d", "Derivator", 0, &err);
    ASSERT_GE(d, 0) << err;
    ASSERT_TRUE(g.connect(src, 0, integ, 0, &err)) << err;
    ASSERT_TRUE(g.connect(integ, 2, dc, 0, &err)) << err;
    ASSERT_TRUE(g.connect(dc, 2, d, 0, &err)) << err;
    for (int k = 0; k < 40; ++k) {
        ASSERT_TRUE(g.addChange(37 * k + 5, integ, 1, f32(k % 2 ? 0.9f : 0.99f), &err));
        ASSERT_TRUE(g.addChange(53 * k + 1, dc, 1, f32(0.99f), &err));
    }
    ASSERT_TRUE(g.prepare(&err)) << err;
    g_allocations = 0;
    g_counting = true;
    for (int b = 0; b < 200; ++b) g.runBlock(64);
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_GT(g.stats(d).blocksProcessed, 0);
}

}  // namespace
