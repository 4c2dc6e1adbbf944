// Monotonic time sources. Safe from any thread.
#pragma once

#include <cstdint>

namespace platform {

// High-resolution counter in nanoseconds (CLOCK_MONOTONIC); HighResFrequency() ticks per second.
int64_t HighResCounter();
constexpr int64_t HighResFrequency() { return 1'000'000'000; }

// Millisecond tick count on the same monotonic clock (wraps at 32 bits like a system tick count).
uint32_t TickCount();

} // namespace platform
