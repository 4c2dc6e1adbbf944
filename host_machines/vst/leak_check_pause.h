// Allocations made by third-party plug-in code while it loads and comes up are not ours to
// free; in the sanitizer build the leak checker is told to ignore them. Nothing otherwise.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

class CLeakCheckPause {
public:
#if defined(__SANITIZE_ADDRESS__)
    CLeakCheckPause() {
        __lsan_disable();
    }
    ~CLeakCheckPause() {
        __lsan_enable();
    }
#else
    // Not trivial, so a scope holding one is not taken for an unused variable.
    CLeakCheckPause() {}
    ~CLeakCheckPause() {}
#endif
    CLeakCheckPause(const CLeakCheckPause&) = delete;
    CLeakCheckPause& operator=(const CLeakCheckPause&) = delete;
};
