#include "tests/support/allocation_trap.h"

#include <atomic>
#include <cstdlib>
#include <new>

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);
}

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void Note() {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

namespace allocation_trap {
void Arm() {
    g_allocations = 0;
    g_counting = true;
}
long Disarm() {
    g_counting = false;
    return g_allocations.load();
}
long Count() {
    return g_allocations.load();
}
} // namespace allocation_trap

extern "C" {
void* __wrap_malloc(std::size_t size) {
    Note();
    return __real_malloc(size);
}
void* __wrap_calloc(std::size_t count, std::size_t size) {
    Note();
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* block, std::size_t size) {
    Note();
    return __real_realloc(block, size);
}
}

void* operator new(std::size_t size) {
    Note();
    if (void* block = __real_malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    Note();
    return __real_malloc(size ? size : 1);
}
// Sanitizer runtimes bring their own array forms, which would not come through the one above.
void* operator new[](std::size_t size) {
    Note();
    if (void* block = __real_malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    Note();
    return __real_malloc(size ? size : 1);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
