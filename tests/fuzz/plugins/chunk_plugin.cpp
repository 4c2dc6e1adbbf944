// A small VST 2 effect with four parameters whose chunk is its own: it keeps a copy of whatever
// chunk it is handed (reading every byte it was told about) and gives that copy back. A chunk of
// its own layout — "cKpT", int32 count, count floats — also sets the parameters it names.
#include "host_machines/vst/vst_abi.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace vst;

namespace {

constexpr int32_t kParameterCount = 4;

AEffect g_effect;
float g_parameters[kParameterCount] = {};
std::vector<unsigned char> g_chunk;

void TakeChunk(const void* data, intptr_t size) {
    if (!data || size <= 0) {
        g_chunk.clear();
        return;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    g_chunk.assign(bytes, bytes + size);
    if (size < 8 || std::memcmp(bytes, "cKpT", 4) != 0) return;
    int32_t count = 0;
    std::memcpy(&count, bytes + 4, 4);
    for (int32_t i = 0; i < count && i < kParameterCount && 8 + 4 * static_cast<intptr_t>(i) + 4 <= size; ++i)
        std::memcpy(&g_parameters[i], bytes + 8 + 4 * i, 4);
}

intptr_t Dispatcher(AEffect*, int32_t opcode, int32_t, intptr_t value, void* ptr, float) {
    switch (opcode) {
    case effGetChunk:
        *static_cast<void**>(ptr) = g_chunk.empty() ? nullptr : g_chunk.data();
        return static_cast<intptr_t>(g_chunk.size());
    case effSetChunk:
        TakeChunk(ptr, value);
        return 0;
    default:
        return 0;
    }
}

void ProcessReplacing(AEffect*, float** inputs, float** outputs, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) {
        outputs[0][i] = inputs[0][i] * g_parameters[0];
        outputs[1][i] = inputs[1][i] * g_parameters[0];
    }
}

void SetParameter(AEffect*, int32_t index, float value) {
    if (index < 0 || index >= kParameterCount)
        std::abort(); // the host asked for a parameter it was never offered
    g_parameters[index] = value;
}
float GetParameter(AEffect*, int32_t index) {
    if (index < 0 || index >= kParameterCount) std::abort();
    return g_parameters[index];
}

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) != kVstVersion) return nullptr;
    std::memset(&g_effect, 0, sizeof g_effect);
    g_effect.magic = kEffectMagic;
    g_effect.dispatcher = &Dispatcher;
    g_effect.setParameter = &SetParameter;
    g_effect.getParameter = &GetParameter;
    g_effect.processReplacing = &ProcessReplacing;
    g_effect.numParams = kParameterCount;
    g_effect.numPrograms = 1;
    g_effect.numInputs = 2;
    g_effect.numOutputs = 2;
    g_effect.flags = effFlagsCanReplacing | effFlagsProgramChunks;
    g_effect.uniqueID = 0x634B7054;
    return &g_effect;
}
