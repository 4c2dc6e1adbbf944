#include "engine/studio.h"

#include "engine/master.h"
#include "engine/volume.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <exception>
#include <pthread.h>
#include <thread>

namespace {

std::atomic<CStudio*> g_renderTarget{nullptr};

// Runs on a source frame's worker thread.
void ProcessRequest(void* argument) {
    auto* frame = static_cast<CMachineContainer*>(argument);
    frame->Studio()->RunRequest(frame);
}

// A cable makes its destination wait for its source unless it runs from a send output into an
// ordinary input (the effect reads the send the mixer filled before its late phase).
bool CableWaits(const CPort* source, const CPort* destination) {
    return destination->IsSendReturn() || !source->IsSendReturn();
}

// Holds a CMutex that may be absent.
class COptionalLock {
public:
    explicit COptionalLock(CMutex* mutex) : m_mutex(mutex) {
        if (m_mutex) m_mutex->Lock();
    }
    ~COptionalLock() {
        if (m_mutex) m_mutex->Unlock();
    }
    COptionalLock(const COptionalLock&) = delete;
    COptionalLock& operator=(const COptionalLock&) = delete;

private:
    CMutex* m_mutex;
};

} // namespace

CStudio::CStudio(CVeskHost* host) : m_host(host) {}

CStudio::~CStudio() {
    CStudio* self = this;
    g_renderTarget.compare_exchange_strong(self, nullptr);
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
        for (int32_t c = 0; c < frame->ConnectorCount(); ++c) {
            const CConnector* input = frame->Connector(c);
            if (!input->m_port->IsInput()) continue;
            for (const CConnection* connection : input->m_connections)
                if (CableWaits(connection->m_source->m_port, input->m_port))
                    pending.push_back(connection->m_source->m_frame);
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
    COptionalLock editor(m_sequencer ? &m_sequencer->EditorMutex() : nullptr);
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

// ---------------------------------------------------------------------------------------------
// Processing

void CStudio::SetRenderTarget(CStudio* studio) {
    g_renderTarget.store(studio, std::memory_order_release);
}
CStudio* CStudio::RenderTarget() {
    return g_renderTarget.load(std::memory_order_acquire);
}

void CStudio::RenderCallback(int32_t channelCount, float** channels, int32_t frames) {
    CStudio* studio = RenderTarget();
    if (!studio) return;
    studio->Render(channelCount, channels, frames);
}

void CStudio::RecordError(const char* text) {
    m_bufferFailed.store(true, std::memory_order_relaxed);
    std::lock_guard lock(m_errorMutex);
    ++m_errorCount;
    std::snprintf(m_errorText, sizeof m_errorText, "%s", text);
}

RenderErrorRecord CStudio::RenderErrors() const {
    std::lock_guard lock(m_errorMutex);
    return {m_errorCount, m_errorText};
}

void CStudio::SetSingleThreaded(bool single) {
    CMutexLock lock(m_mutex);
    m_singleThreaded = single;
    if (!single)
        for (CMachineContainer* frame : m_frames)
            frame->StartWorker();
}

void CStudio::Request(CMachineContainer* source) {
    if (m_singleThreaded) {
        // Rendered now; the release keeps the request paired with its wait, which then passes.
        ProcessHere(source);
        source->m_done.Release();
        return;
    }
    PostRequest(source);
}

void CStudio::PostRequest(CMachineContainer* source) {
    // A full queue would lose the request and leave its wait unpaired; run it here instead.
    if (!source->m_worker || !source->m_worker->Post({ProcessRequest, source})) RunRequest(source);
}

void CStudio::RunRequest(CMachineContainer* frame) {
    {
        CMutexLock lock(*frame->Machine());
        try {
            ProcessFrame(frame, false);
        } catch (const std::exception& error) {
            RecordError(error.what());
        } catch (...) {
            RecordError("Unknown error while processing");
        }
    }
    // Released whatever happened: every request is paired with exactly one wait.
    frame->m_done.Release();
}

void CStudio::ProcessHere(CMachineContainer* source) {
    // Deep graphs fall back to the worker, so the calling thread's stack stays small.
    static thread_local int depth = 0;
    if (depth >= kMaxInlineDepth) {
        PostRequest(source);
        source->m_done.Wait();
        return;
    }
    struct CDepth {
        CDepth() { ++depth; }
        ~CDepth() { --depth; }
    } level;
    CMutexLock lock(*source->Machine());
    try {
        ProcessFrame(source, false);
    } catch (const std::exception& error) {
        RecordError(error.what());
    } catch (...) {
        RecordError("Unknown error while processing");
    }
}

void CStudio::MixInto(CPort* input, CConnection* connection) {
    const CPort* sourcePort = connection->m_source->m_port;
    const CAudioBuffer* source = sourcePort->m_audioBuffer;
    CAudioBuffer* destination = input->m_audioBuffer;
    if (!source || !destination) return;
    const int32_t n = std::min(source->m_length, destination->m_length);
    const float target = connection->TargetVolume();
    float v = connection->m_currentVolume;
    const bool sourceStereo = source->m_channel2 != nullptr;
    const bool destinationStereo = destination->m_channel2 != nullptr;
    const float* sl = source->m_channel1;
    const float* sr = source->m_channel2;
    float* dl = destination->m_channel1;
    float* dr = destination->m_channel2;

    // The glide runs only while the cable's volume moves; the steady part is a plain loop.
    auto mix = [&](int32_t from, int32_t to, bool glide) {
        if (sourceStereo && destinationStereo) {
            for (int32_t i = from; i < to; ++i) {
                if (glide) v = volume::Glide(v, target);
                dl[i] += v * sl[i];
                dr[i] += v * sr[i];
            }
        } else if (destinationStereo) {
            for (int32_t i = from; i < to; ++i) {
                if (glide) v = volume::Glide(v, target);
                dl[i] += v * sl[i];
                dr[i] += v * sl[i];
            }
        } else if (sourceStereo) {
            for (int32_t i = from; i < to; ++i) {
                if (glide) v = volume::Glide(v, target);
                dl[i] += (sl[i] + sr[i]) * v * 0.5f;
            }
        } else {
            for (int32_t i = from; i < to; ++i) {
                if (glide) v = volume::Glide(v, target);
                dl[i] += v * sl[i];
            }
        }
    };
    int32_t i = 0;
    if (v != target) {
        // Glide sample by sample until the volume arrives, then finish without the glide.
        int32_t arrive = 0;
        float probe = v;
        while (arrive < n && probe != target) {
            probe = volume::Glide(probe, target);
            ++arrive;
        }
        mix(0, arrive, true);
        i = arrive;
    }
    mix(i, n, false);
    connection->m_currentVolume = v;
}

bool CStudio::MixInputsAndProcess(CMachineContainer* frame) {
    CMachine* machine = frame->Machine();
    const int32_t connectorCount = frame->ConnectorCount();
    bool late = false;
    for (int32_t c = 0; c < connectorCount; ++c) {
        CConnector* connector = frame->Connector(c);
        CPort* port = connector->m_port;
        if (port->IsInput() && port->IsSendReturn()) late = true;
        if (port->IsControl()) {
            if (port->IsOutput()) {
                port->m_controlBuffer->Clear();
            } else if (port->IsInput()) {
                for (const CConnection* connection : connector->m_connections)
                    connection->m_source->m_port->m_controlBuffer->CopyTo(port->m_controlBuffer);
            }
        } else if (port->IsInput() && port->IsAudio()) {
            if (!port->IsSendReturn()) {
                port->m_audioBuffer->Clear();
                for (CConnection* connection : connector->m_connections)
                    MixInto(port, connection);
            }
        }
    }

    try {
        machine->Process();
    } catch (const std::exception& error) {
        RecordError(error.what());
    } catch (...) {
        RecordError("Unknown error while processing");
    }
    return late;
}

void CStudio::MixReturnsAndProcessLate(CMachineContainer* frame) {
    const int32_t connectorCount = frame->ConnectorCount();
    for (int32_t c = 0; c < connectorCount; ++c) {
        CConnector* input = frame->Connector(c);
        if (!input->m_port->IsInput() || !input->m_port->IsSendReturn() || !input->m_port->IsAudio()) continue;
        for (CConnection* connection : input->m_connections)
            MixInto(input->m_port, connection);
    }
    try {
        frame->Machine()->ProcessLate();
    } catch (const std::exception& error) {
        RecordError(error.what());
    } catch (...) {
        RecordError("Unknown error while processing");
    }
}

void CStudio::ProcessInline(CMachineContainer* root) {
    if (root->m_processed) return;
    // Each step walks its frame's inputs from where it left off; an unprocessed source goes on
    // the stack (locked) and is finished before the walk goes on, as ProcessFrame's recursion
    // would. Sources of ordinary inputs come first, then Process; the sources behind the returns
    // after it (they read the sends Process filled), then ProcessLate.
    std::vector<InlineStep>& stack = m_inlineStack;
    stack.clear();
    stack.push_back({root, false, 0, 0});
    // Whatever leaves early (a thread being cancelled) leaves no machine locked behind it.
    struct CUnlockOnExit {
        std::vector<InlineStep>& stack;
        CMachineContainer* root;
        ~CUnlockOnExit() {
            for (const InlineStep& step : stack)
                if (step.frame != root) step.frame->Machine()->Unlock();
            stack.clear();
        }
    } unlock{stack, root};
    while (!stack.empty()) {
        InlineStep& step = stack.back();
        CMachineContainer* frame = step.frame;
        CMachineContainer* next = nullptr;
        const int32_t connectorCount = frame->ConnectorCount();
        for (; step.connector < connectorCount && !next; ++step.connector, step.connection = 0) {
            const CConnector* input = frame->Connector(step.connector);
            if (!input->m_port->IsInput() || input->m_port->IsSendReturn() != step.late) continue;
            const int32_t count = input->m_connections.Count();
            while (step.connection < count && !next) {
                const CConnection* connection = input->m_connections[step.connection++];
                // Send cables into ordinary inputs do not wait: the sender fills them first.
                if (!step.late && connection->m_source->m_port->IsSendReturn()) continue;
                CMachineContainer* source = connection->m_source->m_frame;
                if (!source->m_processed) next = source;
            }
            if (next) break;
        }
        if (next) {
            // A frame is never on the stack twice (the graph's waits have no cycles), so the
            // reserve made for every frame holds.
            next->Machine()->Lock();
            stack.push_back({next, false, 0, 0});
            continue;
        }
        bool late = false;
        if (!step.late) {
            late = MixInputsAndProcess(frame);
            if (late) {
                step.late = true;
                step.connector = 0;
                step.connection = 0;
                continue;
            }
        } else {
            MixReturnsAndProcessLate(frame);
        }
        frame->m_processed = true;
        stack.pop_back();
        if (frame != root) frame->Machine()->Unlock();
    }
}

void CStudio::ProcessFrame(CMachineContainer* frame, bool release) {
    if (!frame->m_processed) {
        const int32_t connectorCount = frame->ConnectorCount();

        // Ask every source for this buffer, then wait for them all: independent sources render
        // in parallel on their own workers. Send sources are neither asked nor awaited. The last
        // source is rendered right here instead: this thread would only wait for it, and a chain
        // of machines then costs no hand-over at all.
        int32_t pending = 0;
        CMachineContainer* kept = nullptr;
        for (int32_t c = 0; c < connectorCount; ++c) {
            const CConnector* input = frame->Connector(c);
            if (!input->m_port->IsInput() || input->m_port->IsSendReturn()) continue;
            for (const CConnection* connection : input->m_connections) {
                if (connection->m_source->m_port->IsSendReturn()) continue;
                if (kept) Request(kept);
                kept = connection->m_source->m_frame;
                ++pending;
            }
        }
        if (kept) ProcessHere(kept);
        // Waits pair with the requests above: every eligible cable but the last.
        for (int32_t c = 0; c < connectorCount && pending > 1; ++c) {
            const CConnector* input = frame->Connector(c);
            if (!input->m_port->IsInput() || input->m_port->IsSendReturn()) continue;
            for (const CConnection* connection : input->m_connections) {
                if (connection->m_source->m_port->IsSendReturn()) continue;
                if (pending-- == 1) break;
                connection->m_source->m_frame->m_done.Wait();
            }
        }

        if (MixInputsAndProcess(frame)) {
            // The late phase: the machine filled its sends in Process; now the effects behind its
            // returns render, their outputs are mixed into the returns, and ProcessLate uses them.
            int32_t returns = 0;
            CMachineContainer* keptReturn = nullptr;
            for (int32_t c = 0; c < connectorCount; ++c) {
                const CConnector* input = frame->Connector(c);
                if (!input->m_port->IsInput() || !input->m_port->IsSendReturn()) continue;
                for (const CConnection* connection : input->m_connections) {
                    if (keptReturn) Request(keptReturn);
                    keptReturn = connection->m_source->m_frame;
                    ++returns;
                }
            }
            if (keptReturn) ProcessHere(keptReturn);
            for (int32_t c = 0; c < connectorCount && returns > 1; ++c) {
                const CConnector* input = frame->Connector(c);
                if (!input->m_port->IsInput() || !input->m_port->IsSendReturn()) continue;
                for (const CConnection* connection : input->m_connections) {
                    if (returns-- == 1) break;
                    connection->m_source->m_frame->m_done.Wait();
                }
            }
            MixReturnsAndProcessLate(frame);
        }
        frame->m_processed = true;
    }
    if (release) frame->m_done.Release();
}

namespace {

// Takes a lock that another thread may hold, trying for at most the given time. The driver's
// thread waits for short holds (the update pass, a cable being added) but not for long ones. The
// clock is read only once the lock was found taken.
bool LockWithin(CMutex& mutex, std::chrono::microseconds patience) {
    if (mutex.TryLock()) return true;
    if (patience == std::chrono::microseconds::max()) {
        mutex.Lock();
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (int attempt = 0;; ++attempt) {
        if (mutex.TryLock()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (attempt > 64) std::this_thread::yield();
    }
}

// Releases a lock taken with LockWithin.
class CHeldLock {
public:
    explicit CHeldLock(CMutex* mutex) : m_mutex(mutex) {}
    ~CHeldLock() {
        if (m_mutex) m_mutex->Unlock();
    }
    CHeldLock(const CHeldLock&) = delete;
    CHeldLock& operator=(const CHeldLock&) = delete;

private:
    CMutex* m_mutex;
};

} // namespace

void CStudio::Render(int32_t channelCount, float** channels, int32_t frames) {
    // A thread cancelled while it renders (a sound server's library may cancel its process thread
    // when the client closes) ends after the buffer, at its next cancellation point outside the
    // engine: an unwind through the cycle would stop in its catch-alls (the program aborts there)
    // and leave a buffer half done.
    struct CNoCancellation {
        CNoCancellation() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous); }
        ~CNoCancellation() { pthread_setcancelstate(previous, nullptr); }
        int previous = PTHREAD_CANCEL_ENABLE;
    } noCancellation;
    // A quarter of the buffer's duration is the longest the driver's thread waits for each of the
    // studio and the sequencer's editor: a longer hold (a project being loaded or saved, a
    // plug-in being made) costs this buffer, rendered silent with time standing, instead of
    // stalling the driver.
    // Offline there is no deadline: the file waits for the edit rather than lose the buffer.
    const int32_t rate = std::max<int32_t>(1, m_host->GetSampleRate());
    const std::chrono::microseconds patience =
        m_liveDeadline.load(std::memory_order_relaxed)
            ? std::chrono::microseconds(static_cast<int64_t>(frames) * 250000 / rate)
            : std::chrono::microseconds::max();
    bool locked = LockWithin(m_mutex, patience);
    if (locked && m_sequencer && !LockWithin(m_sequencer->EditorMutex(), patience)) {
        m_mutex.Unlock();
        locked = false;
    }
    if (!locked) {
        for (int32_t c = 0; c < channelCount; ++c)
            std::fill(channels[c], channels[c] + frames, 0.0f);
        m_skippedBuffers.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    CHeldLock studioLock(&m_mutex);
    m_bufferFailed.store(false, std::memory_order_relaxed);
    float gain = m_masterGain.load(std::memory_order_relaxed);
    const float target = m_masterVolume.load(std::memory_order_relaxed);
    float peakLeft = 0.0f;
    float peakRight = 0.0f;

    auto silence = [&] {
        for (int32_t c = 0; c < channelCount; ++c)
            std::fill(channels[c], channels[c] + frames, 0.0f);
        peakLeft = peakRight = 0.0f;
    };

    {
        CHeldLock editorLock(m_sequencer ? &m_sequencer->EditorMutex() : nullptr);
        try {
            for (CMachineContainer* frame : m_frames) {
                for (int32_t c = 0; c < frame->ConnectorCount(); ++c) {
                    CPort* port = frame->Connector(c)->m_port;
                    if (port->IsInput() && port->IsControl()) port->m_controlBuffer->Clear();
                }
                frame->m_processed = false;
            }
            if (m_sequencer) m_sequencer->Tick();

            if (m_master) {
                CMachine* master = m_master->Machine();
                CMutexLock masterLock(*master);
                if (m_singleThreaded)
                    ProcessInline(m_master);
                else
                    ProcessFrame(m_master, false);
                m_host->AddToSampleCounter(frames);

                const float startGain = gain;
                for (int32_t c = 0; c < channelCount; ++c) {
                    // Stereo output from a stereo port takes its two channels; otherwise output
                    // channel c is the first channel of master port c.
                    const float* source = nullptr;
                    int32_t available = 0;
                    const int32_t portIndex = channelCount == 2 ? 0 : c;
                    if (portIndex < master->m_portCount && master->m_ports[portIndex]->m_audioBuffer) {
                        const CAudioBuffer* buffer = master->m_ports[portIndex]->m_audioBuffer;
                        source = (channelCount == 2 && c == 1 && buffer->m_channel2) ? buffer->m_channel2
                                                                                     : buffer->m_channel1;
                        available = source ? buffer->m_length : 0;
                    }
                    float g = startGain;
                    float peak = 0.0f;
                    float* out = channels[c];
                    for (int32_t i = 0; i < frames; ++i) {
                        const float value = i < available ? g * source[i] : 0.0f;
                        out[i] = value;
                        peak = std::max(peak, value * value);
                        g = volume::Glide(g, target);
                    }
                    if (c == 0) peakLeft = peak;
                    if (c == 1) peakRight = peak;
                    gain = g;
                }
                if (channelCount == 0)
                    for (int32_t i = 0; i < frames; ++i)
                        gain = volume::Glide(gain, target);
            } else {
                silence();
            }
        } catch (const std::exception& error) {
            RecordError(error.what());
        } catch (...) {
            RecordError("Unknown error while rendering");
        }
        if (m_bufferFailed.load(std::memory_order_relaxed)) silence();
        m_masterGain.store(gain, std::memory_order_relaxed);
    }
    m_meter.Input(std::fabs(peakLeft), channelCount > 1 ? std::fabs(peakRight) : std::fabs(peakLeft));
}

void CStudio::UpdatePass() {
    CMutexLock lock(m_mutex);
    for (CMachineContainer* frame : m_frames) {
        try {
            frame->Machine()->UpdateGUI();
        } catch (const std::exception& error) {
            RecordError(error.what());
        } catch (...) {
            RecordError("Unknown error while updating");
        }
    }
}
