// CNotificationQueue: how news raised on the audio workers, the driver thread, the graphics
// thread or the plug-in idle thread reaches the views on the user-interface thread.
//
// A fixed ring of small plain records, lock-free for any number of raising threads (Post never
// blocks and never allocates, so the audio path may call it) and one draining thread (the
// user interface's timer; headless, the graphics thread or a test). When the ring is full the
// record is dropped and counted; the next Drain then hands over one kLost record instead, so the
// views re-read everything once rather than trusting a partial picture.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

struct Notification {
    enum Kind : int32_t {
        kLost = 0,             // records were dropped: re-read everything
        kParameterChanged = 1, // index: parameter, value: 0..1
    };
    int32_t kind = kLost;
    int32_t index = 0;
    float value = 0.0f;
    uint64_t source = 0; // the serial of the frame (or row) it concerns; 0 for none
};

class CNotificationQueue {
public:
    static constexpr size_t kCapacity = 2048; // a power of two

    CNotificationQueue() {
        for (size_t i = 0; i < kCapacity; ++i)
            m_cells[i].sequence.store(i, std::memory_order_relaxed);
    }
    CNotificationQueue(const CNotificationQueue&) = delete;
    CNotificationQueue& operator=(const CNotificationQueue&) = delete;

    // Any thread. False (and counted as lost) when the ring is full.
    bool Post(const Notification& record) {
        uint64_t position = m_tail.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = m_cells[position & kMask];
            const uint64_t sequence = cell.sequence.load(std::memory_order_acquire);
            const auto lag = static_cast<int64_t>(sequence - position);
            if (lag == 0) {
                if (m_tail.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                    cell.record = record;
                    cell.sequence.store(position + 1, std::memory_order_release);
                    return true;
                }
            } else if (lag < 0) {
                m_lost.fetch_add(1, std::memory_order_relaxed);
                m_lostTotal.fetch_add(1, std::memory_order_relaxed);
                return false;
            } else {
                position = m_tail.load(std::memory_order_relaxed);
            }
        }
    }

    // The draining thread only. Hands every queued record, oldest first, to sink(const
    // Notification&), then one kLost record when any were dropped since the last Drain. Records
    // posted while draining may wait for the next Drain. Returns the records handed over.
    template <typename Sink> size_t Drain(Sink&& sink) {
        size_t delivered = 0;
        for (;;) {
            Cell& cell = m_cells[m_head & kMask];
            if (cell.sequence.load(std::memory_order_acquire) != m_head + 1) break;
            const Notification record = cell.record;
            cell.sequence.store(m_head + kCapacity, std::memory_order_release);
            ++m_head;
            sink(record);
            ++delivered;
        }
        if (m_lost.exchange(0, std::memory_order_relaxed) > 0) {
            sink(Notification{});
            ++delivered;
        }
        return delivered;
    }

    // Records dropped for want of room since the queue was made. Any thread.
    uint64_t LostTotal() const { return m_lostTotal.load(std::memory_order_relaxed); }

private:
    static constexpr size_t kMask = kCapacity - 1;
    static_assert((kCapacity & kMask) == 0, "the capacity must be a power of two");
    static_assert(std::atomic<uint64_t>::is_always_lock_free, "the ring needs lock-free 64-bit atomics");

    // sequence == position: free for the writer of that position; position + 1: holds its record.
    struct Cell {
        std::atomic<uint64_t> sequence{0};
        Notification record;
    };

    std::array<Cell, kCapacity> m_cells;
    alignas(64) std::atomic<uint64_t> m_tail{0};
    alignas(64) uint64_t m_head = 0; // the draining thread's own
    std::atomic<uint64_t> m_lost{0};
    std::atomic<uint64_t> m_lostTotal{0};
};
