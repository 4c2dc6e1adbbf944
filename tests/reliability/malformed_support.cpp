#include "tests/reliability/malformed_support.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> g_tracking{false};
std::atomic<size_t> g_largest{0};

void* Allocate(std::size_t size) {
    if (g_tracking.load(std::memory_order_relaxed) && size > g_largest.load(std::memory_order_relaxed))
        g_largest.store(size, std::memory_order_relaxed);
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
} // namespace

namespace malformed {
void StartTracking() {
    g_largest = 0;
    g_tracking = true;
}
size_t StopTracking() {
    g_tracking = false;
    return g_largest.load();
}
} // namespace malformed

// Both forms: the sanitizer runtimes bring their own array form, which would not come through here.
void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
