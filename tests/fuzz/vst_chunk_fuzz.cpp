// The hand-over of a plug-in's saved state: the adapter passes any block to the plug-in intact
// (its own chunk) or as a parameter list, and never names a parameter the plug-in lacks. The first
// byte chooses the parameter-list flag; the rest is the block.
#include "host_machines/vst/vst_adapter.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "tests/fuzz/fuzz_support.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <memory>

namespace {

struct Plugin {
    Plugin() {
        const std::filesystem::path path = TB_FUZZ_CHUNK_PLUGIN;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        fuzz::Check(handle != nullptr, "the chunk plug-in loads");
        auto entry = reinterpret_cast<vst::EntryProc>(dlsym(handle, "VSTPluginMain"));
        info = std::make_unique<CVSTAdapterInfo>(&host, handle, entry, true, path.stem().string(),
                                                 path.parent_path().string());
    }
    MachineRegistry registry;
    CVeskHost host{44100, 64, 0x16, &registry};
    std::unique_ptr<CVSTAdapterInfo> info;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Plugin plugin;
    if (size < 1 || size > 0x7FFFFFFF) return 0;
    const bool parameterList = (data[0] & 1) != 0;
    const uint8_t* block = data + 1;
    const auto blockSize = static_cast<int32_t>(size - 1);
    CMachine* machine = plugin.info->CreateMachine();
    fuzz::Check(machine != nullptr, "the adapter opens the plug-in");
    machine->SetState(blockSize ? block : nullptr, blockSize, parameterList);
    const void* state = nullptr;
    int32_t stateSize = 0;
    bool stateIsList = true;
    machine->GetState(&state, &stateSize, &stateIsList);
    if (!parameterList && blockSize > 0)
        fuzz::Check(!stateIsList && stateSize == blockSize &&
                        std::memcmp(state, block, static_cast<size_t>(blockSize)) == 0,
                    "the plug-in gets its chunk back intact");
    machine->Delete();
    return 0;
}
