#include "machine_interface/mutex.h"

#include <algorithm>
#include <ctime>

CMutex::CMutex() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    const bool inherits = pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT) == 0;
    if (pthread_mutex_init(&m_mutex, &attributes) != 0 && inherits) {
        // No priority inheritance here: a plain recursive lock.
        pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_NONE);
        pthread_mutex_init(&m_mutex, &attributes);
    }
    pthread_mutexattr_destroy(&attributes);
}

CMutex::~CMutex() {
    // A lock left held by the destroying thread is released once, as the owner would have.
    if (m_lockCount.load() > 0) {
        m_lockCount.fetch_sub(1);
        pthread_mutex_unlock(&m_mutex);
    }
    pthread_mutex_destroy(&m_mutex);
}

int32_t CMutex::Lock() {
    pthread_mutex_lock(&m_mutex);
    m_lockCount.fetch_add(1);
    return 0;
}

int32_t CMutex::Unlock() {
    m_lockCount.fetch_sub(1);
    pthread_mutex_unlock(&m_mutex);
    return 0;
}

bool CMutex::TryLock() {
    if (pthread_mutex_trylock(&m_mutex) != 0) return false;
    m_lockCount.fetch_add(1);
    return true;
}

bool CMutex::TryLockFor(std::chrono::nanoseconds patience) {
    if (TryLock()) return true;
    // The wait's end on the wall clock, which every kind of lock can wait for; a clock step
    // within a wait this short does not matter.
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    const int64_t nanoseconds = static_cast<int64_t>(until.tv_nsec) + std::max<int64_t>(patience.count(), 0);
    until.tv_sec += static_cast<time_t>(nanoseconds / 1000000000);
    until.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    if (pthread_mutex_timedlock(&m_mutex, &until) != 0) return false;
    m_lockCount.fetch_add(1);
    return true;
}

bool CMutex::IsLocked() { return m_lockCount.load() > 0; }
