#include "studio_ui/main_window/tool_bar_icons.h"

#include <QPainter>
#include <QPainterPath>

namespace main_window {

namespace {

const QColor kOutline(40, 40, 48);
constexpr int kSide = 16;

// A transparent square of kSide logical pixels at density 2, with a painter in logical units.
QImage Canvas() {
    QImage image(kSide * 2, kSide * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2.0);
    image.fill(Qt::transparent);
    return image;
}

void Prepare(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(kOutline, 0.9));
}

} // namespace

QImage NewProjectIcon() {
    QImage image = Canvas();
    QPainter painter(&image);
    Prepare(painter);
    // A sheet with its top right corner folded over.
    QPainterPath sheet;
    sheet.moveTo(3, 1.5);
    sheet.lineTo(10, 1.5);
    sheet.lineTo(13.5, 5);
    sheet.lineTo(13.5, 14.5);
    sheet.lineTo(3, 14.5);
    sheet.closeSubpath();
    painter.setBrush(QColor(250, 250, 250));
    painter.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(10, 1.5);
    fold.lineTo(10, 5);
    fold.lineTo(13.5, 5);
    painter.setBrush(QColor(205, 205, 210));
    painter.drawPath(fold);
    return image;
}

QImage OpenProjectIcon() {
    QImage image = Canvas();
    QPainter painter(&image);
    Prepare(painter);
    // The folder's back with its tab, and its front flap tilted open.
    QPainterPath back;
    back.moveTo(1, 3);
    back.lineTo(6, 3);
    back.lineTo(7.5, 4.5);
    back.lineTo(13, 4.5);
    back.lineTo(13, 14);
    back.lineTo(1, 14);
    back.closeSubpath();
    painter.setBrush(QColor(196, 150, 60));
    painter.drawPath(back);
    QPainterPath front;
    front.moveTo(3.5, 7);
    front.lineTo(15.5, 7);
    front.lineTo(13, 14);
    front.lineTo(1, 14);
    front.closeSubpath();
    painter.setBrush(QColor(232, 194, 96));
    painter.drawPath(front);
    return image;
}

QImage SaveProjectIcon() {
    QImage image = Canvas();
    QPainter painter(&image);
    Prepare(painter);
    // A disk: the body with a cut corner, the label below and the shutter above.
    QPainterPath body;
    body.moveTo(1.5, 1.5);
    body.lineTo(12.5, 1.5);
    body.lineTo(14.5, 3.5);
    body.lineTo(14.5, 14.5);
    body.lineTo(1.5, 14.5);
    body.closeSubpath();
    painter.setBrush(QColor(70, 100, 170));
    painter.drawPath(body);
    painter.setBrush(QColor(245, 245, 245));
    painter.drawRect(QRectF(3.5, 8.5, 9, 6));
    painter.setBrush(QColor(200, 205, 215));
    painter.drawRect(QRectF(4.5, 1.5, 7, 4.5));
    painter.setBrush(QColor(70, 100, 170));
    painter.drawRect(QRectF(9, 2.3, 1.6, 3));
    return image;
}

} // namespace main_window
