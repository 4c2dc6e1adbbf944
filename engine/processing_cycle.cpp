// The studio's processing cycle: Render pulls the master once per buffer, either on the calling
// thread alone (ProcessInline, an explicit stack) or with a worker per machine (ProcessFrame and
// the requests), and keeps the render errors and the skipped buffers. The cables are mixed by
// cable_mixing; which sources a machine waits for is NextSource's one walk.
#include "engine/cable_mixing.h"
#include "engine/source_pull.h"
#include "engine/studio.h"

#include "machine_interface/vesk_host.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <pthread.h>

namespace {

std::atomic<CStudio*> g_renderTarget{nullptr};

// Runs on a source frame's worker thread.
void ProcessRequest(void* argument) {
    auto* frame = static_cast<CMachineContainer*>(argument);
    frame->Studio()->RunRequest(frame);
}

} // namespace

void CStudio::SetRenderTarget(CStudio* studio) {
    g_renderTarget.store(studio, std::memory_order_release);
}
CStudio* CStudio::RenderTarget() {
    return g_renderTarget.load(std::memory_order_acquire);
}
void CStudio::ForgetRenderTarget(CStudio* studio) {
    g_renderTarget.compare_exchange_strong(studio, nullptr);
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

template <class Work> void CStudio::Guarded(Work&& work, const char* unknownText) {
    try {
        work();
    } catch (const std::exception& error) {
        RecordError(error.what());
    } catch (...) {
        RecordError(unknownText);
    }
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
        Guarded([&] { ProcessFrame(frame, false); }, "Unknown error while processing");
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
    Guarded([&] { ProcessFrame(source, false); }, "Unknown error while processing");
}

bool CStudio::MixInputsAndProcess(CMachineContainer* frame) {
    const bool late = cable_mixing::MixInputs(frame);
    Guarded([frame] { frame->Machine()->Process(); }, "Unknown error while processing");
    return late;
}

void CStudio::MixReturnsAndProcessLate(CMachineContainer* frame) {
    cable_mixing::MixReturns(frame);
    Guarded([frame] { frame->Machine()->ProcessLate(); }, "Unknown error while processing");
}

void CStudio::ProcessInline(CMachineContainer* root) {
    if (root->m_processed) return;
    // Each step walks its frame's inputs from where it left off; an unprocessed source goes on
    // the stack (locked) and is finished before the walk goes on, as ProcessFrame's recursion
    // would. Sources of ordinary inputs come first, then Process; the sources behind the returns
    // after it (they read the sends Process filled), then ProcessLate.
    std::vector<InlineStep>& stack = m_inlineStack;
    stack.clear();
    stack.push_back({root, false, {}});
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
        CMachineContainer* next = NextSource(frame, step.late, step.sources);
        while (next && next->m_processed)
            next = NextSource(frame, step.late, step.sources);
        if (next) {
            // A frame is never on the stack twice (the graph's waits have no cycles), so the
            // reserve made for every frame holds.
            next->Machine()->Lock();
            stack.push_back({next, false, {}});
            continue;
        }
        bool late = false;
        if (!step.late) {
            late = MixInputsAndProcess(frame);
            if (late) {
                step.late = true;
                step.sources = {};
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

void CStudio::PullSources(CMachineContainer* frame, bool late) {
    // Ask every source for this buffer, then wait for them all: independent sources render in
    // parallel on their own workers. The last source is rendered right here instead: this thread
    // would only wait for it, and a chain of machines then costs no hand-over at all.
    SourceCursor cursor;
    int32_t pending = 0;
    CMachineContainer* kept = nullptr;
    while (CMachineContainer* source = NextSource(frame, late, cursor)) {
        if (kept) Request(kept);
        kept = source;
        ++pending;
    }
    if (kept) ProcessHere(kept);
    // The waits pair with the requests above: every source but the last.
    cursor = {};
    for (; pending > 1; --pending)
        NextSource(frame, late, cursor)->m_done.Wait();
}

void CStudio::ProcessFrame(CMachineContainer* frame, bool release) {
    if (!frame->m_processed) {
        PullSources(frame, false);
        if (MixInputsAndProcess(frame)) {
            // The late phase: the machine filled its sends in Process; now the effects behind its
            // returns render, their outputs are mixed into the returns, and ProcessLate uses them.
            PullSources(frame, true);
            MixReturnsAndProcessLate(frame);
        }
        frame->m_processed = true;
    }
    if (release) frame->m_done.Release();
}

namespace {

// Takes a lock that another thread may hold, waiting for at most the given time. The driver's
// thread waits for short holds (the update pass, a cable being added) but not for long ones; while
// it waits, the holder runs at its priority.
bool LockWithin(CMutex& mutex, std::chrono::microseconds patience) {
    if (patience == std::chrono::microseconds::max()) {
        mutex.Lock();
        return true;
    }
    return mutex.TryLockFor(patience);
}

} // namespace

void CStudio::Render(int32_t channelCount, float** channels, int32_t frames) {
    const int32_t rate = std::max<int32_t>(1, m_host->GetSampleRate());
    // The whole callback counts towards the CPU load, waits for the locks included: that is the
    // time the device's next buffer waited for.
    struct CCallbackTiming {
        CCpuLoadMeter& meter;
        double periodSeconds;
        std::chrono::steady_clock::time_point begin = std::chrono::steady_clock::now();
        ~CCallbackTiming() {
            meter.Feed(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(),
                       periodSeconds);
        }
    } timing{m_cpuLoad, static_cast<double>(frames) / rate};
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
    COptionalMutexLock studioLock(&m_mutex, COptionalMutexLock::Take::kAdopt);
    m_bufferFailed.store(false, std::memory_order_relaxed);
    float gain = m_masterGain.load(std::memory_order_relaxed);
    const float target = m_masterVolume.load(std::memory_order_relaxed);
    float peakLeft = 0.0f;
    float peakRight = 0.0f;
    float loudestPower = 0.0f;

    auto silence = [&] {
        for (int32_t c = 0; c < channelCount; ++c)
            std::fill(channels[c], channels[c] + frames, 0.0f);
        peakLeft = peakRight = loudestPower = 0.0f;
    };

    {
        COptionalMutexLock editorLock(m_sequencer ? &m_sequencer->EditorMutex() : nullptr,
                                      COptionalMutexLock::Take::kAdopt);
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

                const cable_mixing::MasterOutput output =
                    cable_mixing::MixMasterOutput(master, channelCount, channels, frames, gain, target);
                gain = output.gain;
                peakLeft = output.peakLeft;
                peakRight = output.peakRight;
                loudestPower = output.loudestPower;
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
    m_clipLight.Input(loudestPower);
}

void CStudio::UpdatePass() {
    // The mutex is taken for one machine at a time: the graphics thread runs below normal
    // priority, and a busy system may put it aside while it holds the mutex, which the driver
    // thread waits for. A machine deleted between two of them shifts the list; the machine after
    // it then waits for the next pass.
    for (size_t i = 0;; ++i) {
        CMutexLock lock(m_mutex);
        if (i >= m_frames.size()) break;
        CMachineContainer* frame = m_frames[i];
        Guarded([frame] { frame->Machine()->UpdateGUI(); }, "Unknown error while updating");
    }
}
