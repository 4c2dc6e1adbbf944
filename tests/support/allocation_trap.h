// A test-only allocation trap: while armed it counts every operator new (any form) made on any
// thread, and every malloc, calloc and realloc made by code linked with
// -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc. Linking the CMake target tb_allocation_trap
// replaces the test binary's global allocator and adds the wrapping.
#pragma once

namespace allocation_trap {

// Counting starts from zero.
void Arm();
// Counting stops; returns what was counted since Arm.
long Disarm();
long Count();

} // namespace allocation_trap
