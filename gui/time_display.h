// CTimeDisplay: a read-out of a time, as hours:minutes:seconds.milliseconds (the HD recorder's
// recorded time, "00:01:05.500" for 65.5 s) or as a count of samples.
//
// Threads: user-interface thread only; whoever owns the time gives it to the read-out there.
#pragma once

#include "gui/control.h"

#include <cstdint>
#include <string>

namespace gui {

// t seconds as "%2i:%2i:%2i.%3i" of hours (modulo 100), minutes, seconds and milliseconds, with
// the blanks at characters 0, 3, 6, 9 and 10 turned into "0". Negative or not-a-number times
// show as zero.
std::string FormatRecordedTime(double seconds);

class CTimeDisplay : public CControl {
public:
    enum class Mode { kTime, kSamples };

    using CControl::Create;
    void Create(CControl* parent, int x, int y, int width, int height);

    void SetSeconds(double seconds);
    void SetSamples(int64_t samples);
    Mode CurrentMode() const { return m_mode; }
    double Seconds() const { return m_seconds; }
    // What the read-out shows.
    const std::string& Text() const { return m_text; }

    void Render(QPainter& painter) override;

private:
    Mode m_mode = Mode::kTime;
    double m_seconds = 0.0;
    std::string m_text = FormatRecordedTime(0.0);
};

} // namespace gui
