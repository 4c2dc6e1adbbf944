// CPeakMeter: the two-channel segment meter of the main tool bar and the HD recorder rows. It
// paints a CPeakMeterModel: two bars of 3-pixel segments (2 lit, 1 gap), one per channel, each
// segment standing for a 3 dB step up to +9 dB, with a peak-hold segment that stays for a second
// and then falls at 48 dB per second.
//
// Threads: the control lives on the user-interface thread. The model is fed from the driver or a
// worker thread under its own lock; a UI timer (about every 10 ms, gui::UiClock) runs the model's
// decay and repaints. A peak that comes and goes between two repaints is still shown, because the
// model keeps it as the held level.
#pragma once

#include "engine/peak_meter.h"
#include "gui/control.h"
#include "gui/ui_clock.h"

#include <memory>

namespace gui {

class CPeakMeter : public CControl {
public:
    static constexpr int kDefaultWidth = 96;
    static constexpr int kDefaultHeight = 18;
    static constexpr int kDecayIntervalMs = 10;

    CPeakMeter();
    ~CPeakMeter() override;

    // Makes the meter's window with the tool tip "Peak Meter (3dB Units)". model (not owned; it
    // must outlive the meter) is the meter to show, the studio's master meter say; null gives
    // the control its own model on the user interface's clock, fed through Model().
    void Create(CControl* parent, const char* name, int x, int y, CPeakMeterModel* model,
                int width = kDefaultWidth, int height = kDefaultHeight);

    CPeakMeterModel& Model() { return *m_model; }

    // Segments per bar: (width - 4) / 3.
    int SegmentCount() const;
    // Threshold in dB of segment i (0 = leftmost): the last four stand for 0, +3, +6 and +9 dB.
    int Threshold(int segment) const;
    // Whether segment i of a bar shows lit for a channel's current and held levels.
    bool IsLit(int segment, float current, float held) const;
    // The colour slot of segment i: 37 for the last four, 36 for the four before, 35 below.
    int SegmentSlot(int segment) const;

    void Render(QPainter& painter) override;

private:
    // The timer's tick: the model's decay, then a repaint.
    void Tick();

    std::unique_ptr<CPeakMeterModel> m_ownModel;
    CPeakMeterModel* m_model = nullptr;
    std::unique_ptr<CUiTimer> m_timer;
};

} // namespace gui
