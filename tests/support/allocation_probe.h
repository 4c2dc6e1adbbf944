// Allocations an optimising compiler may not remove, for the allocation trap's self-tests: a
// new/delete pair whose pointer goes nowhere may be elided (and is, in a Release build), so each
// pointer passes through a volatile object the compiler must write.
#pragma once

#include <cstdlib>

namespace allocation_probe {

inline void NewAndDelete() {
    int* volatile block = new int(3);
    delete block;
}

inline void NewArrayAndDelete() {
    char* volatile block = new char[5];
    delete[] block;
}

inline void MallocAndFree() {
    void* volatile block = std::malloc(8);
    std::free(block);
}

} // namespace allocation_probe
