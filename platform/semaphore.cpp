#include "platform/semaphore.h"

#include "platform/error.h"

#include <cerrno>
#include <ctime>

namespace platform {

namespace {
// About a few microseconds of polling before going to sleep in the kernel.
std::atomic<int> g_spinTries{2000};

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}
} // namespace

void CSemaphore::SetSpinCount(int count) { g_spinTries.store(count < 0 ? 0 : count); }
int CSemaphore::SpinCount() { return g_spinTries.load(); }

CSemaphore::CSemaphore() {
    if (sem_init(&m_semaphore, 0, 0) != 0) Raise("Can't Create Semaphore, Error Code 0x%x", errno);
}

CSemaphore::~CSemaphore() { sem_destroy(&m_semaphore); }

void CSemaphore::Release() {
    if (sem_post(&m_semaphore) != 0) Raise("Can't Release Semaphore, Error Code 0x%x", errno);
}

void CSemaphore::Wait() {
    const int tries = g_spinTries.load(std::memory_order_relaxed);
    for (int i = 0; i < tries; ++i) {
        if (sem_trywait(&m_semaphore) == 0) return;
        CpuRelax();
    }
    while (sem_wait(&m_semaphore) != 0) {
        if (errno != EINTR) Raise("Can't Lock Semaphore, Error Code 0x%x", errno);
    }
}

bool CSemaphore::WaitFor(int milliseconds) {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += milliseconds / 1000;
    until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1'000'000;
    if (until.tv_nsec >= 1'000'000'000) {
        until.tv_sec += 1;
        until.tv_nsec -= 1'000'000'000;
    }
    while (sem_timedwait(&m_semaphore, &until) != 0) {
        if (errno == ETIMEDOUT) return false;
        if (errno != EINTR) Raise("Can't Lock Semaphore, Error Code 0x%x", errno);
    }
    return true;
}

} // namespace platform
