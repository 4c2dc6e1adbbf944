// The process-wide pseudo-random generator: 15-bit values 0..32767, shared by every machine of a
// deliverable. Free of data races: any thread may seed or draw. Results do not depend on the C
// library, so a seeded render is identical on every machine.
#pragma once

#include <cstdint>

namespace platform {

constexpr int kRandomMax = 32767;

// Reseeds the generator, unless the seed is pinned (see PinRandomSeed).
void SeedRandom(uint32_t seed);

// Next value, 0..32767.
int Random15();

// Seeds the generator once and ignores every later SeedRandom, so that machines that seed from
// the clock when they are built still produce the same numbers run after run (render --seed).
void PinRandomSeed(uint32_t seed);

} // namespace platform
