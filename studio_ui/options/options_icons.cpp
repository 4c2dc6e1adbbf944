#include "studio_ui/options/options_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace options {

namespace {
const QColor kOutline(40, 40, 48);
const QColor kFolderFace(226, 186, 88);
const QColor kFolderBack(196, 150, 60);

// A folder filling a square of the given side, drawn at twice the density for sharp edges.
void DrawFolder(QPainter& painter, double side) {
    const double u = side / 16.0;
    painter.setPen(QPen(kOutline, 0.8 * u));
    painter.setBrush(kFolderBack);
    QPainterPath back;
    back.moveTo(1 * u, 3 * u);
    back.lineTo(6 * u, 3 * u);
    back.lineTo(7.5 * u, 4.5 * u);
    back.lineTo(15 * u, 4.5 * u);
    back.lineTo(15 * u, 14 * u);
    back.lineTo(1 * u, 14 * u);
    back.closeSubpath();
    painter.drawPath(back);
    painter.setBrush(kFolderFace);
    painter.drawRect(QRectF(1 * u, 6 * u, 14 * u, 8 * u));
}

QImage Canvas(int side) {
    QImage image(side * 2, side * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2.0);
    image.fill(Qt::transparent);
    return image;
}

QImage FolderWithSign(bool plus) {
    QImage image = Canvas(16);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawFolder(painter, 14.0);
    const QColor sign = plus ? QColor(30, 140, 50) : QColor(190, 40, 30);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(11.5, 11.5), 4.3, 4.3);
    painter.setBrush(sign);
    painter.drawEllipse(QPointF(11.5, 11.5), 3.6, 3.6);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(9.4, 11.0, 4.2, 1.0));
    if (plus) painter.drawRect(QRectF(11.0, 9.4, 1.0, 4.2));
    return image;
}
} // namespace

QIcon AudioOutputIcon() {
    QImage image = Canvas(32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kOutline, 1.2));
    painter.setBrush(QColor(120, 128, 140));
    QPainterPath speaker;
    speaker.moveTo(4, 12);
    speaker.lineTo(10, 12);
    speaker.lineTo(17, 5);
    speaker.lineTo(17, 27);
    speaker.lineTo(10, 20);
    speaker.lineTo(4, 20);
    speaker.closeSubpath();
    painter.drawPath(speaker);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(40, 110, 190), 2.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(13, 10, 8, 12), -50 * 16, 100 * 16);
    painter.drawArc(QRectF(12, 6, 14, 20), -50 * 16, 100 * 16);
    painter.drawArc(QRectF(11, 2, 20, 28), -50 * 16, 100 * 16);
    return QIcon(QPixmap::fromImage(image));
}

QIcon VstPathsIcon() {
    QImage image = Canvas(32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawFolder(painter, 32.0);
    // A plug-in's jack on the folder: the folders hold plug-ins.
    painter.setPen(QPen(kOutline, 1.4));
    painter.setBrush(QColor(70, 70, 80));
    painter.drawRoundedRect(QRectF(11, 16, 10, 7), 2, 2);
    painter.drawLine(QPointF(13.5, 23), QPointF(13.5, 26));
    painter.drawLine(QPointF(18.5, 23), QPointF(18.5, 26));
    return QIcon(QPixmap::fromImage(image));
}

QImage AddFolderIcon() {
    return FolderWithSign(true);
}
QImage RemoveFolderIcon() {
    return FolderWithSign(false);
}

} // namespace options
