// Machine state blocks from project files: every built-in machine takes any block through
// SetState, keeps parameters it can show, renders, and gives back a parameter list of its own size.
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "machines/stock_machines.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstring>

namespace {

struct Library {
    Library() { RegisterStockMachines(&host); }
    MachineRegistry registry;
    CVeskHost host{44100, 256, 0x16, &registry};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Library library;
    if (size > 0x7FFFFFFF) return 0;
    for (int32_t i = 0; i < library.registry.Count(); ++i) {
        CMachine* machine = library.registry.At(i).info->CreateMachine();
        if (!machine) continue;
        machine->SetState(size ? data : nullptr, static_cast<int32_t>(size), true);
        char text[256];
        for (int32_t p = 0; p < machine->m_parameterCount; ++p) {
            machine->GetParameterDisplay(p, text);
            fuzz::Check(std::memchr(text, '\0', sizeof text) != nullptr, "a parameter shows as a text");
        }
        machine->Process();
        const void* state = nullptr;
        int32_t stateSize = 0;
        bool parameterList = false;
        machine->GetState(&state, &stateSize, &parameterList);
        fuzz::Check(parameterList && stateSize == 8 + 4 * machine->m_parameterCount,
                    "the state is the parameter list");
        machine->Delete();
    }
    return 0;
}
