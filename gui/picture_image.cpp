#include "gui/picture_image.h"

#include <cstdint>

namespace gui {

QImage ToImage(const CPicture& picture) {
    if (picture.Width() <= 0 || picture.Height() <= 0) return {};
    QImage image(picture.Width(), picture.Height(), picture.HasAlpha() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    picture.CopyToArgb32(image.bits(), static_cast<size_t>(image.bytesPerLine()));
    return image;
}

void CopyToImage(const CPicture& picture, const QRect& region, QImage& image) {
    const QRect area = region & QRect(0, 0, picture.Width(), picture.Height()) & image.rect();
    if (area.isEmpty()) return;
    const int step = picture.BytesPerPixel();
    const bool alpha = picture.HasAlpha();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uint8_t* source = picture.PixelAt(area.left(), y);
        auto* target = reinterpret_cast<QRgb*>(image.scanLine(y)) + area.left();
        for (int x = 0; x < area.width(); ++x, source += step)
            target[x] = qRgba(source[0], source[1], source[2], alpha ? source[3] : 255);
    }
}

CPicture PictureFromImage(const QImage& image) {
    const bool alpha = image.hasAlphaChannel();
    const QImage source = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    CPicture picture(source.width(), source.height(), alpha);
    for (int y = 0; y < source.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uint8_t* target = picture.PixelAt(0, y);
        for (int x = 0; x < source.width(); ++x, target += picture.BytesPerPixel()) {
            target[0] = static_cast<uint8_t>(qRed(row[x]));
            target[1] = static_cast<uint8_t>(qGreen(row[x]));
            target[2] = static_cast<uint8_t>(qBlue(row[x]));
            if (alpha) target[3] = static_cast<uint8_t>(qAlpha(row[x]));
        }
    }
    return picture;
}

QImage ImageFromResource(const platform::ResourceTable& table, int number) {
    return ToImage(PictureFromResource(table, number));
}

} // namespace gui
