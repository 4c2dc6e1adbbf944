#include "gui/ui_clock.h"

#include "platform/clock.h"

#include <QTimer>

#include <algorithm>
#include <limits>

namespace gui {
namespace {

class CQtTimer : public CUiTimer {
public:
    explicit CQtTimer(std::function<void()> callback) {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(callback));
    }
    void Start(int intervalMs) override { m_timer.start(intervalMs); }
    void Stop() override { m_timer.stop(); }
    bool IsActive() const override { return m_timer.isActive(); }
    int Interval() const override { return m_timer.interval(); }

private:
    QTimer m_timer;
};

class CRealClock : public CUiClock {
public:
    uint32_t Now() override { return platform::TickCount(); }
    std::unique_ptr<CUiTimer> MakeTimer(std::function<void()> callback) override {
        return std::make_unique<CQtTimer>(std::move(callback));
    }
};

CUiClock* g_installed = nullptr;
int g_generation = 0;

} // namespace

CUiClock& UiClock() {
    static CRealClock real;
    return g_installed ? *g_installed : real;
}

void SetUiClock(CUiClock* clock) {
    g_installed = clock;
    ++g_generation;
}

int UiClockGeneration() { return g_generation; }

class CSteppedClock::CTimer : public CUiTimer {
public:
    CTimer(CSteppedClock* clock, std::function<void()> callback) : m_clock(clock), m_callback(std::move(callback)) {
        m_clock->m_timers.push_back(this);
    }
    ~CTimer() override {
        if (m_clock) std::erase(m_clock->m_timers, this);
    }
    void Start(int intervalMs) override {
        m_interval = std::max(intervalMs, 0);
        m_active = true;
        if (m_clock) m_due = m_clock->m_now + static_cast<uint32_t>(m_interval);
    }
    void Stop() override { m_active = false; }
    bool IsActive() const override { return m_active; }
    int Interval() const override { return m_interval; }

    CSteppedClock* m_clock;
    std::function<void()> m_callback;
    int m_interval = 0;
    bool m_active = false;
    uint32_t m_due = 0;
};

CSteppedClock::~CSteppedClock() {
    for (CTimer* timer : m_timers) timer->m_clock = nullptr;
}

std::unique_ptr<CUiTimer> CSteppedClock::MakeTimer(std::function<void()> callback) {
    return std::make_unique<CTimer>(this, std::move(callback));
}

void CSteppedClock::Advance(uint32_t milliseconds) {
    const uint32_t end = m_now + milliseconds;
    for (;;) {
        // The earliest timer due by the end; equal times in creation order.
        CTimer* next = nullptr;
        for (CTimer* timer : m_timers)
            if (timer->m_active && timer->m_due <= end && (!next || timer->m_due < next->m_due)) next = timer;
        if (!next) break;
        m_now = next->m_due;
        // Re-arm first so the callback may change the interval or stop the timer.
        next->m_due = m_now + static_cast<uint32_t>(std::max(next->m_interval, 1));
        next->m_callback();
    }
    m_now = end;
}

int CSteppedClock::ActiveTimers() const {
    return static_cast<int>(std::count_if(m_timers.begin(), m_timers.end(), [](CTimer* t) { return t->m_active; }));
}

} // namespace gui
