// The studio model: the machine list and its frames, the cables (and the refusal of a cable that
// would make a machine wait for itself), instance names and the driver's format. The processing
// cycle is in processing_cycle.cpp, the news of edits in studio_notifications.cpp.
#include "engine/studio.h"

#include "engine/master.h"
#include "engine/source_pull.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"

#include <algorithm>
#include <cstring>

CStudio::CStudio(CVeskHost* host) : m_host(host) {}

CStudio::~CStudio() {
    ForgetRenderTarget(this);
    CMutexLock lock(m_mutex);
    m_master = nullptr;
    for (CMachineContainer* frame : m_frames)
        delete frame;
    m_frames.clear();
}

void CStudio::AttachSequencer(CStudioSequencer* sequencer) {
    CMutexLock lock(m_mutex);
    if (m_sequencer && m_sequencer != sequencer) m_sequencer->SetChangeCounter(nullptr);
    m_sequencer = sequencer;
    if (m_sequencer) m_sequencer->SetChangeCounter(&m_changes);
}

CMachineContainer* CStudio::FindFrame(const char* name) const {
    for (CMachineContainer* frame : m_frames)
        if (frame->m_name == name) return frame;
    return nullptr;
}

CMachineContainer* CStudio::FindFrame(const CMachine* machine) const {
    for (CMachineContainer* frame : m_frames)
        if (frame->Machine() == machine) return frame;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Machine list

CMachineContainer* CStudio::CreateFrame(CMachine* machine, CMachineInfo* info, const char* name, int32_t x,
                                        int32_t y, const void* state, int32_t stateSize, bool parameterList) {
    CMachineContainer* frame = nullptr;
    try {
        frame = new CMachineContainer(this, machine, info, name, x, y, state, stateSize, parameterList);
    } catch (...) {
        machine->Delete();
        throw;
    }
    CMutexLock lock(m_mutex);
    m_frames.push_back(frame);
    m_inlineStack.reserve(m_frames.size());
    if (!m_singleThreaded) frame->StartWorker();
    if (m_sequencer) m_sequencer->MachineAdded(machine);
    // Compared over seven bytes: only exactly "Master" names the master frame.
    if (name && std::strncmp(name, kMasterName, 7) == 0) m_master = frame;
    m_changes.Raise();
    m_observer.FrameAdded(frame);
    return frame;
}

std::string CStudio::NextInstanceName(const char* displayName) const {
    for (int32_t number = 1;; ++number) {
        const std::string candidate = platform::FormatText("%s %i", displayName, number);
        if (!FindFrame(candidate.c_str())) return candidate;
    }
}

CMachineContainer* CStudio::AddMachine(CMachineInfo* info, int32_t x, int32_t y) {
    CMutexLock lock(m_mutex);
    const std::string name = NextInstanceName(info->m_displayName);
    return CreateFrame(info->CreateMachine(), info, name.c_str(), x, y);
}

CMachineContainer* CStudio::NewProject() {
    CMutexLock lock(m_mutex);
    Clear();
    CMachineInfo* info = m_host->Registry()->FindByName(kMasterName);
    return CreateFrame(info->CreateMachine(), info, kMasterName, 32, 32);
}

void CStudio::RemoveCablesFrom(CMachineContainer* frame) {
    for (CMachineContainer* other : m_frames) {
        for (int32_t c = 0; c < other->ConnectorCount(); ++c) {
            CConnector* input = other->Connector(c);
            int32_t index = 0;
            while (index < input->m_connections.Count()) {
                if (input->m_connections[index]->m_source->m_frame == frame)
                    Disconnect(input, index);
                else
                    ++index;
            }
        }
    }
}

void CStudio::DeleteMachine(CMachineContainer* frame) {
    CMutexLock lock(m_mutex);
    const auto position = std::find(m_frames.begin(), m_frames.end(), frame);
    if (position == m_frames.end()) return;
    BeginCableBatch();
    RemoveCablesFrom(frame);
    // The frame's own incoming cables go through Disconnect too, so their sources' fan-out
    // counts (and "Out" lamps) stay true.
    for (int32_t c = 0; c < frame->ConnectorCount(); ++c) {
        CConnector* input = frame->Connector(c);
        while (input->m_connections.Count() > 0)
            Disconnect(input, input->m_connections.Count() - 1);
    }
    m_frames.erase(position);
    if (m_master == frame) m_master = nullptr;
    if (m_sequencer) m_sequencer->MachineRemoved(frame->Machine());
    // Views hear of the frame only once it and its machine are gone, so none keeps a panel of a
    // machine being destroyed.
    const RemovedFrame gone{frame, frame->Serial(), frame->m_name};
    delete frame;
    m_changes.Raise();
    m_observer.FrameRemoved(gone);
    EndCableBatch();
}

void CStudio::Rename(CMachineContainer* frame, const char* name) {
    CMachine* machine = frame->Machine();
    const char* current = machine->GetName();
    if (current && std::strcmp(current, name) == 0) return;
    machine->SetName(name);
    frame->m_name = name;
    m_changes.Raise();
    m_observer.FrameRenamed(frame);
}

void CStudio::SetFrameIndex(CMachineContainer* frame, int32_t index) {
    CMutexLock lock(m_mutex);
    const auto position = std::find(m_frames.begin(), m_frames.end(), frame);
    if (position == m_frames.end()) return;
    m_frames.erase(position);
    index = std::clamp(index, 0, static_cast<int32_t>(m_frames.size()));
    m_frames.insert(m_frames.begin() + index, frame);
    m_changes.Raise();
}

void CStudio::MoveCable(CConnector* input, int32_t from, int32_t to) {
    CMutexLock lock(m_mutex);
    const int32_t count = input->m_connections.Count();
    if (from < 0 || from >= count || to < 0 || to >= count) platform::Raise("Index Out Of Bounds");
    if (from == to) return;
    CConnection* cable = input->m_connections.RemoveItem(from);
    input->m_connections.Insert(to, cable);
    m_changes.Raise();
}

void CStudio::Clear() {
    CMutexLock lock(m_mutex);
    m_master = nullptr;
    if (m_sequencer) {
        CMutexLock editor(m_sequencer->EditorMutex());
        m_sequencer->Clear();
    }
    BeginCableBatch();
    while (!m_frames.empty())
        DeleteMachine(m_frames.front());
    EndCableBatch();
    m_changes.Raise();
    m_observer.StudioCleared();
}

// ---------------------------------------------------------------------------------------------
// Cables

bool CStudio::WouldWaitForItself(CMachineContainer* waiter, CMachineContainer* source) const {
    // Does source already wait (through any chain of waits) for waiter?
    std::vector<CMachineContainer*> pending{source};
    std::vector<CMachineContainer*> seen;
    while (!pending.empty()) {
        CMachineContainer* frame = pending.back();
        pending.pop_back();
        if (frame == waiter) return true;
        if (std::find(seen.begin(), seen.end(), frame) != seen.end()) continue;
        seen.push_back(frame);
        // Both phases: a wait through a return blocks as surely as one through an ordinary input.
        for (const bool late : {false, true}) {
            SourceCursor cursor;
            while (CMachineContainer* next = NextSource(frame, late, cursor))
                pending.push_back(next);
        }
    }
    return false;
}

bool CStudio::Connect(CConnector* first, CConnector* second, float volume) {
    if (!first || !second || first->m_frame == second->m_frame) return false;
    const CPort* a = first->m_port;
    const CPort* b = second->m_port;
    if ((a->m_flags & (kPortAudio | kPortControl)) != (b->m_flags & (kPortAudio | kPortControl)))
        return false;
    if (a->IsOutput() == b->IsOutput() || a->IsInput() == b->IsInput()) return false;
    CConnector* output = a->IsOutput() ? first : second;
    CConnector* input = a->IsOutput() ? second : first;

    CMutexLock lock(m_mutex);
    for (const CConnection* connection : input->m_connections)
        if (connection->m_source == output) return false;
    if (CableWaits(output->m_port, input->m_port) && WouldWaitForItself(input->m_frame, output->m_frame))
        return false;

    // Both machines are locked so the cable never appears in the middle of their processing.
    // They are taken in the order the processing cycle nests them when a machine renders a
    // source on its own thread: the waiting machine first (a send's owner before the effect it
    // feeds), so machine locks always nest along the graph's waits, which has no cycles.
    const bool waits = CableWaits(output->m_port, input->m_port);
    CMachine* outer = waits ? input->m_frame->Machine() : output->m_frame->Machine();
    CMachine* inner = waits ? output->m_frame->Machine() : input->m_frame->Machine();
    outer->Lock();
    inner->Lock();
    input->m_connections.Add(new CConnection(output, input, volume));
    ++output->m_fanOut;
    ++input->m_fanIn;
    inner->Unlock();
    outer->Unlock();
    output->m_frame->NotifyConnectorsChanged();
    input->m_frame->NotifyConnectorsChanged();
    CablesEdited();
    return true;
}

void CStudio::Disconnect(CConnector* input, int32_t index) {
    CMutexLock lock(m_mutex);
    if (index < 0 || index >= input->m_connections.Count()) platform::Raise("Index Out Of Bounds");
    CConnection* connection = input->m_connections.RemoveItem(index);
    CConnector* source = connection->m_source;
    delete connection;
    --source->m_fanOut;
    --input->m_fanIn;
    source->m_frame->NotifyConnectorsChanged();
    input->m_frame->NotifyConnectorsChanged();
    CablesEdited();
}

bool CStudio::ConnectByIndices(int32_t sourceMachine, int32_t sourcePort, int32_t destinationMachine,
                               int32_t destinationPort, float volume) {
    CMutexLock lock(m_mutex);
    auto connectorOf = [this](int32_t machineIndex, int32_t portIndex) -> CConnector* {
        for (CMachineContainer* frame : m_frames)
            if (frame->Machine()->m_projectIndex == machineIndex) return frame->Connector(portIndex);
        return nullptr;
    };
    return Connect(connectorOf(sourceMachine, sourcePort), connectorOf(destinationMachine, destinationPort),
                   volume);
}

// ---------------------------------------------------------------------------------------------
// Output driver format

void CStudio::SetSampleRate(int32_t rate) {
    CMutexLock lock(m_mutex);
    if (m_sequencer) {
        CMutexLock editor(m_sequencer->EditorMutex());
        m_sequencer->SampleRateChanged(rate);
    }
    for (CMachineContainer* frame : m_frames)
        frame->Machine()->SetSampleRate(rate);
}

void CStudio::SetBufferSize(int32_t frames) {
    CMutexLock lock(m_mutex);
    if (m_sequencer) {
        CMutexLock editor(m_sequencer->EditorMutex());
        m_sequencer->BufferSizeChanged(frames);
    }
    for (CMachineContainer* frame : m_frames) {
        CMachine* machine = frame->Machine();
        CMutexLock machineLock(*machine);
        machine->ResizePortBuffers(frames);
        machine->SetBufferSize(frames);
    }
}

void CStudio::ApplyDriverFormat(int32_t sampleRate, int32_t bufferSize) {
    CMutexLock lock(m_mutex);
    // The sequencer's mutex comes before any machine lock, here as in every buffer.
    COptionalMutexLock editor(m_sequencer ? &m_sequencer->EditorMutex() : nullptr);
    CMachineContainer* masterFrame = m_master;
    CMaster* master = masterFrame ? dynamic_cast<CMaster*>(masterFrame->Machine()) : nullptr;
    if (master) {
        master->Lock();
        // The cables into the old ports go first, through Disconnect, so their sources' counts
        // stay true; the connectors are rebuilt for the new ports below.
        for (int32_t c = 0; c < masterFrame->ConnectorCount(); ++c) {
            CConnector* input = masterFrame->Connector(c);
            while (input->m_connections.Count() > 0)
                Disconnect(input, input->m_connections.Count() - 1);
        }
        master->RebuildPorts();
    }
    // A project without a master still renders at the driver's format.
    m_host->SetSampleRateAndBufferSize(sampleRate, bufferSize);
    SetSampleRate(sampleRate);
    SetBufferSize(bufferSize);
    if (master) {
        masterFrame->RebuildConnectors();
        master->Unlock();
    }
}
