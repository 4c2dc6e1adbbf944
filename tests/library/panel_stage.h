// Helpers of the stock panel tests: machines that record what their panels hand them, and a
// stage with a parent window and the library's panel factory installed.
#pragma once

#include "gui/picture/png_reader.h"
#include "library/panels/stock_panel_factory.h"
#include "tests/gui/gui_test_support.h"

#include <gtest/gtest.h>

#include <QImage>

#include <QPoint>
#include <QTest>
#include <QWidget>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
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

// Compares a panel's composition with its reference picture in tests/library/reference/; with
// TAMBOREL_UPDATE_REFERENCES=1 in the environment the reference is written instead. Everything in
// the picture is ours (compositor, PNGs, bitmap fonts), so one changed pixel is a real change.
inline void ExpectMatchesReference(const gui::CPicture& composition, const std::string& name) {
    const std::string path = std::string(TAMBOREL_SOURCE_DIR) + "/tests/library/reference/" + name + ".png";
    const char* update = std::getenv("TAMBOREL_UPDATE_REFERENCES");
    if (update && std::string(update) == "1") {
        QImage image(composition.Width(), composition.Height(), QImage::Format_RGB888);
        for (int y = 0; y < composition.Height(); ++y)
            std::memcpy(image.scanLine(y), composition.PixelAt(0, y), composition.RowBytes());
        ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG")) << path;
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty()) << path << " is missing (TAMBOREL_UPDATE_REFERENCES=1 writes it)";
    const gui::CPicture reference = gui::ReadPng(bytes.data(), bytes.size());
    ASSERT_EQ(reference.Width(), composition.Width());
    ASSERT_EQ(reference.Height(), composition.Height());
    ASSERT_FALSE(reference.HasAlpha());
    int differing = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < reference.Height(); ++y)
        for (int x = 0; x < reference.Width(); ++x)
            if (std::memcmp(reference.PixelAt(x, y), composition.PixelAt(x, y), 3) != 0 && differing++ == 0) {
                firstX = x;
                firstY = y;
            }
    EXPECT_EQ(differing, 0) << name << ": first differing pixel at " << firstX << ", " << firstY;
}

} // namespace panel_test
