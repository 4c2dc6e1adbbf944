#include "engine/work_thread.h"

#include "engine/studio.h"

namespace {
void WakeUp(void*) {}
} // namespace

CThread::CThread(platform::ThreadPriority priority) {
    m_thread.Create([this] { Run(); }, priority);
}

CThread::~CThread() {
    m_thread.Join();
}

void CThread::Run() {
    for (;;) {
        CMutexLock lock(m_mutex);
        if (!m_running.load(std::memory_order_acquire)) break;
        Step();
    }
}

void CThread::Start() {
    m_running.store(true, std::memory_order_release);
    m_thread.Start();
}

void CThread::Stop() {
    if (!IsRunning()) return;
    // The flag is cleared before taking the mutex: a thread of higher priority would otherwise
    // take its mutex again right after each step and keep the stop waiting. The wake-up ends a
    // Step that is sleeping on the queue; the mutex then waits for the step in progress.
    m_running.store(false, std::memory_order_release);
    m_queue.Post({WakeUp, nullptr});
    { CMutexLock lock(m_mutex); }
    m_thread.Join();
}

CWorkThread::CWorkThread() : CThread(platform::ThreadPriority::AboveNormal) {}
CWorkThread::~CWorkThread() {
    Stop();
}
void CWorkThread::Step() {
    m_queue.WaitAndRun(50);
}

CGraphicsThread::CGraphicsThread(CStudio& studio)
    : CThread(platform::ThreadPriority::BelowNormal), m_studio(studio) {}
CGraphicsThread::~CGraphicsThread() {
    Stop();
}

void CGraphicsThread::Step() {
    for (auto& hook : m_hooks)
        hook();
    m_studio.UpdatePass();
    m_queue.WaitAndRun(10);
}
