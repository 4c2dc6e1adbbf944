// RandomState: a 15-bit pseudo-random generator owned by one block or machine.
//
// Per-sample noise draws from its own RandomState rather than the process-wide generator, so a
// machine renders the same numbers whichever worker thread runs it and whatever other machines
// draw at the same time. The seed is taken from the process-wide generator when the owner is built
// (user-interface thread), so a pinned process seed still reproduces a whole render.
#pragma once

#include <cstdint>

struct RandomState {
    uint32_t state = 1;

    // A seed drawn from the process-wide generator (platform::Random15).
    static uint32_t SeedFromProcess();

    // 0..32767, the same sequence as the process-wide generator for the same seed.
    int32_t Next() {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7fff);
    }
};
