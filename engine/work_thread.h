// The engine's threads: CThread (a body that repeats Step while running), CWorkThread (one per
// machine frame; runs the processing requests of the machine) and CGraphicsThread (the periodic
// machine update pass, about every 10 ms).
//
// Threads: Start, Stop and destruction run on the user-interface thread (or whoever owns the
// object); Step runs on the thread itself with the thread's own mutex held, so Stop waits for the
// step in progress to end. Post may be called from any thread.
#pragma once

#include "machine_interface/mutex.h"
#include "platform/thread.h"

#include <atomic>
#include <functional>
#include <vector>

class CStudio;

class CThread {
public:
    // The thread exists at once but stays suspended until Start.
    explicit CThread(platform::ThreadPriority priority);
    // Derived classes stop the thread in their own destructor (Step is theirs); this one only
    // joins a thread that never started.
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // The thread body: repeat { lock; stop when not running; Step; unlock }.
    virtual void Run();
    // One round of the thread's work. Thread's own mutex held.
    virtual void Step() = 0;

    // Sets the running flag and lets the thread go. Once.
    void Start();
    // Clears the running flag, waits for the thread to end. Only when running.
    void Stop();
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }

    // Queues a request that runs on this thread during its next Step. Any thread. False when
    // the queue is full (the request is not queued).
    bool Post(platform::Request request) { return m_queue.Post(request); }

protected:
    platform::CRequestQueue m_queue;

private:
    CMutex m_mutex;
    std::atomic<bool> m_running{false};
    platform::CPlatformThread m_thread;
};

// A machine frame's worker: priority above normal; each Step waits up to 50 ms for processing
// requests and runs those queued.
class CWorkThread : public CThread {
public:
    CWorkThread();
    ~CWorkThread() override;
    void Step() override;
};

// The periodic update pass: priority below normal. Each Step runs the refresh hooks (meters,
// editors, recorder view: whatever the user interface installs), then every machine's UpdateGUI
// with the studio mutex held, then sleeps 10 ms.
class CGraphicsThread : public CThread {
public:
    explicit CGraphicsThread(CStudio& studio);
    ~CGraphicsThread() override;

    // Install before Start. Each hook runs on the graphics thread without any lock held.
    void AddRefreshHook(std::function<void()> hook) { m_hooks.push_back(std::move(hook)); }
    void Step() override;

private:
    CStudio& m_studio;
    std::vector<std::function<void()>> m_hooks;
};
