// The main tool bar's pictures, drawn in code at twice the density (16 x 16 logical pixels):
// a blank page for "New Project", an open folder for "Open Project", a disk for "Save Project".
// User-interface thread (QImage painting needs no display, but the tool bar is made there).
#pragma once

#include <QImage>

namespace main_window {

QImage NewProjectIcon();
QImage OpenProjectIcon();
QImage SaveProjectIcon();

} // namespace main_window
