// CPeakMeterModel: the peaks of the last rendered buffer, as squared amplitudes of the left and
// right output (the main tool bar's meter converts them to its 3 dB units).
// Written by the driver thread at the end of every buffer, read by the graphics thread or the
// user interface; both under the meter's own mutex (taken after the studio's locks are released
// by the writer's lock order).
#pragma once

#include <mutex>

class CPeakMeterModel {
public:
    struct Peaks {
        float left = 0.0f;
        float right = 0.0f;
    };

    void Set(float left, float right) {
        std::lock_guard lock(m_mutex);
        m_peaks = {left, right};
        ++m_updates;
    }
    Peaks Get() const {
        std::lock_guard lock(m_mutex);
        return m_peaks;
    }
    // Buffers metered since the studio was made.
    unsigned long Updates() const {
        std::lock_guard lock(m_mutex);
        return m_updates;
    }

private:
    mutable std::mutex m_mutex;
    Peaks m_peaks;
    unsigned long m_updates = 0;
};
