// The machine model shared by the studio program and every machine library: CMachine, its
// programs and descriptor (CMachineInfo), and the host's per-machine context.
//
// Both sides are built from this one declaration; the host reads the public fields directly, so
// their order is part of the contract. Objects are destroyed inside the module that made them:
// the host calls Delete on machines and descriptors, never delete.
//
// Threads: the processing cycle calls Process/ProcessLate on the machine's worker thread with the
// machine locked; panels and editors call parameter and program operations on the user-interface
// thread; the graphics thread calls UpdateGUI about every 10 ms.
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
    // Applies a parameter change reported by the machine (SetParameter) and refreshes the
    // parameter's view. Runs on the caller's thread.
    virtual void ApplyParameter(CMachine* machine, int32_t index, float value) = 0;
};

class CMachine : public CBankClient {
public:
    explicit CMachine(CVeskHost* host);
    // Frees the name, the ports and the programs (all made in this module).
    ~CMachine() override;

    // Destroys the machine inside its own module. Host, user-interface thread.
    virtual void Delete() = 0;
    // Renders one buffer: drain control inputs, read inputs, fill outputs. Worker thread, locked.
    virtual void Process() = 0;
    // Second phase for machines with return inputs, after those are mixed. Worker thread, locked.
    virtual void ProcessLate();
    // A machine with its own panel writes 0, 0, width, height and returns true.
    virtual bool GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom);
    // Creates the machine's own panel inside the parent, or null for none. User-interface thread.
    virtual WindowHandle CreateGUI(WindowHandle parent);
    virtual void OnGUIShown();
    virtual void OnGUIHidden();
    // Graphics thread (or the offline renderer between buffers), about every 10 ms, with the
    // studio mutex held.
    virtual void UpdateGUI();
    // Parameter values are 0..1. Texts are 64-byte buffers.
    virtual float GetParameter(int32_t index);
    // Base: stores the value into the current program.
    virtual void SetParameter(int32_t index, float value);
    // Tells the host (ParameterChanged), then SetParameter.
    virtual void AutomateParameter(int32_t index, float value);
    virtual void GetParameterName(int32_t index, char* text);
    virtual void GetParameterDisplay(int32_t index, char* text);
    virtual void FormatParameter(int32_t index, float value, char* text);
    virtual void GetNoteName(int32_t note, char* text);
    virtual void SetProgram(int32_t index);
    virtual void GetProgramName(char* text);
    virtual void SetProgramName(const char* text);
    // Leaves the text untouched when index >= program count.
    virtual void GetProgramNameIndexed(int32_t index, char* text);
    virtual int32_t GetProgram();
    // Frames per second; called for every machine when the driver's rate changes.
    virtual void SetSampleRate(int32_t rate) = 0;
    // Frames per buffer; called right after ResizePortBuffers.
    virtual void SetBufferSize(int32_t frames) = 0;
    virtual void ResizePortBuffers(int32_t frames);
    virtual void BeginProgramLoad();
    virtual void EndProgramLoad();
    virtual void SetName(const char* name);
    virtual const char* GetName();
    // Restores a block made by GetState (parameter list when the flag is true).
    virtual void SetState(const void* data, int32_t size, bool parameterList);
    // Base: a parameter list ("hPbT", count, values). The block belongs to the machine and stays
    // valid until the next GetState or the machine's destruction; the host only reads it.
    virtual void GetState(const void** data, int32_t* size, bool* parameterList);
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

    // Destroys the descriptor inside its own module; the host calls it at shut-down.
    virtual void Delete() = 0;
    // A new machine of this type with the host services the descriptor holds.
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
