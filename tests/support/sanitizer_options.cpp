// The sanitizers' settings for every test binary, built in rather than passed through the
// environment, so a test run by hand behaves as under ctest: leaks are reported, undefined
// behaviour prints its stack, and the leaks of the libraries under the window tests (listed in
// lsan.supp) are not reported as ours.
#include "tests/support/lsan_suppressions.h"

extern "C" {
// Unused (and harmless) in builds without the sanitizers.
__attribute__((used)) const char* __asan_default_options() { return "detect_leaks=1"; }
__attribute__((used)) const char* __ubsan_default_options() { return "print_stacktrace=1"; }
__attribute__((used)) const char* __lsan_default_options() { return "print_suppressions=0"; }
__attribute__((used)) const char* __lsan_default_suppressions() { return kLsanSuppressions; }
}
