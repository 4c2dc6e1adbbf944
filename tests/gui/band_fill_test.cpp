// Fills in bands give exactly the pixels of one fill, at both densities, for translucent colours
// over a varied ground, including a rectangle whose height is not a whole number of bands.
#include "gui/band_fill.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

QImage Ground(qreal density) {
    QImage image(qRound(60 * density), qRound(300 * density), QImage::Format_RGB32);
    image.setDevicePixelRatio(density);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 3 % 256, y % 256, (x * y) % 256));
    return image;
}

TEST(BandFill, GivesThePixelsOfOneFill) {
    for (const qreal density : {1.0, 2.0}) {
        for (const QRect& rect : {QRect(3, 5, 1, 251), QRect(0, 0, 60, 300), QRect(10, 17, 7, 40), QRect(4, 4, 9, 0)}) {
            QImage once = Ground(density);
            QImage banded = Ground(density);
            const QColor color(0, 0, 40, 48);
            {
                QPainter painter(&once);
                painter.fillRect(rect, color);
            }
            {
                QPainter painter(&banded);
                gui::FillInBands(painter, rect, color);
            }
            EXPECT_EQ(once, banded) << "density " << density << ", rect " << rect.x() << "," << rect.y() << " "
                                    << rect.width() << "x" << rect.height();
        }
    }
    // The fill did change something (the comparison is not between two untouched grounds).
    QImage ground = Ground(1.0);
    QImage filled = Ground(1.0);
    {
        QPainter painter(&filled);
        gui::FillInBands(painter, QRect(3, 5, 1, 251), QColor(0, 0, 40, 48));
    }
    EXPECT_NE(ground, filled);
}

} // namespace
