#include "host_machines/vst/vst_adapter.h"

#include "host_machines/vst/leak_check_pause.h"
#include "host_machines/vst/vst_transport.h"

#include "machine_interface/mutex.h"
#include "machine_interface/panel_factory.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"
#include "platform/thread.h"

#include <dlfcn.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

using namespace vst;

namespace {

std::atomic<int32_t> g_loadedLibraries{0};
std::function<void(const std::string&)> g_messageSink;

void Tell(const std::string& text) {
    if (g_messageSink)
        g_messageSink(text);
    else
        std::fprintf(stderr, "tamborel: %s\n", text.c_str());
}

// Copies a plug-in's text into one of our fields, cut to fit.
void CopyText(char* to, size_t size, const char* from) {
    const size_t length = strnlen(from, size - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}
} // namespace

// The global adapter list, its mutex and the idle thread that walks it every 10 ms. The thread
// starts with the first adapter and stops when the last one goes.
class CVSTAdapterList {
public:
    static CVSTAdapterList& Get() {
        static CVSTAdapterList list;
        return list;
    }

    void Link(CVSTAdapter* adapter) {
        if (!m_head) StartIdleThread();
        adapter->m_next = m_head;
        adapter->m_previous = nullptr;
        if (m_head) m_head->m_previous = adapter;
        m_head = adapter;
        ++m_count;
    }

    // Returns true when the list became empty (the caller then stops the idle thread, outside
    // the list mutex, which the thread needs to finish its pass).
    bool Unlink(CVSTAdapter* adapter) {
        if (adapter->m_previous) adapter->m_previous->m_next = adapter->m_next;
        if (adapter->m_next) adapter->m_next->m_previous = adapter->m_previous;
        if (m_head == adapter) m_head = adapter->m_next;
        --m_count;
        return m_head == nullptr;
    }

    CVSTAdapter* Find(AEffect* effect) {
        for (CVSTAdapter* adapter = m_head; adapter; adapter = adapter->m_next)
            if (adapter->m_effect == effect) return adapter;
        return nullptr;
    }

    void StopIdleThreadWhenEmpty() {
        std::unique_ptr<platform::CPlatformThread> thread;
        {
            CMutexLock lock(m_mutex);
            if (m_head || !m_thread) return;
            m_running = false;
            thread = std::move(m_thread);
        }
        thread->Join();
    }

    CMutex m_mutex;
    // The adapter being created on this thread, for callbacks from inside the entry function.
    static thread_local CVeskHost* s_creatingHost;
    int32_t m_count = 0;

private:
    void StartIdleThread() {
        if (m_thread) return;
        m_running = true;
        m_thread = std::make_unique<platform::CPlatformThread>();
        m_thread->Create([this] { IdleLoop(); }, platform::ThreadPriority::BelowNormal);
        m_thread->Start();
    }

    // CVSTIdleThread's loop.
    void IdleLoop() {
        while (m_running) {
            {
                CMutexLock lock(m_mutex);
                for (CVSTAdapter* adapter = m_head; adapter; adapter = adapter->m_next) {
                    CMutexLock adapterLock(*adapter);
                    adapter->IdleStep();
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    CVSTAdapter* m_head = nullptr;
    std::unique_ptr<platform::CPlatformThread> m_thread;
    std::atomic<bool> m_running{false};
};

thread_local CVeskHost* CVSTAdapterList::s_creatingHost = nullptr;

void SetVSTMessageSink(std::function<void(const std::string&)> sink) {
    g_messageSink = std::move(sink);
}

int32_t LiveVSTAdapterCount() {
    CVSTAdapterList& list = CVSTAdapterList::Get();
    CMutexLock lock(list.m_mutex);
    return list.m_count;
}

// ---------------------------------------------------------------------------------------------
// Descriptor

CVSTAdapterInfo::CVSTAdapterInfo(CVeskHost* host, void* library, EntryProc entry, bool foundAsPluginMain,
                                 const std::string& displayName, const std::string& folder)
    : m_host(host), m_library(library), m_entry(entry), m_foundAsPluginMain(foundAsPluginMain),
      m_name(displayName), m_folder(folder) {
    if (m_folder.empty() || m_folder.back() != '/') m_folder += '/';
    m_displayName = m_name.c_str();
    {
        CVSTAdapter probe(host, entry, m_folder.c_str());
        if (probe.Effect()) m_uniqueId = probe.Effect()->uniqueID;
    }
    BuildIdentifier(m_uniqueId, m_identifierBytes);
    m_identifier = m_identifierBytes;
}

CVSTAdapterInfo::CVSTAdapterInfo(CVeskHost* host, const VSTLibraryFacts& facts,
                                 const std::string& libraryPath, const std::string& displayName,
                                 const std::string& folder)
    : m_host(host), m_library(nullptr), m_entry(nullptr), m_foundAsPluginMain(facts.pluginMain),
      m_name(displayName), m_folder(folder), m_libraryPath(libraryPath), m_facts(facts),
      m_uniqueId(facts.uniqueId) {
    if (m_folder.empty() || m_folder.back() != '/') m_folder += '/';
    m_displayName = m_name.c_str();
    BuildIdentifier(m_uniqueId, m_identifierBytes);
    m_identifier = m_identifierBytes;
}

int32_t CVSTAdapterInfo::LoadedLibraryCount() {
    return g_loadedLibraries.load();
}

void CVSTAdapterInfo::LoadLibrary() {
    void* handle = nullptr;
    {
        CLeakCheckPause pause;
        handle = dlopen(m_libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle) {
        const char* why = dlerror();
        platform::Raise("VST PlugIn Library '%s' Failed To Load (%s)", m_libraryPath.c_str(),
                        why ? why : "?");
    }
    auto entry = reinterpret_cast<EntryProc>(dlsym(handle, m_foundAsPluginMain ? "VSTPluginMain" : "main"));
    if (!entry)
        entry = reinterpret_cast<EntryProc>(dlsym(handle, m_foundAsPluginMain ? "main" : "VSTPluginMain"));
    if (!entry) {
        dlclose(handle);
        platform::Raise("VST PlugIn Library '%s' Failed To Load (%s)", m_libraryPath.c_str(),
                        "no entry point");
    }
    ++g_loadedLibraries;
    m_library = handle;
    m_entry = entry;
}

// The library stays loaded for the rest of the process: many plug-ins leave threads, atexit
// handlers or static destructors behind that crash once their code is unmapped.
CVSTAdapterInfo::~CVSTAdapterInfo() = default;

CMachine* CVSTAdapterInfo::CreateMachine() {
    if (!m_entry) LoadLibrary();
    const std::string shown = m_facts.ShownName().empty() ? m_name : m_facts.ShownName();
    return new CVSTAdapter(m_host, m_entry, m_folder.c_str(), shown.c_str(), m_transport);
}

void CVSTAdapterInfo::BuildIdentifier(int32_t uniqueId, char identifier[10]) {
    std::memcpy(identifier, "VST::", 5);
    const auto bits = static_cast<uint32_t>(uniqueId);
    for (int k = 0; k < 4; ++k)
        identifier[5 + k] = static_cast<char>((bits >> (8 * k)) & 0x0F);
    identifier[9] = '\0';
}

// ---------------------------------------------------------------------------------------------
// Adapter

CVSTAdapter::CVSTAdapter(CVeskHost* host, EntryProc entry, const char* folder, const char* name,
                         const CVSTTransport* transport)
    : CMachine(host), m_blockSize(host->GetBufferSize()), m_sampleRate(host->GetSampleRate()),
      m_folder(folder), m_pluginName(name ? name : ""), m_transport(transport) {
    CVSTAdapterList& list = CVSTAdapterList::Get();
    // The list mutex is held while the plug-in comes up: its entry function may call back
    // before we know which AEffect is ours.
    CMutexLock lock(list.m_mutex);
    list.Link(this);
    {
        CLeakCheckPause pause;
        CVSTAdapterList::s_creatingHost = host;
        AEffect* effect = entry(&HostCallback);
        CVSTAdapterList::s_creatingHost = nullptr;
        if (!effect || effect->magic != kEffectMagic) return;
        m_effect = effect;
        m_effect->resvd1 = reinterpret_cast<intptr_t>(this);
        m_parameterCount = effect->numParams;
        m_programCount = effect->numPrograms;
        m_uniqueId = effect->uniqueID;

        Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(m_sampleRate));
        Dispatch(effSetBlockSize, 0, m_blockSize);
        Dispatch(effOpen);
        Dispatch(effSetPanLaw, 0, 0, nullptr, 0.70710677f);
        Dispatch(effMainsChanged, 0, 1);
        Dispatch(effStartProcess);
    }
    try {
        BuildPorts();
    } catch (const platform::CError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        AEffect* dropped = m_effect;
        m_effect = nullptr;
        dropped->dispatcher(dropped, effClose, 0, 0, nullptr, 0.0f);
        DeletePorts();
        m_controlIn = nullptr;
        m_inputPorts.clear();
        m_outputPorts.clear();
        m_parameterCount = 0;
        m_programCount = 0;
    }
}

CVSTAdapter::~CVSTAdapter() {
    // Out of the list first, so the idle thread never calls into a plug-in that is closing.
    CVSTAdapterList& list = CVSTAdapterList::Get();
    bool empty = false;
    {
        CMutexLock lock(list.m_mutex);
        empty = list.Unlink(this);
    }
    if (empty) list.StopIdleThreadWhenEmpty();
    ReportSilenced();
    if (m_effect) {
        Dispatch(effStopProcess);
        Dispatch(effMainsChanged, 0, 0);
        CloseEditor();
    }
    // The window goes with the adapter; it may outlive it briefly, never calling it again.
    CVSTEditorLink* editor = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_editorMutex);
        editor = m_editor;
        m_editor = nullptr;
    }
    if (editor) editor->ClosePanel();
    if (m_effect) {
        Dispatch(effClose);
        m_effect = nullptr;
    }
    // The base machine must not read a program table we never built.
    m_programCount = 0;
}

intptr_t CVSTAdapter::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (!m_effect) return 0;
    return m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt);
}

// Control In first when the plug-in takes notes; then exactly two plug-in channels make one stereo
// port, any other count one mono port each ("Line In %i", then "Line Out %i", from 1).
std::vector<VSTPortPlan> VSTPortLayout(int32_t inputs, int32_t outputs, bool takesMidi) {
    std::vector<VSTPortPlan> ports;
    if (takesMidi) ports.push_back({"Control In", kPortControlIn});
    auto add = [&ports](int32_t channels, int32_t stereoFlags, int32_t monoFlags, const char* format) {
        channels = channels > 0 ? channels : 0;
        const int32_t count = channels == 2 ? 1 : channels;
        char name[32];
        for (int32_t i = 0; i < count; ++i) {
            std::snprintf(name, sizeof name, format, i + 1);
            ports.push_back({name, channels == 2 ? stereoFlags : monoFlags});
        }
    };
    add(inputs, kPortStereoIn, kPortMonoIn, "Line In %i");
    add(outputs, kPortStereoOut, kPortMonoOut, "Line Out %i");
    return ports;
}

void CVSTAdapter::BuildPorts() {
    const bool synth = (m_effect->flags & effFlagsIsSynth) != 0;
    char canDo[] = "receiveVstMIDIEvent";
    const bool takesMidi = Dispatch(effCanDo, 0, 0, canDo) != 0 || synth;
    const int32_t inputs = m_effect->numInputs > 0 ? m_effect->numInputs : 0;
    const int32_t outputs = m_effect->numOutputs > 0 ? m_effect->numOutputs : 0;
    for (const VSTPortPlan& plan : VSTPortLayout(inputs, outputs, takesMidi)) {
        CPort* port = AddPort(plan.flags, plan.name.c_str());
        if (plan.flags == kPortControlIn) {
            m_controlIn = port;
            m_wantsMidi = true;
        } else if (port->IsInput()) {
            m_inputPorts.push_back(port);
        } else {
            m_outputPorts.push_back(port);
        }
    }
    // At least one slot each, so a plug-in never gets a null array.
    m_inputChannels.assign(static_cast<size_t>(inputs > 0 ? inputs : 1), nullptr);
    m_outputChannels.assign(static_cast<size_t>(outputs > 0 ? outputs : 1), nullptr);
}

void CVSTAdapter::ProcessEvents() {
    CControlBuffer* control = m_controlIn->m_controlBuffer;
    const bool wantsMidi = m_wantsMidi;
    const size_t capacity = static_cast<size_t>(control->GetCount());
    if (wantsMidi && m_midiEvents.size() < capacity) m_midiEvents.resize(capacity);
    if (wantsMidi && m_eventList.size() < capacity + 2) m_eventList.resize(capacity + 2);
    int32_t count = 0;
    ControlEvent event;
    while (control->GetNextEvent(&event)) {
        if (event.kind == kEventParameter) {
            // Applied before the buffer is rendered, in time order (the last change of the
            // buffer wins); through the host services, so the frame's panel follows.
            if (event.index >= 0 && event.index < m_parameterCount)
                AutomateParameter(event.index, event.value < 0.0f   ? 0.0f
                                               : event.value > 1.0f ? 1.0f
                                                                    : event.value);
            continue;
        }
        if (!wantsMidi || (event.kind != kEventNoteOn && event.kind != kEventNoteOff)) continue;
        VstMidiEvent& midi = m_midiEvents[static_cast<size_t>(count)];
        std::memset(&midi, 0, sizeof midi);
        midi.type = kVstMidiType;
        midi.byteSize = 24;
        midi.deltaFrames = event.time;
        const bool on = event.kind == kEventNoteOn;
        int velocity = on ? static_cast<int>(event.value * 127.0f) : 0;
        velocity = velocity < 0 ? 0 : velocity > 127 ? 127 : velocity;
        midi.midiData[0] = static_cast<char>(on ? 0x90 : 0x80);
        midi.midiData[1] = static_cast<char>(event.index & 0x7F);
        midi.midiData[2] = static_cast<char>(velocity);
        m_eventList[2 + static_cast<size_t>(count)] = reinterpret_cast<intptr_t>(&midi);
        ++count;
    }
    if (count == 0) return;
    m_eventList[0] = count;
    m_eventList[1] = 0;
    if (Dispatch(effProcessEvents, 0, 0, m_eventList.data()) == 0) m_wantsMidi = false;
}

void CVSTAdapter::GuardOutputs() {
    const int32_t frames = m_blockSize;
    bool bad = false;
    for (CPort* port : m_outputPorts) {
        const CAudioBuffer* buffer = port->m_audioBuffer;
        const int32_t length = frames < buffer->m_length ? frames : buffer->m_length;
        for (const float* channel : {buffer->m_channel1, buffer->m_channel2}) {
            if (!channel || bad) continue;
            for (int32_t i = 0; i < length; ++i) {
                if (!std::isfinite(channel[i])) {
                    bad = true;
                    break;
                }
            }
        }
    }
    if (!bad) return;
    for (CPort* port : m_outputPorts)
        port->m_audioBuffer->Clear();
    m_silencedBuffers.fetch_add(1, std::memory_order_relaxed);
}

// Never on the processing thread (it formats and writes): the idle thread, or the destructor.
void CVSTAdapter::ReportSilenced() {
    const uint32_t silenced = m_silencedBuffers.load(std::memory_order_relaxed);
    if (silenced == 0 || m_silenceReported.exchange(true)) return;
    std::string machine = m_name && *m_name ? std::string(" (machine '") + m_name + "')" : std::string();
    Tell("VST plug-in '" + m_pluginName + "'" + machine +
         " produced NaN or infinite samples; its output is replaced by silence in every such buffer");
}

void CVSTAdapter::Process() {
    if (!m_effect) return;
    if (m_controlIn) ProcessEvents();
    size_t channel = 0;
    for (CPort* port : m_inputPorts) {
        m_inputChannels[channel++] = port->m_audioBuffer->m_channel1;
        if (port->IsStereo()) m_inputChannels[channel++] = port->m_audioBuffer->m_channel2;
    }
    channel = 0;
    for (CPort* port : m_outputPorts) {
        port->m_audioBuffer->Clear();
        m_outputChannels[channel++] = port->m_audioBuffer->m_channel1;
        if (port->IsStereo()) m_outputChannels[channel++] = port->m_audioBuffer->m_channel2;
    }
    if ((m_effect->flags & effFlagsCanReplacing) != 0 && m_effect->processReplacing)
        m_effect->processReplacing(m_effect, m_inputChannels.data(), m_outputChannels.data(), m_blockSize);
    else if (m_effect->process)
        m_effect->process(m_effect, m_inputChannels.data(), m_outputChannels.data(), m_blockSize);
    GuardOutputs();
}

float CVSTAdapter::GetParameter(int32_t index) {
    return m_effect && m_effect->getParameter ? m_effect->getParameter(m_effect, index) : 0.0f;
}

void CVSTAdapter::SetParameter(int32_t index, float value) {
    if (m_effect && m_effect->setParameter) m_effect->setParameter(m_effect, index, value);
}

void CVSTAdapter::GetParameterName(int32_t index, char* text) {
    char buffer[kTextBufferSize] = {};
    Dispatch(effGetParamName, index, 0, buffer);
    CopyText(text, 64, buffer);
}

void CVSTAdapter::GetParameterDisplay(int32_t index, char* text) {
    char display[kTextBufferSize] = {};
    char label[kTextBufferSize] = {};
    Dispatch(effGetParamDisplay, index, 0, display);
    Dispatch(effGetParamLabel, index, 0, label);
    display[63] = '\0';
    label[63] = '\0';
    const std::string joined = std::string(display) + label;
    CopyText(text, 64, joined.c_str());
}

void CVSTAdapter::SetProgram(int32_t index) {
    Dispatch(effSetProgram, 0, index);
    m_currentProgram = index;
}

int32_t CVSTAdapter::GetProgram() {
    return m_effect ? static_cast<int32_t>(Dispatch(effGetProgram)) : 0;
}

void CVSTAdapter::GetProgramName(char* text) {
    char buffer[kTextBufferSize] = {};
    Dispatch(effGetProgramName, 0, 0, buffer);
    CopyText(text, sizeof(Program::name), buffer);
}

void CVSTAdapter::SetProgramName(const char* text) {
    char buffer[kTextBufferSize] = {};
    CopyText(buffer, 25, text);
    Dispatch(effSetProgramName, 0, 0, buffer);
}

void CVSTAdapter::GetProgramNameIndexed(int32_t index, char* text) {
    char buffer[kTextBufferSize] = {};
    Dispatch(effGetProgramNameIndexed, index, 0, buffer);
    CopyText(text, sizeof(Program::name), buffer);
}

void CVSTAdapter::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void CVSTAdapter::SetBufferSize(int32_t frames) {
    m_blockSize = frames;
    Dispatch(effSetBlockSize, 0, frames);
}

void CVSTAdapter::GetState(const void** data, int32_t* size, bool* parameterList) {
    *data = nullptr;
    *size = 0;
    *parameterList = false;
    if (!m_effect) return;
    if ((m_effect->flags & effFlagsProgramChunks) != 0) {
        void* chunk = nullptr;
        const intptr_t bytes = Dispatch(effGetChunk, 1, 0, &chunk);
        // A chunk too large for the project's 32-bit size field would be saved with a wrong
        // size; the parameter list is saved instead.
        if (chunk && bytes > 0 && bytes <= INT32_MAX) {
            *data = chunk;
            *size = static_cast<int32_t>(bytes);
            return;
        }
    }
    CMachine::GetState(data, size, parameterList);
}

void CVSTAdapter::SetState(const void* data, int32_t size, bool parameterList) {
    if (parameterList) {
        CMachine::SetState(data, size, true);
        return;
    }
    if (!data || size <= 0) return;
    // Plug-ins may keep the pointer they are given or write through it; they get a copy of our
    // own that lives as long as the adapter.
    m_stateCopy.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    Dispatch(effSetChunk, 1, size, m_stateCopy.data());
}

bool CVSTAdapter::IsGenerator() {
    return m_effect && (m_effect->flags & effFlagsIsSynth) != 0;
}

WindowHandle CVSTAdapter::CreateGUI(WindowHandle parent) {
    if (!m_effect) return nullptr;
    if (CVSTEditorLink* editor = EditorLink()) return editor->Window();
    if (!HasEditor()) return nullptr;
    return machine_panels::Create(this, "VST", parent);
}

bool CVSTAdapter::HasEditor() const {
    return m_effect && (m_effect->flags & effFlagsHasEditor) != 0;
}

bool CVSTAdapter::EditorSize(int32_t* width, int32_t* height) {
    *width = 0;
    *height = 0;
    if (!HasEditor()) return false;
    ERect* rect = nullptr;
    Dispatch(effEditGetRect, 0, 0, &rect);
    if (!rect) return false;
    *width = rect->right - rect->left;
    *height = rect->bottom - rect->top;
    return *width > 0 && *height > 0;
}

bool CVSTAdapter::GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) {
    int32_t width = 0;
    int32_t height = 0;
    if (!EditorSize(&width, &height)) return false;
    *left = 0;
    *top = 0;
    *right = static_cast<int16_t>(width);
    *bottom = static_cast<int16_t>(height);
    return true;
}

// An editor brings up the plug-in's drawing libraries (X11, OpenGL drivers, fonts), whose caches
// live as long as the process: not ours to free.
void CVSTAdapter::OpenEditor(void* nativeWindow) {
    if (!m_effect || m_editorOpen) return;
    CLeakCheckPause pause;
    Dispatch(effEditOpen, 0, 0, nativeWindow);
    m_editorOpen = true;
}

void CVSTAdapter::CloseEditor() {
    if (!m_editorOpen) return;
    m_editorOpen = false;
    CLeakCheckPause pause;
    Dispatch(effEditClose);
}

void CVSTAdapter::EditorIdle() {
    if (!m_editorOpen) return;
    CLeakCheckPause pause;
    Dispatch(effEditIdle);
}

void CVSTAdapter::SetEditorLink(CVSTEditorLink* link) {
    std::lock_guard<std::mutex> lock(m_editorMutex);
    m_editor = link;
}

CVSTEditorLink* CVSTAdapter::EditorLink() {
    std::lock_guard<std::mutex> lock(m_editorMutex);
    return m_editor;
}

void CVSTAdapter::IdleStep() {
    if (m_needsIdle && Dispatch(effIdle) == 0) m_needsIdle = false;
    ReportSilenced();
}

// Position, tempo and transport as the song stands at the start of the buffer being rendered.
// A plug-in counts in quarter notes: the song's beat of four steps. The studio's tempo figure
// sets a step to 4/BPM seconds, so a beat lasts 16/BPM seconds and the plug-in is told
// 60 × BPM / 16 quarter notes a minute (120 at the tool bar's 32). Quarter notes and bars (of
// 4/4) are counted from the song's start at that tempo, so samplePos, ppqPos and tempo agree
// and a tempo-synced delay or arpeggio lands on the song's own beats. Without a transport (a
// machine outside the studio) the position is the host's sample counter and nothing plays.
VstTimeInfo* CVSTAdapter::TimeInfo(int32_t requestFlags) {
    std::memset(m_timeInfo, 0, sizeof m_timeInfo);
    auto* info = reinterpret_cast<VstTimeInfo*>(m_timeInfo);
    CVSTTransport::State transport;
    if (m_transport)
        transport = m_transport->Read();
    else
        transport.songSample = static_cast<uint32_t>(m_host->GetSampleCounter());
    const double tempo = QuarterNotesPerMinute(m_host->GetBPM());
    info->samplePos = static_cast<double>(transport.songSample);
    info->sampleRate = m_sampleRate;
    if (transport.playing) info->flags |= kVstTransportPlaying;
    if (transport.changed) info->flags |= kVstTransportChanged;
    if ((requestFlags & kVstTempoValid) != 0) {
        info->tempo = tempo;
        info->flags |= kVstTempoValid;
    }
    const double quarters = m_sampleRate > 0 ? info->samplePos / m_sampleRate * tempo / 60.0 : 0.0;
    if ((requestFlags & kVstPpqPosValid) != 0) {
        info->ppqPos = quarters;
        info->flags |= kVstPpqPosValid;
    }
    if ((requestFlags & kVstBarsValid) != 0) {
        info->barStartPos = 4.0 * std::floor(quarters / 4.0);
        info->flags |= kVstBarsValid;
    }
    if ((requestFlags & kVstTimeSigValid) != 0) {
        info->timeSigNumerator = 4;
        info->timeSigDenominator = 4;
        info->flags |= kVstTimeSigValid;
    }
    return info;
}

intptr_t CVSTAdapter::Answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    switch (opcode) {
    case audioMasterAutomate:
        m_host->ParameterChanged(this, index, opt);
        return 0;
    case audioMasterIdle:
    case audioMasterNeedIdle:
        m_needsIdle = true;
        return 0;
    case audioMasterWantMidi:
        m_wantsMidi = true;
        return 1;
    case audioMasterGetTime:
        return reinterpret_cast<intptr_t>(TimeInfo(static_cast<int32_t>(value)));
    case audioMasterTempoAt:
        return static_cast<intptr_t>(std::lround(QuarterNotesPerMinute(m_host->GetBPM()) * 10000.0));
    case audioMasterCanDo: {
        static const char* const kCanDo[] = {"sendVstEvents",    "sendVstMIDIEvent",    "sendVstTimeInfo",
                                             "receiveVstEvents", "receiveVstMIDIEvent", "receiveVstTimeInfo",
                                             "supplyIdle"};
        if (!ptr) return 0;
        for (const char* can : kCanDo)
            if (std::strcmp(static_cast<const char*>(ptr), can) == 0) return 1;
        return 0;
    }
    case audioMasterGetDirectory:
        return reinterpret_cast<intptr_t>(m_folder);
    case audioMasterSizeWindow: {
        // Held while the request is handed over, so the window cannot go meanwhile.
        std::lock_guard<std::mutex> lock(m_editorMutex);
        if (!m_editor || index <= 0 || value <= 0) return 0;
        m_editor->RequestSize(index, static_cast<int32_t>(value));
        return 1;
    }
    default:
        return 0;
    }
}

intptr_t CVSTAdapter::HostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                   float opt) {
    CVSTAdapter* adapter = effect ? reinterpret_cast<CVSTAdapter*>(effect->resvd1) : nullptr;
    CVeskHost* host = adapter ? adapter->m_host : CVSTAdapterList::s_creatingHost;
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterGetSampleRate:
        return host ? host->GetSampleRate() : 0;
    case audioMasterGetBlockSize:
        return host ? host->GetBufferSize() : 0;
    case audioMasterGetVendorString:
        if (ptr) std::snprintf(static_cast<char*>(ptr), 32, "%s", kVSTVendorString);
        return 0;
    default:
        break;
    }
    if (!effect) return 0;
    if (adapter) return adapter->Answer(opcode, index, value, ptr, opt);
    // Not bound yet: find the adapter by its AEffect.
    CVSTAdapterList& list = CVSTAdapterList::Get();
    CMutexLock lock(list.m_mutex);
    adapter = list.Find(effect);
    if (!adapter) return 0;
    CMutexLock adapterLock(*adapter);
    return adapter->Answer(opcode, index, value, ptr, opt);
}
