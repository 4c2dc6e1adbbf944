// Helpers of the stock panel tests: machines that record what their panels hand them, and a
// stage with a parent window and the library's panel factory installed.
#pragma once

#include "library/panels/stock_panel_factory.h"
#include "tests/gui/gui_test_support.h"

#include <QPoint>
#include <QTest>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace panel_test {

// Records what the panel's knobs hand to the machine.
template <class Machine> class CWatched : public Machine {
public:
    using Machine::Machine;
    void AutomateParameter(int32_t index, float value) override {
        automated.emplace_back(index, value);
        Machine::AutomateParameter(index, value);
    }
    std::vector<std::pair<int32_t, float>> automated;
};

// A window to hold panels, a stage (stepped clock, scripted dialogs) and the factory installed
// for the test.
struct PanelStage {
    gui_test::Stage stage;
    std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
    PanelStage() {
        parent->resize(640, 480);
        machine_panels::Install(&stock_panels::StockPanelFactory());
    }
    ~PanelStage() { machine_panels::Install(nullptr); }
    QWidget* Open(CMachine* machine) { return static_cast<QWidget*>(machine->CreateGUI(parent.get())); }
};

// The composed pixel (red, green, blue) of a panel.
inline std::array<uint8_t, 3> Pixel(const gui::CLiteContainer& panel, int x, int y) {
    const uint8_t* p = panel.Composition().PixelAt(x, y);
    return {p[0], p[1], p[2]};
}

// Presses at from and moves straight up by pixels, then lets go.
inline void DragUp(QWidget* widget, QPoint from, int pixels) {
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QTest::mouseMove(widget, from - QPoint(0, pixels));
    QTest::mouseRelease(widget, Qt::LeftButton, {}, from - QPoint(0, pixels));
}

inline bool Overlap(const QRect& a, const QRect& b) { return a.intersects(b); }

} // namespace panel_test
