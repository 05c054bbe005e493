// Counts every heap allocation the process makes, the module library's own
// included. The library carries its own C++ runtime, so replacing operator
// new here would miss it; malloc is what every allocation reaches.
//
// Include in exactly one source file of a program: it defines malloc and
// friends. Under AddressSanitizer, whose allocator must stay in charge, it
// counts through the sanitizer's allocation hook instead.
#pragma once

#include <atomic>
#include <cstddef>

namespace zalloc {

inline std::atomic<long> g_allocations{0};

// Allocations so far; differences around a call count what it allocated.
inline long allocationCount() {
    return g_allocations.load(std::memory_order_relaxed);
}

inline void countOne() {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace zalloc

#if defined(__SANITIZE_ADDRESS__)
#define ZALLOC_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZALLOC_SANITIZER 1
#endif
#endif

#ifdef ZALLOC_SANITIZER

// Declared here: GCC ships the sanitizer runtime without this header.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void*));

namespace zalloc {
inline void onMalloc(const volatile void*, size_t) {
    countOne();
}
inline void onFree(const volatile void*) {}
struct HookInstaller {
    HookInstaller() { __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree); }
};
inline HookInstaller g_hookInstaller;
}  // namespace zalloc

#else

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t n) {
    zalloc::countOne();
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t m) {
    zalloc::countOne();
    return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
    zalloc::countOne();
    return __libc_realloc(p, n);
}
void* memalign(size_t a, size_t n) {
    zalloc::countOne();
    return __libc_memalign(a, n);
}
void* aligned_alloc(size_t a, size_t n) {
    zalloc::countOne();
    return __libc_memalign(a, n);
}
int posix_memalign(void** out, size_t a, size_t n) {
    zalloc::countOne();
    *out = __libc_memalign(a, n);
    return *out ? 0 : 12;
}
}

#endif
