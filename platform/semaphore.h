// Counting semaphore (initial count 0, maximum 0x7fffffff) used for the engine's done signals.
// Wait spins briefly before sleeping in the kernel: a hand-over between two busy threads then
// costs well under a microsecond instead of a wake-up.
#pragma once

#include <semaphore.h>

#include <atomic>

namespace platform {

class CSemaphore {
public:
    CSemaphore();  // raises "Can't Create Semaphore, Error Code 0x%x"
    ~CSemaphore();
    CSemaphore(const CSemaphore&) = delete;
    CSemaphore& operator=(const CSemaphore&) = delete;

    // Raises "Can't Release Semaphore, Error Code 0x%x". Any thread.
    void Release();
    // Waits without time-out; raises "Can't Lock Semaphore, Error Code 0x%x". Any thread.
    void Wait();
    // Waits at most the given milliseconds; true when the count was taken.
    bool WaitFor(int milliseconds);

    // Polls Wait makes before sleeping (process-wide; for measuring the hand-over).
    static void SetSpinCount(int count);
    static int SpinCount();

private:
    sem_t m_semaphore;
};

} // namespace platform
