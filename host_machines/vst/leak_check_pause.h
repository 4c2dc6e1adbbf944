// Allocations made by third-party plug-in code while it loads and comes up are not ours to
// free; in the sanitizer build the leak checker is told to ignore them. Nothing otherwise.
#pragma once

// GCC names the address sanitizer with a macro, clang with a feature test.
#if defined(__SANITIZE_ADDRESS__)
#define TAMBOREL_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAMBOREL_LEAK_CHECKER 1
#endif
#endif

#if defined(TAMBOREL_LEAK_CHECKER)
#include <sanitizer/lsan_interface.h>
#endif

class CLeakCheckPause {
public:
#if defined(TAMBOREL_LEAK_CHECKER)
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
