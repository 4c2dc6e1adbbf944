// A small machine library for the discovery tests: one machine type registered under the
// identifier "VeskPlug::Test Tone" with the display name given at build time. Built without the
// entry point it is a library that must be skipped.
#include "machine_interface/library_loader.h"
#include "machine_interface/machine.h"
#include "machine_interface/vesk_host.h"

namespace {
class CTestTone : public CMachine {
public:
    explicit CTestTone(CVeskHost* host) : CMachine(host) { AddPort(kPortMonoOut, "Out"); }
    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return true; }
};
} // namespace

#if TEST_WITH_ENTRY
extern "C" __attribute__((visibility("default"))) int32_t VeskPlugInit(void*, CVeskHost* host) {
    return host->RegisterMachine(new CSimpleMachineInfo<CTestTone>(host, TEST_DISPLAY_NAME, "VeskPlug::Test Tone"));
}
#else
extern "C" __attribute__((visibility("default"))) int32_t NotTheEntryPoint() { return 0; }
#endif
