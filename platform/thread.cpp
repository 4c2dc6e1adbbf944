#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <sys/syscall.h>

#include <chrono>

namespace platform {

bool CRequestQueue::Post(Request request) {
    {
        std::lock_guard lock(m_mutex);
        if (m_count == kCapacity) return false;
        m_ring[(m_head + m_count) % kCapacity] = request;
        ++m_count;
    }
    m_ready.notify_one();
    return true;
}

int CRequestQueue::RunPending() {
    int run = 0;
    for (;;) {
        Request request;
        {
            std::lock_guard lock(m_mutex);
            if (m_count == 0) return run;
            request = m_ring[m_head];
            m_head = (m_head + 1) % kCapacity;
            --m_count;
        }
        request.function(request.argument);
        ++run;
    }
}

int CRequestQueue::WaitAndRun(int milliseconds) {
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_count > 0; });
    }
    return RunPending();
}

CPlatformThread::~CPlatformThread() { Join(); }

void CPlatformThread::Create(std::function<void()> body, ThreadPriority priority) {
    m_open = false;
    m_thread = std::thread([this, body = std::move(body), priority] {
        {
            std::unique_lock lock(m_gateMutex);
            m_gate.wait(lock, [this] { return m_open; });
        }
        SetCurrentThreadPriority(priority);
        body();
    });
}

void CPlatformThread::Start() {
    {
        std::lock_guard lock(m_gateMutex);
        m_open = true;
    }
    m_gate.notify_all();
}

void CPlatformThread::Join() {
    if (!m_thread.joinable()) return;
    Start();
    m_thread.join();
}

void SetCurrentThreadPriority(ThreadPriority priority) {
    if (priority == ThreadPriority::Normal) return;
    if (priority == ThreadPriority::AboveNormal) {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -5);
    } else {
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5);
    }
}

} // namespace platform
