#include "studio_ui/pattern_editor/pattern_editor_icons.h"

#include <QPainter>
#include <QPainterPath>

namespace pattern_editor {

namespace {

const QColor kOutline(40, 40, 48);
const QColor kSheet(250, 250, 250);
const QColor kGreen(46, 150, 70);
const QColor kRed(196, 56, 48);
const QColor kBlue(52, 104, 190);
constexpr int kSide = 16;

QImage Canvas() {
    QImage image(kSide * 2, kSide * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2.0);
    image.fill(Qt::transparent);
    return image;
}

// A small sheet with four note bars: a pattern.
void DrawPattern(QPainter& painter, qreal x, qreal y) {
    painter.setPen(QPen(kOutline, 0.9));
    painter.setBrush(kSheet);
    painter.drawRect(QRectF(x, y, 10, 11));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBlue);
    painter.drawRect(QRectF(x + 2, y + 2.5, 3, 1.5));
    painter.drawRect(QRectF(x + 5, y + 5, 3, 1.5));
    painter.drawRect(QRectF(x + 3, y + 7.5, 4, 1.5));
}

void DrawBadge(QPainter& painter, bool plus, const QColor& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(8.5, 8.5, 7, 7));
    painter.setPen(QPen(Qt::white, 1.4));
    painter.drawLine(QPointF(10.2, 12), QPointF(13.8, 12));
    if (plus) painter.drawLine(QPointF(12, 10.2), QPointF(12, 13.8));
}

// A lane with three steps of a control track.
void DrawLane(QPainter& painter) {
    painter.setPen(QPen(kOutline, 0.9));
    painter.setBrush(kSheet);
    painter.drawRect(QRectF(1.5, 3.5, 12, 8));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBlue);
    painter.drawRect(QRectF(3, 8, 2, 2));
    painter.drawRect(QRectF(6.5, 5.5, 2, 2));
    painter.drawRect(QRectF(10, 7, 2, 2));
}

} // namespace

QImage MakeIcon(Icon icon) {
    QImage image = Canvas();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    switch (icon) {
    case Icon::kAddPattern:
        DrawPattern(painter, 1.5, 1.5);
        DrawBadge(painter, true, kGreen);
        break;
    case Icon::kRemovePattern:
        DrawPattern(painter, 1.5, 1.5);
        DrawBadge(painter, false, kRed);
        break;
    case Icon::kDuplicatePattern:
        DrawPattern(painter, 1.5, 1.5);
        DrawPattern(painter, 4.5, 4);
        break;
    case Icon::kRenamePattern: {
        DrawPattern(painter, 1.5, 1.5);
        // A pencil across the corner.
        QPainterPath pencil;
        pencil.moveTo(7, 14.5);
        pencil.lineTo(7.6, 12);
        pencil.lineTo(13.5, 6);
        pencil.lineTo(15.5, 8);
        pencil.lineTo(9.5, 14);
        pencil.closeSubpath();
        painter.setPen(QPen(kOutline, 0.8));
        painter.setBrush(QColor(240, 190, 60));
        painter.drawPath(pencil);
        break;
    }
    case Icon::kPlay: {
        QPainterPath triangle;
        triangle.moveTo(4, 2.5);
        triangle.lineTo(13.5, 8);
        triangle.lineTo(4, 13.5);
        triangle.closeSubpath();
        painter.setPen(QPen(kOutline, 0.9));
        painter.setBrush(kGreen);
        painter.drawPath(triangle);
        break;
    }
    case Icon::kStop:
        painter.setPen(QPen(kOutline, 0.9));
        painter.setBrush(QColor(70, 70, 78));
        painter.drawRect(QRectF(3.5, 3.5, 9, 9));
        break;
    case Icon::kLoop: {
        painter.setPen(QPen(kBlue, 1.8));
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(2.5, 3.5, 11, 9), 40 * 16, 280 * 16);
        QPainterPath head;
        head.moveTo(10.5, 1.5);
        head.lineTo(14.5, 4.8);
        head.lineTo(9.8, 6.5);
        head.closeSubpath();
        painter.setPen(Qt::NoPen);
        painter.setBrush(kBlue);
        painter.drawPath(head);
        break;
    }
    case Icon::kAddTrack:
        DrawLane(painter);
        DrawBadge(painter, true, kGreen);
        break;
    case Icon::kRemoveTrack:
        DrawLane(painter);
        DrawBadge(painter, false, kRed);
        break;
    }
    return image;
}

} // namespace pattern_editor
