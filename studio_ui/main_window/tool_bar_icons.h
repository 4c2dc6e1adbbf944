// The main tool bar's pictures (16 x 16 logical pixels at density 2): a blank page for
// "New Project", an open folder for "Open Project", a disk for "Save Project". They are drawn by
// the artwork generator and embedded in the program (studio_ui/icons/studio_icons.h).
// Any thread (no widget is touched).
#pragma once

#include <QImage>

namespace main_window {

QImage NewProjectIcon();
QImage OpenProjectIcon();
QImage SaveProjectIcon();

} // namespace main_window
