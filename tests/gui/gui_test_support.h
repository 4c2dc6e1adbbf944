// Helpers of the window tests: screenshots for people to look at, pixel probes, and a scope that
// installs the stepped clock and the scripted dialogs.
#pragma once

#include "gui/control.h"
#include "gui/dialog_service.h"
#include "gui/ui_clock.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>

namespace gui_test {

// Writes the widget as build/screenshots/<name>.png and returns the grabbed image.
inline QImage Screenshot(QWidget* widget, const std::string& name) {
    QImage image = widget->grab().toImage();
    QDir().mkpath(TAMBOREL_SCREENSHOT_DIR);
    const QString path = QString(TAMBOREL_SCREENSHOT_DIR) + "/" + QString::fromStdString(name) + ".png";
    EXPECT_TRUE(image.save(path)) << path.toStdString();
    return image;
}

// The widget's pixel at logical (x, y), as drawn on screen.
inline QRgb Probe(QWidget* widget, int x, int y) {
    QImage image = widget->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    return image.pixel(qRound(x * ratio), qRound(y * ratio)) & 0xFFFFFF;
}

inline QRgb Rgb(int red, int green, int blue) { return static_cast<QRgb>((red << 16) | (green << 8) | blue); }

// Installs a stepped clock and scripted dialogs for one test; repaints run when the test steps.
class Stage {
public:
    Stage() {
        gui::SetUiClock(&clock);
        gui::SetDialogs(&dialogs);
    }
    ~Stage() {
        gui::SetDialogs(nullptr);
        gui::SetUiClock(nullptr);
    }
    // Lets queued events and repaints happen: refreshes dirty controls, then processes events.
    void Settle() {
        gui::CControl::RefreshDirtyControls();
        QApplication::processEvents();
    }
    gui::CSteppedClock clock;
    gui::CScriptedDialogs dialogs;
};

} // namespace gui_test
