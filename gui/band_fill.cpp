#include "gui/band_fill.h"

#include <QColor>
#include <QPainter>
#include <QRect>

#include <algorithm>

namespace gui {

void FillInBands(QPainter& painter, const QRect& rect, const QColor& color) {
    for (int top = rect.top(); top <= rect.bottom(); top += kFillBandRows)
        painter.fillRect(rect.left(), top, rect.width(), std::min(kFillBandRows, rect.bottom() + 1 - top), color);
}

} // namespace gui
