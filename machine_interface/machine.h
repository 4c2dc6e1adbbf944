// The machine model shared by the studio program and every machine library: CMachine, its
// programs and descriptor (CMachineInfo), and the host's per-machine context.
//
// Both sides are built from this one declaration; the host reads the public fields directly, so
// their order is part of the contract. Objects are destroyed inside the module that made them:
// the host calls Delete on machines and descriptors, never delete.
//
// Threads: the processing cycle calls Process/ProcessLate on the machine's worker thread with the
// machine locked; panels and editors call parameter and program operations on the user-interface
// thread; the graphics thread calls UpdateGUI about every 10 ms. Each operation below says its
// caller's thread, the lock held and the units and ranges of its values. Lock order: the studio
// mutex, the sequencer's editor mutex, machine locks; a machine never takes the studio's locks.
#pragma once

#include "machine_interface/audio_buffer.h"
#include "machine_interface/bank_client.h"
#include "machine_interface/control_buffer.h"
#include "machine_interface/port.h"

#include <cstdint>

class CMachine;
class CVeskHost;

// Opaque window handle (a QWidget* in the studio); machines create panels inside it.
using WindowHandle = void*;

// One program of a machine: a name and one value (0..1) per parameter.
struct Program {
    int32_t valueCount;
    float* values;
    char name[256];
};

// The host's per-machine record (the machine's frame in the studio). Machines never look inside;
// the host services route parameter changes through it.
class CHostContext {
public:
    virtual ~CHostContext() = default;
    // Any thread (the caller's: the UI for panels, a worker for parameter events, the plug-in
    // idle thread for plug-in editors), with whatever lock the caller holds: applies value 0..1
    // to parameter index (SetParameter) and gets the parameter's views refreshed later on the UI
    // thread. Must not allocate or take the studio's locks.
    virtual void ApplyParameter(CMachine* machine, int32_t index, float value) = 0;
};

class CMachine : public CBankClient {
public:
    // Threads, in the words used below:
    //   UI        the user-interface thread (editing, panels, project load and save);
    //   worker    the processing thread the cycle renders this machine on (its frame's worker, or
    //             the thread that pulled it), with the machine locked;
    //   graphics  the graphics thread (or the offline renderer between buffers), studio mutex held;
    //   any       whichever thread the caller is on.
    // "locked" means the host holds this machine's Lock. The host never calls two operations of
    // one machine at once except where a lock says so: Process/ProcessLate run locked; cable,
    // buffer-size and program changes take the lock on the UI thread; parameter operations from
    // panels and editors run on the UI thread without it (a machine that shares parameter state
    // with Process guards it itself, or makes it atomic). Parameter values are 0..1 everywhere;
    // texts are 64-byte buffers the caller owns.
    explicit CMachine(CVeskHost* host);
    // Frees the name, the ports and the programs (all made in this module). Reached through
    // Delete only.
    ~CMachine() override;

    // UI, studio mutex held, not locked: destroys the machine inside its own module, after its
    // cables are gone and its worker has stopped.
    virtual void Delete() = 0;
    // Worker, locked, once per buffer after every ordinary input is mixed: drain the control
    // inputs (GetNextEvent), read the input buffers, fill every output buffer (frames = the
    // buffer length). Must not allocate, block on anything but its own lock, or call the studio.
    virtual void Process() = 0;
    // Worker, locked, right after Process, once the return inputs (send/return flag) are mixed;
    // only for machines with return inputs. Same rules as Process.
    virtual void ProcessLate();
    // Any (never called by the studio host itself): a machine with its own panel writes 0, 0,
    // width, height in pixels and returns true.
    virtual bool GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom);
    // UI, not locked, once, when the frame's "GUI Container" window exists: the machine's own
    // panel as a child of parent, or null for none (then only the default parameter panel).
    // Stock machines make theirs through the panel factory of their module (panel_factory.h).
    virtual WindowHandle CreateGUI(WindowHandle parent);
    // UI, not locked: the own panel has just been made visible (after the frame entered panel
    // mode 2).
    virtual void OnGUIShown();
    // UI, not locked: the own panel is about to be hidden (before the frame leaves mode 2).
    virtual void OnGUIHidden();
    // Graphics, studio mutex held, not locked, about every 10 ms: refresh meters and moving
    // values of the panel. Panels must hand widget work to the UI thread (a dirty flag read by
    // their timer), never touch widgets here.
    virtual void UpdateGUI();
    // Any (UI for panels and editors; worker inside Process): the current value 0..1 of
    // parameter index (0 .. parameter count - 1).
    virtual float GetParameter(int32_t index);
    // UI (panels, editors, Randomize, program choice under the lock) or worker (parameter
    // events, locked): apply value 0..1 to parameter index. Base: stores it into the current
    // program. Overrides call the base to keep the program current.
    virtual void SetParameter(int32_t index, float value);
    // Any: a change the machine makes itself (its own panel on UI, a parameter event on the
    // worker): tells the host (ParameterChanged, which applies it through the frame and queues
    // news for the views without allocating), then SetParameter.
    virtual void AutomateParameter(int32_t index, float value);
    // UI: the parameter's name.
    virtual void GetParameterName(int32_t index, char* text);
    // UI or graphics: the current value's display text (FormatParameter of GetParameter).
    virtual void GetParameterDisplay(int32_t index, char* text);
    // UI: the display text of any value 0..1 (the control-track editor shows values not current).
    virtual void FormatParameter(int32_t index, float value, char* text);
    // UI: the name of note row note (0 .. named-note count - 1) of a drum machine.
    virtual void GetNoteName(int32_t note, char* text);
    // UI, locked (the frame's program choice takes the lock): program index (0 .. program count
    // - 1) becomes current and its values are applied through SetParameter.
    virtual void SetProgram(int32_t index);
    // UI: the current program's name (256-byte buffer).
    virtual void GetProgramName(char* text);
    // UI: renames the current program (up to 255 characters kept).
    virtual void SetProgramName(const char* text);
    // UI: the name of program index; leaves the text untouched when index >= program count.
    virtual void GetProgramNameIndexed(int32_t index, char* text);
    // UI: the current program's index.
    virtual int32_t GetProgram();
    // UI, studio mutex held, no buffer rendering: frames per second (8000 .. 192000) of the
    // output driver; called for every machine when the driver's rate changes.
    virtual void SetSampleRate(int32_t rate) = 0;
    // UI, studio mutex held, locked: frames per buffer (1 .. 8192), right after
    // ResizePortBuffers.
    virtual void SetBufferSize(int32_t frames) = 0;
    // UI, studio mutex held, locked: Resize(frames) on every audio port's buffer.
    virtual void ResizePortBuffers(int32_t frames);
    // The thread that loads a program (UI, locked): depth + 1 while a program's values are
    // being applied, so the machine can skip per-parameter work until EndProgramLoad.
    virtual void BeginProgramLoad();
    virtual void EndProgramLoad();
    // UI: replaces the instance name by an owned copy.
    virtual void SetName(const char* name);
    // Any: the instance name (owned by the machine; valid until the next SetName).
    virtual const char* GetName();
    // UI, once, before anything else touches a machine being loaded (before its frame exists):
    // restores a block made by GetState (a parameter list when the flag is true). size in bytes.
    virtual void SetState(const void* data, int32_t size, bool parameterList);
    // UI (project save), not locked. Base: a parameter list ("hPbT", count, values). The block
    // belongs to the machine and stays valid until the next GetState or the machine's
    // destruction; the host only reads it.
    virtual void GetState(const void** data, int32_t* size, bool* parameterList);
    // Any: true for instruments (sound sources), false for effects and utility machines.
    virtual bool IsGenerator() = 0;

    // Fields shared with the host, in this order.
    CPort** m_ports = nullptr;
    int32_t m_portCount = 0;
    int32_t m_parameterCount = 0;
    int32_t m_programCount = 0;
    int32_t m_currentProgram = 0;
    int32_t m_namedNoteCount = 0;  // > 0: drum rows named by GetNoteName; trigger events
    CHostContext* m_hostContext = nullptr;
    void* m_reserved1 = nullptr;
    CVeskHost* m_host = nullptr;
    int32_t m_reserved2 = 0;
    int32_t m_projectIndex = 0;
    char* m_name = nullptr;
    Program** m_programs = nullptr;
    int32_t m_programLoadDepth = 0;

protected:
    // Appends a port to the table (constructor or a port rebuild); returns it.
    CPort* AddPort(int32_t flags, const char* name);
    // Deletes every port and empties the table.
    void DeletePorts();
    // Builds count programs from the current parameter values: "Default" when count is 1,
    // else "Program %03i" numbered from 0.
    void CreatePrograms(int32_t count);
    // A machine-owned block of at least size bytes for GetState (kept until the next call).
    void* StateBlock(int32_t size);

private:
    void DeletePrograms();

    void* m_stateBlock = nullptr;
    int32_t m_stateCapacity = 0;
};

// The parameter-list state block: magic "hPbT", count, then count float values.
constexpr char kParameterListMagic[4] = {'h', 'P', 'b', 'T'};

class CMachineInfo {
public:
    CMachineInfo() = default;
    CMachineInfo(const char* displayName, const char* identifier) : m_displayName(displayName), m_identifier(identifier) {}
    virtual ~CMachineInfo() = default;
    CMachineInfo(const CMachineInfo&) = delete;
    CMachineInfo& operator=(const CMachineInfo&) = delete;

    // UI, at shut-down: destroys the descriptor inside its own module.
    virtual void Delete() = 0;
    // UI (add-machine command, project load), studio mutex may be held: a new machine of this
    // type with the host services the descriptor holds. Raises (throws) when it cannot be made.
    virtual CMachine* CreateMachine() = 0;

    const char* m_displayName = "New Machine";  // static texts, not owned
    const char* m_identifier = "";
    const void* m_smallIcon = nullptr;  // 16x16 picture, null for the program's default
    const void* m_largeIcon = nullptr;  // 32x32 picture, null for the program's default
};

// A descriptor whose machine class takes the host services in its constructor and that is
// destroyed with plain delete in the module that instantiates the template.
template <typename Machine>
class CSimpleMachineInfo : public CMachineInfo {
public:
    CSimpleMachineInfo(CVeskHost* host, const char* displayName, const char* identifier)
        : CMachineInfo(displayName, identifier), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new Machine(m_host); }

    CVeskHost* m_host;
};
