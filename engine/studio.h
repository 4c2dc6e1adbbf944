// CStudio: the project's machines, the cables between them, and the processing cycle that renders
// one output buffer by pulling the master machine. The model lives in studio.cpp, the processing
// cycle in processing_cycle.cpp, the mixing of cables and of the master output in cable_mixing.
//
// Threads and locks:
// - User-interface thread: every editing operation (add, create frame, delete, rename, clear,
//   connect, disconnect, driver format changes). Each takes the studio mutex itself; Connect
//   and Disconnect also lock the two machines.
// - Driver thread: Render (through RenderCallback) holds the studio mutex and the sequencer's
//   editor mutex for the whole buffer and pulls the master. By default every machine renders on
//   that thread, sources before the machines that wait for them, with the machines along the
//   current path locked: no hand-over between threads, the same samples as the offline render.
//   With workers (SetSingleThreaded(false)) the sources are processed on their frames' worker
//   threads, each with only its own machine locked; a machine renders its last source on its own
//   thread (it would only wait otherwise): a chain runs on one thread, a fan on as many as it has
//   branches.
// - Graphics thread (or the offline renderer between buffers): UpdatePass, studio mutex held.
// Lock order: studio mutex, the sequencer's editor mutex, machine locks (a machine that renders
// a source on its own thread nests machine locks along the graph's waits). Never take the studio
// mutex (or the editor mutex) while holding a machine lock: the driver thread holds the studio
// mutex for a whole buffer and waits for machines, so that order deadlocks. A machine's own code
// (Process, its panel, its parameter operations) therefore never calls back into the studio's
// editing operations; what it has to tell the views goes through the notification queue.
//
// Observing the studio (views):
// - Observer(): frames added, removed (after they are destroyed), renamed, cables changed, the
//   studio cleared, a project loaded. Raised on the user-interface thread by the edit itself.
// - Each frame's listeners (CContainerListener): connectors and panel mode directly; parameter
//   changes, which any thread may raise, through the notification queue: posted without locks or
//   allocation, delivered on the user-interface thread by DeliverNotifications (its timer;
//   headless, the graphics thread or a test).
// - Changes(): the project change counter, raised by every edit.
#pragma once

#include "engine/change_counter.h"
#include "engine/clip_light.h"
#include "engine/cpu_load_meter.h"
#include "engine/machine_container.h"
#include "engine/notification_queue.h"
#include "engine/peak_meter.h"
#include "engine/source_pull.h"
#include "engine/studio_observer.h"
#include "engine/studio_sequencer.h"
#include "machine_interface/mutex.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CMachineInfo;
class CVeskHost;

// The engine's render callback type: (channel count, channel arrays, frames). The driver owns the
// arrays; the engine writes frames samples into each.
using RenderCallback = void (*)(int32_t channelCount, float** channels, int32_t frames);

// What went wrong while rendering. The buffer that failed renders silent; the next one tries
// again. Readable from any thread.
struct RenderErrorRecord {
    uint64_t count = 0;   // failed buffers since the studio was made
    std::string lastText; // the text of the most recent error
};

class CStudio {
public:
    static constexpr const char* kMasterName = "Master";

    explicit CStudio(CVeskHost* host);
    // Destroys every frame, head first, without disconnecting. The driver must be stopped (or
    // this studio no longer the render target).
    ~CStudio();
    CStudio(const CStudio&) = delete;
    CStudio& operator=(const CStudio&) = delete;

    CMutex& Mutex() { return m_mutex; }
    CVeskHost* Host() const { return m_host; }

    // The sequencer the studio tells of new, removed and cleared machines and format changes,
    // and whose Tick runs once per buffer. Null: those calls are skipped. Set with no buffer
    // rendering (user-interface thread, before the driver starts or under the studio mutex).
    void AttachSequencer(CStudioSequencer* sequencer);
    CStudioSequencer* Sequencer() const { return m_sequencer; }

    // --- Machine list (user-interface thread) ---
    int32_t MachineCount() const { return static_cast<int32_t>(m_frames.size()); }
    // In creation order.
    const std::vector<CMachineContainer*>& Frames() const { return m_frames; }
    CMachineContainer* MasterFrame() const { return m_master; }
    CMachineContainer* FindFrame(const char* name) const;
    CMachineContainer* FindFrame(const CMachine* machine) const;

    // Builds a frame for a machine made by the caller (CreateMachine of the descriptor), with an
    // optional saved state handed to SetState first, appends it, announces it to the sequencer and
    // makes it the master frame when it is named "Master". Takes the machine (deleted when the
    // frame cannot be built, the error is raised again).
    CMachineContainer* CreateFrame(CMachine* machine, CMachineInfo* info, const char* name, int32_t x,
                                   int32_t y, const void* state = nullptr, int32_t stateSize = 0,
                                   bool parameterList = true);
    // The add-machine command: creates a machine of the descriptor, names it "%s %i" with the
    // display name and the smallest free number from 1, builds its frame at (x, y).
    CMachineContainer* AddMachine(CMachineInfo* info, int32_t x, int32_t y);
    // The name AddMachine would give the next machine of this display name.
    std::string NextInstanceName(const char* displayName) const;
    // Clears the project and adds the master ("Master" at 32, 32) made from the registry's
    // descriptor named "Master".
    CMachineContainer* NewProject();
    // Removes every cable from the frame, unlinks it, tells the sequencer and destroys it.
    void DeleteMachine(CMachineContainer* frame);
    // When the text differs from the machine's name: SetName and a new instance name.
    void Rename(CMachineContainer* frame, const char* name);
    // Forgets the master, clears the sequencer, deletes every frame head first.
    void Clear();
    // Moves a frame on the studio surface (surface pixels).
    void MoveFrame(CMachineContainer* frame, int32_t x, int32_t y);
    // The tempo field: the host's beats per minute.
    void SetTempo(float bpm);
    // Puts a frame at a place in the machine list (clamped to the list), the others keeping their
    // order: an undone delete gives the machine back its old place, and with it the project
    // indices the file numbers machines by.
    void SetFrameIndex(CMachineContainer* frame, int32_t index);
    // Moves one cable of an input to another place among the input's cables (both indices inside
    // the list, else "Index Out Of Bounds"). The order is that of the mixing and of the file.
    void MoveCable(CConnector* input, int32_t from, int32_t to);

    // --- Observing (user-interface thread) ---
    CStudioObserver& Observer() { return m_observer; }
    CChangeCounter& Changes() { return m_changes; }
    // Delivers queued parameter news to the frames' listeners, oldest first, under the studio
    // mutex; news of a frame that is gone is dropped, and lost news (a full queue) becomes one
    // ParametersChanged for every frame. Returns the records handled. The user interface's timer
    // (headless: the graphics thread or a test).
    size_t DeliverNotifications();
    CNotificationQueue& Notifications() { return m_notifications; }
    // The thread whose parameter changes count as the user's edits: the one that made the
    // studio, unless set otherwise before other threads use the studio.
    void SetUserInterfaceThread(std::thread::id thread) { m_userInterfaceThread = thread; }
    bool OnUserInterfaceThread() const { return std::this_thread::get_id() == m_userInterfaceThread; }
    // A frame's machine took a new parameter value (CMachineContainer::ApplyParameter, any
    // thread): queued for the listeners; an edit when on the user-interface thread.
    void ParameterApplied(CMachineContainer* frame, int32_t index, float value);

    // --- Cables (user-interface thread) ---
    // The two connectors in either order. False, changing nothing, when either is missing, both
    // are on one machine, their kinds or directions do not fit, the pair is already joined, or
    // the cable would make a machine wait for itself (a cycle through ordinary ports).
    bool Connect(CConnector* first, CConnector* second, float volume = 1.0f);
    // Raises "Index Out Of Bounds" for an index outside the input's connections.
    void Disconnect(CConnector* input, int32_t index);
    // By the machines' project indices and port indices (project load).
    bool ConnectByIndices(int32_t sourceMachine, int32_t sourcePort, int32_t destinationMachine,
                          int32_t destinationPort, float volume);

    // --- Output driver format (user-interface thread, no buffer rendering concurrently) ---
    // Tells the sequencer (under its mutex), then every machine's SetSampleRate.
    void SetSampleRate(int32_t rate);
    // Tells the sequencer, then every machine: Lock, ResizePortBuffers, SetBufferSize, Unlock.
    void SetBufferSize(int32_t frames);
    // Binding of a driver: with the studio and the master locked the master rebuilds its ports,
    // the host services take the rate and size, every machine learns them, and the master frame
    // rebuilds its connectors (cables into the old master ports are gone).
    void ApplyDriverFormat(int32_t sampleRate, int32_t bufferSize);

    // --- Processing (driver thread) ---
    // One buffer into the channel arrays. Takes the studio mutex and the sequencer's editor mutex
    // itself. Live, it waits at most a quarter of the buffer's duration for each; a buffer that
    // cannot have them is silent and counted (SkippedBuffers). Offline (SetLiveDeadline(false))
    // it waits as long as it takes: a file never loses a buffer.
    void Render(int32_t channelCount, float** channels, int32_t frames);
    // The render callback every driver is handed: renders into the current render target, or
    // returns without touching the arrays when there is none.
    static void RenderCallback(int32_t channelCount, float** channels, int32_t frames);
    // The studio RenderCallback serves (null: none). User-interface thread.
    static void SetRenderTarget(CStudio* studio);
    static CStudio* RenderTarget();

    // The periodic machine update pass: every machine's UpdateGUI in list order, each under the
    // studio mutex (released between machines). Graphics thread or the offline renderer.
    void UpdatePass();

    // The master gain applied to the last frame of the last buffer (0 for a new studio).
    float MasterGain() const { return m_masterGain.load(std::memory_order_relaxed); }
    // The master volume the gain glides to (power ratio; 1.0 at start). Any thread.
    void SetMasterVolume(float target) { m_masterVolume.store(target, std::memory_order_relaxed); }
    float MasterVolume() const { return m_masterVolume.load(std::memory_order_relaxed); }
    CPeakMeterModel& PeakMeter() { return m_meter; }
    // Lit when the master output went beyond full scale in a buffer since the user cleared it.
    // Fed by Render; read and cleared on the user-interface thread.
    CClipLight& ClipLight() { return m_clipLight; }
    // The share of the buffer period each Render took, smoothed, and its peak. Fed by Render
    // (every call, live or offline); read on the user-interface thread.
    CCpuLoadMeter& CpuLoad() { return m_cpuLoad; }

    RenderErrorRecord RenderErrors() const;
    // Buffers rendered silent because the studio or the sequencer's editor stayed locked by
    // another thread for longer than a quarter of the buffer. Any thread.
    uint64_t SkippedBuffers() const { return m_skippedBuffers.load(std::memory_order_relaxed); }
    // Whether Render has a device waiting for it (true, the default) or renders to a file (false).
    // User-interface thread, before the driver starts.
    void SetLiveDeadline(bool live) { m_liveDeadline.store(live, std::memory_order_relaxed); }

    // With one thread (the default, live and offline), every machine renders on the thread that
    // calls Render: no worker hand-overs. False gives every machine a worker thread of its own
    // (started here and for every frame made later) that renders it when a consumer asks; the
    // same samples. User-interface thread; waits for the buffer in progress.
    void SetSingleThreaded(bool single);
    bool SingleThreaded() const { return m_singleThreaded; }

    // Processing internals, public for the request trampoline.
    void RunRequest(CMachineContainer* frame);

private:
    // The processing cycle (processing_cycle.cpp). ProcessFrame renders a frame with workers: its
    // sources (PullSources), Process, the sources behind its returns, ProcessLate.
    void ProcessFrame(CMachineContainer* frame, bool release);
    // One phase's sources of the frame (late: those behind its returns): every one is asked for
    // its buffer, the last rendered on this thread, the others awaited.
    void PullSources(CMachineContainer* frame, bool late);
    // The one-thread cycle: renders root and everything it waits for on the calling thread, in
    // the order ProcessFrame's recursion would, with an explicit stack instead of recursion (no
    // depth limit). Root's machine is locked by the caller; the others are locked while on the
    // stack.
    void ProcessInline(CMachineContainer* root);
    // Fills the control and audio inputs from the cables and runs Process. True when the machine
    // has returns (a late phase follows).
    bool MixInputsAndProcess(CMachineContainer* frame);
    // Mixes the returns' cables into the return ports and runs ProcessLate.
    void MixReturnsAndProcessLate(CMachineContainer* frame);
    // Asks for a source's buffer: queued on its worker, or rendered here with one thread.
    void Request(CMachineContainer* source);
    void PostRequest(CMachineContainer* source);
    // Renders a source on the calling thread (the one that would otherwise wait for it).
    void ProcessHere(CMachineContainer* source);
    static constexpr int kMaxInlineDepth = 128;
    void RecordError(const char* text);
    // Runs machine code for the cycle or the update pass: what it throws is recorded (the buffer
    // renders silent) and the caller goes on. unknownText is recorded for what is no exception.
    template <class Work> void Guarded(Work&& work, const char* unknownText);
    // A studio being destroyed stops being the render target (if it was).
    static void ForgetRenderTarget(CStudio* studio);

    // The model (studio.cpp).
    bool WouldWaitForItself(CMachineContainer* waiter, CMachineContainer* source) const;
    void RemoveCablesFrom(CMachineContainer* frame);
    // A cable was added or removed: one CablesChanged per edit (a batch reports once at its end).
    void CablesEdited();
    void BeginCableBatch() { ++m_cableBatch; }
    void EndCableBatch();

    CVeskHost* m_host;
    CMutex m_mutex;
    std::vector<CMachineContainer*> m_frames;
    CMachineContainer* m_master = nullptr;
    CStudioSequencer* m_sequencer = nullptr;

    std::atomic<float> m_masterGain{0.0f};
    std::atomic<float> m_masterVolume{1.0f};
    CPeakMeterModel m_meter;
    CClipLight m_clipLight;
    CCpuLoadMeter m_cpuLoad;

    CStudioObserver m_observer;
    CChangeCounter m_changes;
    CNotificationQueue m_notifications;
    std::thread::id m_userInterfaceThread = std::this_thread::get_id();
    int32_t m_cableBatch = 0;
    bool m_cablesEditedInBatch = false;

    bool m_singleThreaded = true;
    // ProcessInline's stack: reserved for every frame when frames are made, so the driver thread
    // never grows it (each frame is on it at most once).
    struct InlineStep {
        CMachineContainer* frame;
        bool late;            // gathering the sources of the returns, Process done
        SourceCursor sources; // where the gathering goes on
    };
    std::vector<InlineStep> m_inlineStack;
    std::atomic<bool> m_bufferFailed{false};
    std::atomic<uint64_t> m_skippedBuffers{0};
    std::atomic<bool> m_liveDeadline{true};
    mutable std::mutex m_errorMutex;
    uint64_t m_errorCount = 0;
    char m_errorText[512] = {};
};
