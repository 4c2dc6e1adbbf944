// Helpers of the standard controls' tests: a window that records what its children report, and
// pixel measures of rendered captions.
#pragma once

#include "gui/button.h"
#include "gui/combo_box.h"
#include "gui/window.h"

#include <QImage>
#include <QRect>
#include <QWidget>

#include <string>
#include <vector>

namespace gui_test {

// A top-level window that notes every report of its children as "clicked <name>",
// "combo <name>" or "changed <name>", the name being the child's widget's object name.
class CRecorder : public gui::CWindow {
public:
    std::vector<std::string> reports;
    gui::CControl* last = nullptr;

    void Make(int width, int height) {
        CreateWindow(nullptr, "Controls", 0, 0, width, height, false);
        Show();
    }
    void ButtonClicked(gui::CButton* button) override { Note("clicked", button); }
    void ComboChanged(gui::CComboBox* combo) override { Note("combo", combo); }
    void ChildChanged(gui::CControl* child) override { Note("changed", child); }
    int Count(const std::string& report) const {
        int n = 0;
        for (const std::string& r : reports) n += r == report;
        return n;
    }

private:
    void Note(const char* what, gui::CControl* child) {
        last = child;
        reports.push_back(std::string(what) + " " + child->Widget()->objectName().toStdString());
    }
};

// The bounding box of the pixels of one colour (device pixels), empty when there are none.
inline QRect PixelsOf(const QImage& image, QRgb colour) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == colour) box |= QRect(x, y, 1, 1);
    return box;
}

// The bounding box of the pixels differing from the background, inside the given area.
inline QRect InkOf(const QImage& image, QRgb background, const QRect& area) {
    QRect box;
    const QRect within = area & image.rect();
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != background) box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace gui_test
