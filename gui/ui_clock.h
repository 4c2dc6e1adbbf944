// Time for the user interface: a millisecond clock and timers that call back on the
// user-interface thread. The program uses the real clock (Qt's timers); tests install a stepped
// clock and advance it by hand, so no test waits for wall-clock time.
//
// Threads: user-interface thread only. Now() may also be read by the graphics thread.
#pragma once

#include "engine/peak_meter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace gui {

// A repeating timer. Start (re)arms it with an interval; the callback runs on the user-interface
// thread each time the interval has passed, until Stop. The callback may restart or stop it.
class CUiTimer {
public:
    virtual ~CUiTimer() = default;
    virtual void Start(int intervalMs) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
    virtual int Interval() const = 0;
};

class CUiClock : public CMillisecondClock {
public:
    // Milliseconds on a monotonic count (wraps at 32 bits).
    uint32_t Now() override = 0;
    virtual std::unique_ptr<CUiTimer> MakeTimer(std::function<void()> callback) = 0;
};

// The clock the controls use: the real one unless a test installed another.
CUiClock& UiClock();
// Installs a clock (null: back to the real one). The caller keeps it alive while installed.
void SetUiClock(CUiClock* clock);
// Counts SetUiClock calls, so timers made on an earlier clock can be made again.
int UiClockGeneration();

// A clock that only moves when told: Advance runs every timer that falls due, in time order,
// each at its own due time (so a 100 ms timer fires ten times in one Advance(1000)).
class CSteppedClock : public CUiClock {
public:
    explicit CSteppedClock(uint32_t start = 1000) : m_now(start) {}
    ~CSteppedClock() override;
    uint32_t Now() override { return m_now; }
    std::unique_ptr<CUiTimer> MakeTimer(std::function<void()> callback) override;
    void Advance(uint32_t milliseconds);
    int ActiveTimers() const;

private:
    class CTimer;
    friend class CTimer;
    uint32_t m_now;
    std::vector<CTimer*> m_timers;
};

} // namespace gui
