// CCpuLoadMeter: how much of each buffer period the render callback used (the tool bar's CPU-load
// read-out). A share of 1.0 means the callback took a whole period: the next buffer is late and
// the device runs dry.
//
// Threads: Feed on the driver's thread, once per render callback (one driver thread at a time);
// Load and TakePeak on the user-interface thread. Both sides only touch atomics: no lock, no
// allocation, nothing that waits.
//
// Smoothing: exponential with a time constant of kTimeConstantSeconds of real (audio) time, so a
// step in load reaches 63 % of its height after 0.3 s whatever the buffer size.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>

class CCpuLoadMeter {
public:
    static constexpr double kTimeConstantSeconds = 0.3;
    // Shares above this (a callback stalled for many periods) are read as it, so the average
    // recovers within a few time constants.
    static constexpr float kHighestShare = 100.0f;

    CCpuLoadMeter() = default;
    CCpuLoadMeter(const CCpuLoadMeter&) = delete;
    CCpuLoadMeter& operator=(const CCpuLoadMeter&) = delete;

    // One callback: busySeconds it took, of a buffer lasting periodSeconds (frames / rate). A
    // period that is not positive (no format yet) is ignored.
    void Feed(double busySeconds, double periodSeconds) {
        if (!(periodSeconds > 0.0) || !std::isfinite(periodSeconds)) return;
        const float share = static_cast<float>(
            std::clamp(busySeconds / periodSeconds, 0.0, static_cast<double>(kHighestShare)));
        // Not finite only for a NaN busy time, which clamp passes on: read as idle.
        const float sample = std::isfinite(share) ? share : 0.0f;
        const auto weight = static_cast<float>(1.0 - std::exp(-periodSeconds / kTimeConstantSeconds));
        const float load = m_load.load(std::memory_order_relaxed);
        m_load.store(load + weight * (sample - load), std::memory_order_relaxed);
        float peak = m_peak.load(std::memory_order_relaxed);
        while (sample > peak && !m_peak.compare_exchange_weak(peak, sample, std::memory_order_relaxed)) {
        }
    }

    // The smoothed share of the period (0 before the first callback; above 1 while callbacks
    // overrun their periods).
    float Load() const { return m_load.load(std::memory_order_relaxed); }
    // The highest share of a single callback since the last TakePeak, which starts a new watch.
    float TakePeak() { return m_peak.exchange(0.0f, std::memory_order_relaxed); }

private:
    std::atomic<float> m_load{0.0f};
    std::atomic<float> m_peak{0.0f};
};
