// Artwork for the skinned-panel tests, drawn in code so every run gets the same pixels: plain
// strips whose frames have distinct colours (for pixel probes), and a small set of knob, slider,
// button and background pictures that look like a panel (for the screenshot).
#pragma once

#include "gui/picture/picture.h"
#include "gui/picture_image.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdint>

namespace lite_artwork {

// The solid colour of frame f of a probe strip.
inline QRgb FrameColor(int frame) { return qRgb(frame * 4 % 256, 200, 255 - frame * 4 % 256); }

// frames frames of width x height, each a solid colour (FrameColor) with a white first column,
// so a probe tells the frame and a scaled copy shows whether edges stayed sharp.
inline gui::CPicture ProbeStrip(int frames, int width, int height) {
    gui::CPicture strip(width, height * frames, false);
    for (int f = 0; f < frames; ++f) {
        const QRgb c = FrameColor(f);
        strip.FillRect(0, f * height, width, height, static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                       static_cast<uint8_t>(qBlue(c)));
        strip.FillRect(0, f * height, 1, height, 255, 255, 255);
    }
    return strip;
}

// A solid picture of one colour.
inline gui::CPicture Solid(int width, int height, QRgb color, bool alpha = false) {
    gui::CPicture picture(width, height, alpha);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = picture.PixelAt(x, y);
            p[0] = static_cast<uint8_t>(qRed(color));
            p[1] = static_cast<uint8_t>(qGreen(color));
            p[2] = static_cast<uint8_t>(qBlue(color));
            if (alpha) p[3] = 255;
        }
    return picture;
}

// A knob strip: a dark cap with a light pointer and an accent arc sweeping 270 degrees.
inline gui::CPicture KnobStrip(int frames, int size) {
    QImage image(size, size * frames, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double pi = std::acos(-1.0);
    for (int f = 0; f < frames; ++f) {
        const double value = frames > 1 ? static_cast<double>(f) / (frames - 1) : 0.0;
        const QPointF centre(size / 2.0, f * size + size / 2.0);
        const double radius = size / 2.0 - 4.0;
        const QRectF arcBox(centre.x() - radius - 2.5, centre.y() - radius - 2.5, 2 * radius + 5, 2 * radius + 5);
        painter.setPen(QPen(QColor(30, 33, 38), 2.5, Qt::SolidLine, Qt::FlatCap));
        painter.drawArc(arcBox, -45 * 16, 270 * 16);
        painter.setPen(QPen(QColor(255, 170, 40), 2.5, Qt::SolidLine, Qt::FlatCap));
        painter.drawArc(arcBox, 225 * 16, static_cast<int>(-270 * 16 * value));
        QRadialGradient cap(centre - QPointF(radius / 3, radius / 3), radius * 1.6);
        cap.setColorAt(0, QColor(120, 124, 132));
        cap.setColorAt(1, QColor(36, 38, 44));
        painter.setPen(QPen(QColor(16, 16, 20), 1));
        painter.setBrush(cap);
        painter.drawEllipse(centre, radius - 1, radius - 1);
        const double angle = (225.0 - 270.0 * value) * pi / 180.0;
        const QPointF tip(centre.x() + std::cos(angle) * (radius - 4), centre.y() - std::sin(angle) * (radius - 4));
        const QPointF base(centre.x() + std::cos(angle) * radius * 0.25, centre.y() - std::sin(angle) * radius * 0.25);
        painter.setPen(QPen(QColor(240, 240, 236), 2.2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(base, tip);
    }
    painter.end();
    return gui::PictureFromImage(image);
}

// A slider handle: a light grip with a centre line, vertical (wide and short) or horizontal.
inline gui::CPicture SliderHandle(int width, int height, bool vertical) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, vertical ? 0 : width, vertical ? height : 0);
    face.setColorAt(0, QColor(210, 212, 216));
    face.setColorAt(1, QColor(130, 134, 140));
    painter.setPen(QPen(QColor(20, 20, 24), 1));
    painter.setBrush(face);
    painter.drawRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 2, 2);
    painter.setPen(QPen(QColor(255, 170, 40), 2));
    if (vertical) painter.drawLine(QPointF(3, height / 2.0), QPointF(width - 3, height / 2.0));
    else painter.drawLine(QPointF(width / 2.0, 3), QPointF(width / 2.0, height - 3));
    painter.end();
    return gui::PictureFromImage(image);
}

// A slider's groove, drawn over the panel with alpha.
inline gui::CPicture SliderBack(int width, int height, bool vertical) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(70, 74, 80), 1));
    painter.setBrush(QColor(14, 15, 18));
    if (vertical) painter.drawRoundedRect(QRectF(width / 2.0 - 2.5, 2.5, 5, height - 5), 2, 2);
    else painter.drawRoundedRect(QRectF(2.5, height / 2.0 - 2.5, width - 5, 5), 2, 2);
    painter.end();
    return gui::PictureFromImage(image);
}

// A button picture: up (raised), pressed (sunken) or latched (sunken with a lit lamp), labelled.
inline gui::CPicture ButtonPicture(int width, int height, int state, const char* label) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, 0, height);
    face.setColorAt(0, state == 0 ? QColor(96, 100, 108) : QColor(46, 48, 54));
    face.setColorAt(1, state == 0 ? QColor(52, 55, 62) : QColor(70, 74, 80));
    painter.setPen(QPen(QColor(12, 12, 14), 1));
    painter.setBrush(face);
    painter.drawRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(state == 2 ? QColor(255, 170, 40) : QColor(60, 44, 24));
    painter.drawEllipse(QPointF(9, height / 2.0), 3, 3);
    QFont font("DejaVu Sans", 7, QFont::Bold);
    painter.setFont(font);
    painter.setPen(QColor(228, 228, 224));
    painter.drawText(QRectF(15, 0, width - 17, height).translated(0, state == 0 ? 0 : 1), Qt::AlignCenter, label);
    painter.end();
    return gui::PictureFromImage(image);
}

} // namespace lite_artwork
