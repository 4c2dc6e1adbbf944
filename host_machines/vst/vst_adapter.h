// The VST adapter: every VST 2 plug-in library found by the scan becomes one machine type
// (CVSTAdapterInfo); each machine of it (CVSTAdapter) owns one plug-in instance and translates
// the machine operations into calls of the plug-in's dispatcher, process and parameter entries.
//
// Threads and locks: the processing cycle calls Process with the machine locked; the idle thread
// (CVSTIdleThread, one for all adapters) takes the global adapter-list mutex, then each adapter's
// lock, every 10 ms; the user-interface thread creates and destroys adapters (holding the list
// mutex while linking them in) and changes parameters. Plug-in callbacks run on whichever thread
// called into the plug-in and take no extra lock once the plug-in is bound to its adapter.
#pragma once

#include "host_machines/vst/vst_abi.h"
#include "host_machines/vst/vst_cache.h"
#include "machine_interface/machine.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CVSTAdapter;
class CVSTTransport;

// What the open editor window of an adapter offers it. The window lives on the user-interface
// thread; the adapter never touches it there itself.
class CVSTEditorLink {
public:
    virtual ~CVSTEditorLink() = default;
    virtual WindowHandle Window() = 0;
    // The plug-in asked for a new size (audioMasterSizeWindow) on whichever thread it called from;
    // the window takes it on the user-interface thread. Never blocks.
    virtual void RequestSize(int32_t width, int32_t height) = 0;
    // The adapter is going and has closed the plug-in's editor: the window forgets the adapter and
    // goes (at once on the user-interface thread, else as soon as that thread gets to it).
    virtual void ClosePanel() = 0;
};

// The maker's vendor string answered to plug-ins (at most 31 characters).
constexpr const char* kVSTVendorString = "Tamborel Studio";

class CVSTAdapterInfo : public CMachineInfo {
public:
    // Takes over the loaded library (a dlopen handle; it stays loaded for the process). The display
    // name is the library's file name without its extension; folder is where it was found.
    // Builds a temporary adapter to learn the plug-in's uniqueID for the identifier.
    CVSTAdapterInfo(CVeskHost* host, void* library, vst::EntryProc entry, bool foundAsPluginMain,
                    const std::string& displayName, const std::string& folder);
    // A plug-in known from the scan's trial or the cache: nothing is loaded until the first
    // machine is made. libraryPath is the file to load; the facts give the identifier.
    CVSTAdapterInfo(CVeskHost* host, const VSTLibraryFacts& facts, const std::string& libraryPath,
                    const std::string& displayName, const std::string& folder);
    // Every adapter of this type must be gone first.
    ~CVSTAdapterInfo() override;
    void Delete() override { delete this; }
    // Loads the library first when it is not loaded yet (user-interface thread); raises "VST
    // PlugIn Library '%s' Failed To Load (%s)" when that fails.
    CMachine* CreateMachine() override;

    // "VST::" then the low four bits of each uniqueID byte (least significant first) as raw
    // values 0..15, then a zero: 10 bytes, read as text it ends at the first zero nibble.
    static void BuildIdentifier(int32_t uniqueId, char identifier[10]);

    const std::string& Folder() const { return m_folder; }
    int32_t UniqueId() const { return m_uniqueId; }
    bool FoundAsPluginMain() const { return m_foundAsPluginMain; }
    // What the scan learned (a descriptor made from a loaded library knows only its unique ID).
    const VSTLibraryFacts& Facts() const { return m_facts; }
    const std::string& LibraryPath() const { return m_libraryPath; }
    bool IsLoaded() const { return m_entry != nullptr; }
    // Machines made from now on tell their plug-ins this transport.
    void SetTransport(const CVSTTransport* transport) { m_transport = transport; }

    // Plug-in libraries loaded into this process so far (a start that needs one loads one).
    static int32_t LoadedLibraryCount();

private:
    void LoadLibrary();

    CVeskHost* m_host;
    void* m_library;
    vst::EntryProc m_entry;
    bool m_foundAsPluginMain;
    std::string m_name;
    std::string m_folder; // ends with "/"
    std::string m_libraryPath;
    VSTLibraryFacts m_facts;
    const CVSTTransport* m_transport = nullptr;
    char m_identifierBytes[10] = {};
    int32_t m_uniqueId = 0;
};

class CVSTAdapter : public CMachine {
public:
    // Creates, opens, switches on and starts the plug-in instance and builds the ports. name is the
    // plug-in's, for messages; transport (may be null) is what audioMasterGetTime answers from.
    CVSTAdapter(CVeskHost* host, vst::EntryProc entry, const char* folder, const char* name = "",
                const CVSTTransport* transport = nullptr);
    // Stops, switches off and closes the plug-in; unlinks from the adapter list.
    ~CVSTAdapter() override;
    void Delete() override { delete this; }
    void Process() override;
    float GetParameter(int32_t index) override;
    void SetParameter(int32_t index, float value) override;
    void GetParameterName(int32_t index, char* text) override;
    void GetParameterDisplay(int32_t index, char* text) override;
    void SetProgram(int32_t index) override;
    int32_t GetProgram() override;
    void GetProgramName(char* text) override;
    void SetProgramName(const char* text) override;
    void GetProgramNameIndexed(int32_t index, char* text) override;
    void SetSampleRate(int32_t rate) override;
    void SetBufferSize(int32_t frames) override;
    // The plug-in's chunk of its current program (memory stays the plug-in's). A plug-in
    // without chunks gives the parameter list instead, so its settings are still saved.
    void GetState(const void** data, int32_t* size, bool* parameterList) override;
    void SetState(const void* data, int32_t size, bool parameterList) override;
    bool IsGenerator() override;
    // The editor window, made by the program's panel factory on the first request (none without
    // an X11 display, headless, or for a plug-in without an editor) and returned again afterwards.
    WindowHandle CreateGUI(WindowHandle parent) override;
    // The editor's size as the plug-in reports it (effEditGetRect), at (0, 0).
    bool GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) override;
    // The frame stops showing the editor: the plug-in's editor is closed before its window hides.
    void OnGUIHidden() override { CloseEditor(); }

    // ---- the editor, for its window (user-interface thread) ----
    // Whether the plug-in has an editor (effFlagsHasEditor).
    bool HasEditor() const;
    // The editor's width and height in pixels: false when the plug-in has no editor or reports
    // no (or an empty) rectangle. Many plug-ins report it only once their editor is open.
    bool EditorSize(int32_t* width, int32_t* height);
    // Opens the plug-in's editor inside the native window (an X11 window id); nothing when it is
    // open already.
    void OpenEditor(void* nativeWindow);
    // effEditClose when the editor is open.
    void CloseEditor();
    bool EditorOpen() const { return m_editorOpen; }
    // effEditIdle while the editor is open: the window's timer calls it.
    void EditorIdle();
    // The editor window (null: none); registered by the window itself, not owned.
    void SetEditorLink(CVSTEditorLink* link);
    CVSTEditorLink* EditorLink();

    vst::AEffect* Effect() const { return m_effect; }
    bool WantsMidi() const { return m_wantsMidi; }
    // The plug-in's requests. Whichever thread called into the plug-in.
    intptr_t Answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    // One idle pass: effIdle while the plug-in asks for it, and the one message about silenced
    // output, once it is due. (effEditIdle is the editor window's, on the user-interface thread:
    // editors draw and read their X11 events there.)
    void IdleStep();
    // Buffers whose output held NaN or infinite samples and were replaced by silence.
    uint32_t SilencedBuffers() const { return m_silencedBuffers.load(std::memory_order_relaxed); }

    // The host callback handed to every plug-in.
    static intptr_t HostCallback(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                 void* ptr, float opt);

private:
    friend class CVSTAdapterList;

    intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    void BuildPorts();
    // Drains the control input: parameter changes go to the plug-in at once (at the buffer's
    // start), notes become this buffer's MIDI events.
    void ProcessEvents();
    // Silences every output when the plug-in wrote a NaN or an infinity into any of them.
    void GuardOutputs();
    void ReportSilenced();
    vst::VstTimeInfo* TimeInfo(int32_t requestFlags);

    vst::AEffect* m_effect = nullptr;
    int32_t m_blockSize;
    int32_t m_sampleRate;
    int32_t m_uniqueId = 0;
    const char* m_folder;
    std::string m_pluginName;
    const CVSTTransport* m_transport;
    CPort* m_controlIn = nullptr;
    std::vector<CPort*> m_inputPorts;
    std::vector<CPort*> m_outputPorts;
    std::vector<float*> m_inputChannels;  // one pointer per plug-in input
    std::vector<float*> m_outputChannels; // one pointer per plug-in output
    std::atomic<bool> m_wantsMidi{false};
    std::atomic<bool> m_needsIdle{false};
    std::atomic<bool> m_editorOpen{false};
    std::mutex m_editorMutex; // guards m_editor against a size request from a plug-in's thread
    CVSTEditorLink* m_editor = nullptr;
    std::atomic<uint32_t> m_silencedBuffers{0};
    std::atomic<bool> m_silenceReported{false};
    // The events of the current buffer; grown when a buffer brings more than ever before.
    std::vector<vst::VstMidiEvent> m_midiEvents;
    std::vector<intptr_t> m_eventList; // VstEvents header (2 words) and the pointers
    alignas(8) unsigned char m_timeInfo[96] = {};
    std::vector<uint8_t> m_stateCopy;
    CVSTAdapter* m_next = nullptr;
    CVSTAdapter* m_previous = nullptr;
};

// The ports a plug-in's machine gets, in port-table order, from its channel counts and whether
// it takes notes (it answered "receiveVstMIDIEvent" or is an instrument). The machine listing
// shows them from the cache without making a machine.
struct VSTPortPlan {
    std::string name;
    int32_t flags;
};
std::vector<VSTPortPlan> VSTPortLayout(int32_t inputs, int32_t outputs, bool takesMidi);

// Number of adapters alive (for tests and shut-down checks).
int32_t LiveVSTAdapterCount();

// Where messages about misbehaving plug-ins go (the idle thread or the user-interface thread);
// stderr when none is set. Set before any adapter exists.
void SetVSTMessageSink(std::function<void(const std::string&)> sink);
