#include "platform/random.h"

#include <atomic>

namespace platform {

// A linear congruential generator with the classic 15-bit output; its whole state is one word,
// updated with a compare-and-swap so concurrent draws never lose or repeat a step.
static std::atomic<uint32_t> g_state{1};
static std::atomic<bool> g_pinned{false};

void SeedRandom(uint32_t seed) {
    if (!g_pinned.load(std::memory_order_acquire)) g_state.store(seed, std::memory_order_relaxed);
}

int Random15() {
    uint32_t state = g_state.load(std::memory_order_relaxed);
    uint32_t next = 0;
    do {
        next = state * 214013u + 2531011u;
    } while (!g_state.compare_exchange_weak(state, next, std::memory_order_relaxed));
    return static_cast<int>((next >> 16) & 0x7fff);
}

void PinRandomSeed(uint32_t seed) {
    g_state.store(seed, std::memory_order_relaxed);
    g_pinned.store(true, std::memory_order_release);
}

} // namespace platform
