// A small VST 2 plug-in for the adapter's tests, built in several shapes from compile-time
// settings: PLUGIN_INPUTS, PLUGIN_OUTPUTS, PLUGIN_SYNTH, PLUGIN_MIDI_ANSWER (its answer to
// "receiveVstMIDIEvent"), PLUGIN_EVENTS_ANSWER (its answer to effProcessEvents), PLUGIN_ID,
// PLUGIN_CRASH (dies in its entry), PLUGIN_HANG (never returns from it), PLUGIN_NAN (writes a NaN
// and an infinity into every block), PLUGIN_NAME (its effect name), PLUGIN_EDITOR (1: an editor
// of 320 x 200 that only records its calls and never touches the window it is given; 2: the
// editor flag but no rectangle; 3: the rectangle only once the editor is open).
// Its output is its first input times 0.5 (or a constant 0.25 without inputs) on every output.
// Every block it asks the host for the time (position, tempo, bars, time signature) and keeps the
// answer in its log.
#include "host_machines/vst/vst_abi.h"
#include "tests/host_machines/plugins/test_plugin_log.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <limits>

#ifndef PLUGIN_NAN
#define PLUGIN_NAN 0
#endif
#ifndef PLUGIN_NAME
#define PLUGIN_NAME "Test Plug-in"
#endif
#ifndef PLUGIN_EDITOR
#define PLUGIN_EDITOR 0
#endif

using namespace vst;

namespace {

using Log = TestPluginLog;

Log g_log;
AEffect g_effect;
HostCallback g_host = nullptr;
ERect g_editorRect{10, 20, 210, 340}; // top, left, bottom, right: 320 x 200

unsigned long ThisThread() {
    return static_cast<unsigned long>(pthread_self());
}

intptr_t Dispatcher(AEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr, float) {
    if (opcode >= 0 && opcode < 256) ++g_log.opcodes[opcode];
    switch (opcode) {
    case effEditOpen:
    case effEditClose:
    case effStopProcess:
    case effMainsChanged:
    case effClose:
        if (g_log.sequenceLength < 64) g_log.sequence[g_log.sequenceLength++] = opcode;
        break;
    default:
        break;
    }
    switch (opcode) {
    case effEditGetRect: {
        const bool known = PLUGIN_EDITOR == 1 || (PLUGIN_EDITOR == 3 && g_log.editorParent);
        if (known) *static_cast<ERect**>(ptr) = &g_editorRect;
        return known ? 1 : 0;
    }
    case effEditOpen:
        g_log.editorParent = ptr;
        g_log.editorThread = ThisThread();
        return 1;
    case effEditIdle:
        if (ThisThread() != g_log.editorThread) ++g_log.idlesOffEditorThread;
        return 0;
    case effCanDo:
        if (std::strcmp(static_cast<const char*>(ptr), "receiveVstMIDIEvent") == 0) return PLUGIN_MIDI_ANSWER;
        return 0;
    case effProcessEvents: {
        ++g_log.processEventsCalls;
        const auto* events = static_cast<const VstEvents*>(ptr);
        for (int i = 0; i < events->numEvents && g_log.midiEvents < 64; ++i) {
            const auto* midi = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
            std::memcpy(g_log.midi[g_log.midiEvents], midi->midiData, 3);
            g_log.deltaFrames[g_log.midiEvents] = midi->deltaFrames;
            ++g_log.midiEvents;
        }
        return PLUGIN_EVENTS_ANSWER;
    }
    case effGetChunk:
        *static_cast<void**>(ptr) = g_log.chunk;
        return g_log.chunkSize;
    case effSetChunk:
        g_log.chunkSize = static_cast<int>(value) < 37 ? static_cast<int>(value) : 37;
        std::memcpy(g_log.chunk, ptr, static_cast<size_t>(g_log.chunkSize));
        return 0;
    case effGetParamName:
        // Longer than the nominal 8 characters, as real plug-ins write.
        std::snprintf(static_cast<char*>(ptr), 64, "Parameter Number %d Long Name", index);
        return 0;
    case effGetParamDisplay:
        std::snprintf(static_cast<char*>(ptr), 64, "%.2f", static_cast<double>(g_log.parameters[index & 3]));
        return 0;
    case effGetParamLabel:
        std::snprintf(static_cast<char*>(ptr), 64, " dB");
        return 0;
    case effGetEffectName:
        std::snprintf(static_cast<char*>(ptr), 64, "%s", PLUGIN_NAME);
        return 1;
    case effGetVendorString:
        std::snprintf(static_cast<char*>(ptr), 64, "Tamborel Tests");
        return 1;
    case effGetPlugCategory:
        return PLUGIN_SYNTH ? 2 : 1;
    default:
        return 0;
    }
}

void ProcessReplacing(AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    ++g_log.blocks;
    for (int channel = 0; channel < PLUGIN_OUTPUTS; ++channel)
        for (int32_t i = 0; i < frames; ++i)
            outputs[channel][i] = PLUGIN_INPUTS > 0 ? inputs[0][i] * 0.5f : 0.25f;
#if PLUGIN_NAN
    if (PLUGIN_OUTPUTS > 0 && frames > 7) {
        outputs[0][5] = std::numeric_limits<float>::quiet_NaN();
        outputs[PLUGIN_OUTPUTS - 1][7] = std::numeric_limits<float>::infinity();
    }
#endif
    const auto* time = reinterpret_cast<const VstTimeInfo*>(
        g_host(effect, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid,
               nullptr, 0.0f));
    if (!time) return;
    g_log.samplePos = time->samplePos;
    g_log.sampleRate = time->sampleRate;
    g_log.ppqPos = time->ppqPos;
    g_log.tempo = time->tempo;
    g_log.barStartPos = time->barStartPos;
    g_log.timeFlags = time->flags;
    g_log.timeSigNumerator = time->timeSigNumerator;
    g_log.timeSigDenominator = time->timeSigDenominator;
}

void SetParameter(AEffect*, int32_t index, float value) {
    g_log.parameters[index & 3] = value;
}
float GetParameter(AEffect*, int32_t index) {
    return g_log.parameters[index & 3];
}

} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback host) {
#if PLUGIN_CRASH
    raise(SIGSEGV);
#endif
#if PLUGIN_HANG
    for (;;)
        pause();
#endif
    g_host = host;
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) != kVstVersion) return nullptr;
    std::memset(&g_effect, 0, sizeof g_effect);
    g_effect.magic = kEffectMagic;
    g_effect.dispatcher = &Dispatcher;
    g_effect.setParameter = &SetParameter;
    g_effect.getParameter = &GetParameter;
    g_effect.processReplacing = &ProcessReplacing;
    g_effect.numParams = 4;
    g_effect.numPrograms = 1;
    g_effect.numInputs = PLUGIN_INPUTS;
    g_effect.numOutputs = PLUGIN_OUTPUTS;
    g_effect.flags = effFlagsCanReplacing | effFlagsProgramChunks | (PLUGIN_SYNTH ? effFlagsIsSynth : 0) |
                     (PLUGIN_EDITOR ? effFlagsHasEditor : 0);
    g_effect.uniqueID = PLUGIN_ID;
    return &g_effect;
}

extern "C" __attribute__((visibility("default"))) void* TestPluginLog() {
    return &g_log;
}
extern "C" __attribute__((visibility("default"))) HostCallback TestPluginHost() {
    return g_host;
}
