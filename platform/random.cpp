#include "platform/random.h"

#include <atomic>
#include <dlfcn.h>

namespace {

// A linear congruential generator with the classic 15-bit output; its whole state is one word,
// updated with a compare-and-swap so concurrent draws never lose or repeat a step.
struct Generator {
    std::atomic<uint32_t> state{1};
    std::atomic<bool> pinned{false};
};

Generator g_own;

// The program and every machine library carry their own copy of this file. The program exports
// its generator under this name, and each copy draws from the first one the process offers, so
// one generator (and one pinned seed) serves the whole process. A module loaded into a process
// that exports none keeps its own.
Generator& Shared() {
    static Generator* const shared = [] {
        using Getter = void* (*)();
        auto getter = reinterpret_cast<Getter>(dlsym(RTLD_DEFAULT, "tamborel_process_random"));
        return getter ? static_cast<Generator*>(getter()) : &g_own;
    }();
    return *shared;
}

} // namespace

extern "C" __attribute__((visibility("default"), used)) void* tamborel_process_random() {
    return &g_own;
}

namespace platform {

void SeedRandom(uint32_t seed) {
    Generator& generator = Shared();
    if (!generator.pinned.load(std::memory_order_acquire))
        generator.state.store(seed, std::memory_order_relaxed);
}

int Random15() {
    std::atomic<uint32_t>& g_state = Shared().state;
    uint32_t state = g_state.load(std::memory_order_relaxed);
    uint32_t next = 0;
    do {
        next = state * 214013u + 2531011u;
    } while (!g_state.compare_exchange_weak(state, next, std::memory_order_relaxed));
    return static_cast<int>((next >> 16) & 0x7fff);
}

void PinRandomSeed(uint32_t seed) {
    Generator& generator = Shared();
    generator.state.store(seed, std::memory_order_relaxed);
    generator.pinned.store(true, std::memory_order_release);
}

} // namespace platform
