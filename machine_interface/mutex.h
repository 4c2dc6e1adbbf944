// CMutex: the recursive lock of every machine, bank server and bank client.
// Lock order across the studio: studio mutex, pattern editor's mutex, machine locks; the bank
// server before its clients. Never the other way round: a thread holding a machine lock must not
// take the studio mutex (the driver thread holds it for a whole buffer while waiting for machines).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <pthread.h>

// The lock inherits priorities where the system offers it: a thread waiting for it lends its
// priority to the holder, so a real-time thread is never kept waiting by a low-priority holder
// that busier threads have put aside.
class CMutex {
public:
    CMutex();
    // The owner's thread, nobody else using the lock any more: releases it once when the count is
    // above zero.
    virtual ~CMutex();
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    // Any thread. Waits without time-out, then raises the lock count. Returns 0.
    virtual int32_t Lock();
    // Lowers the lock count, then releases. Returns 0.
    virtual int32_t Unlock();
    // Any thread: true while the count is above zero. The count is over all threads, not per
    // thread, so it tells that someone holds the lock, not who.
    virtual bool IsLocked();
    // Any thread. Raises the lock count and returns true when the lock was free (or is this
    // thread's already); false at once otherwise.
    bool TryLock();
    // Any thread: as TryLock, but waits for the lock up to the given time when another thread
    // holds it. True when it was taken.
    bool TryLockFor(std::chrono::nanoseconds patience);

private:
    pthread_mutex_t m_mutex;
    std::atomic<int32_t> m_lockCount{0};
};

// Holds a CMutex for a scope.
class CMutexLock {
public:
    explicit CMutexLock(CMutex& mutex) : m_mutex(mutex) { m_mutex.Lock(); }
    ~CMutexLock() { m_mutex.Unlock(); }
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;

private:
    CMutex& m_mutex;
};

// Holds a CMutex that may be absent (null: nothing to hold) for a scope. Adopted, it releases a
// lock the caller already took (TryLock) instead of taking it again.
class COptionalMutexLock {
public:
    enum class Take { kLock, kAdopt };
    explicit COptionalMutexLock(CMutex* mutex, Take take = Take::kLock) : m_mutex(mutex) {
        if (m_mutex && take == Take::kLock) m_mutex->Lock();
    }
    ~COptionalMutexLock() {
        if (m_mutex) m_mutex->Unlock();
    }
    COptionalMutexLock(const COptionalMutexLock&) = delete;
    COptionalMutexLock& operator=(const COptionalMutexLock&) = delete;

private:
    CMutex* m_mutex;
};
