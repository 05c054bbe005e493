// Running a built graph allocates nothing per block. Counted at malloc (or the
// sanitizer's allocation hook), which the host and the library's runtime reach.
#include <gtest/gtest.h>

#include <cstring>

#include "host/graph.h"
#include "support/test_support.h"
#include "tools/malloc_counter.h"

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
    const int32_t lone = g.addInstance("lone", "Derivator", 0, &err);
    ASSERT_TRUE(g.addChange(6000, lone, 0, f32(0.5f), &err)) << err;
    ASSERT_TRUE(g.prepare(&err)) << err;
    const long before = zalloc::allocationCount();
    for (int b = 0; b < 200; ++b) g.runBlock(64);
    EXPECT_EQ(zalloc::allocationCount() - before, 0);
    EXPECT_GT(g.stats(d).blocksProcessed, 0);
    // A lone instance that sleeps, is woken by a timed change and sleeps again.
    EXPECT_GT(g.stats(lone).blocksAsleep, 100);
    EXPECT_GE(g.stats(lone).blocksProcessed, 4);
}

}  // namespace
