// Translucent fills in bands, for views that draw many thin tall stripes (a grid's step lines).
// Qt's raster engine blends a translucent fill of more than 95 device rows on its thread pool,
// in pieces it waits for; for a line one pixel wide the hand-over costs far more than the
// blending (on two cores a note grid's repaint took twice its own CPU time in thread wake-ups).
// Bands short enough to stay on the painting thread give the same pixels.
//
// Threads: whichever thread owns the painter.
#pragma once

class QColor;
class QPainter;
class QRect;

namespace gui {

// Logical rows per band: at density 2 a band stays under the engine's 96 device rows.
constexpr int kFillBandRows = 40;

// Fills the rectangle (logical pixels) with the colour, kFillBandRows rows at a time.
void FillInBands(QPainter& painter, const QRect& rect, const QColor& color);

} // namespace gui
