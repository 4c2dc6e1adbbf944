#include "machines/dsp/random_state.h"

#include "platform/random.h"

uint32_t RandomState::SeedFromProcess() {
    const auto high = static_cast<uint32_t>(platform::Random15());
    const auto low = static_cast<uint32_t>(platform::Random15());
    return (high << 15) | low;
}
