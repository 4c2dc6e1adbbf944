#include "platform/clock.h"

#include <ctime>

namespace platform {

int64_t HighResCounter() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

uint32_t TickCount() { return static_cast<uint32_t>(HighResCounter() / 1'000'000); }

} // namespace platform
