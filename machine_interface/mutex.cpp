#include "machine_interface/mutex.h"

CMutex::~CMutex() {
    // A lock left held by the destroying thread is released once, as the owner would have.
    if (m_lockCount.load() > 0) {
        m_lockCount.fetch_sub(1);
        m_mutex.unlock();
    }
}

int32_t CMutex::Lock() {
    m_mutex.lock();
    m_lockCount.fetch_add(1);
    return 0;
}

int32_t CMutex::Unlock() {
    m_lockCount.fetch_sub(1);
    m_mutex.unlock();
    return 0;
}

bool CMutex::TryLock() {
    if (!m_mutex.try_lock()) return false;
    m_lockCount.fetch_add(1);
    return true;
}

bool CMutex::IsLocked() { return m_lockCount.load() > 0; }
