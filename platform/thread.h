// A thread created "suspended": its body waits on a start gate until Start. Each thread owns a
// request queue; requests are plain function pointers with an argument, so posting one never
// allocates (the audio path posts them once per machine per buffer).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

enum class ThreadPriority { BelowNormal, Normal, AboveNormal };

// Request: function and argument, run on the queue's thread.
struct Request {
    void (*function)(void* argument) = nullptr;
    void* argument = nullptr;
};

// Fixed-capacity queue of requests, served by one thread.
class CRequestQueue {
public:
    static constexpr int kCapacity = 64;

    // Any thread. False when the queue is full (the request is not queued).
    bool Post(Request request);
    // Owner thread: waits up to the given milliseconds for a request, then runs every queued
    // request in order. Returns the number of requests run.
    int WaitAndRun(int milliseconds);
    // Owner thread: runs whatever is queued without waiting.
    int RunPending();

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    Request m_ring[kCapacity];
    int m_head = 0;
    int m_count = 0;
};

class CPlatformThread {
public:
    CPlatformThread() = default;
    ~CPlatformThread();
    CPlatformThread(const CPlatformThread&) = delete;
    CPlatformThread& operator=(const CPlatformThread&) = delete;

    // Creates the thread; the body runs only after Start.
    void Create(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);
    // Opens the start gate.
    void Start();
    // Waits for the body to return (opening the gate first, so a never-started thread can end).
    void Join();
    bool IsCreated() const { return m_thread.joinable(); }
    std::thread::id Id() const { return m_thread.get_id(); }

private:
    std::thread m_thread;
    std::mutex m_gateMutex;
    std::condition_variable m_gate;
    bool m_open = false;
};

// Best effort: real-time or nice levels where permitted, silently nothing otherwise.
void SetCurrentThreadPriority(ThreadPriority priority);

} // namespace platform
