// Processor feature flags handed to machines through the host services.
#pragma once

#include <cstdint>

namespace platform {

// Bits 1, 2, 4 and 8 describe vector units; the 64-bit build always reports 16, which makes the
// flags 0x16 (SSE2 is part of x86-64). cpuid may refine bits 1, 2, 4 and 8 on top of that.
int32_t ProcessorFeatures();

} // namespace platform
