// CEditLock: holds the editor mutex (when there is one) for a scope. Every edit of patterns and of
// the song takes it, so the driver thread, which holds the same mutex for a whole buffer, never
// sees an edit half-done.
#pragma once

#include "machine_interface/mutex.h"

class CEditLock {
public:
    explicit CEditLock(CMutex* mutex) : m_mutex(mutex) {
        if (m_mutex) m_mutex->Lock();
    }
    ~CEditLock() {
        if (m_mutex) m_mutex->Unlock();
    }
    CEditLock(const CEditLock&) = delete;
    CEditLock& operator=(const CEditLock&) = delete;

private:
    CMutex* m_mutex;
};
