// Pictures handed to Qt: whole copies keep every channel, region copies touch only their region,
// code-drawn images become pictures, and embedded PNG resources arrive as images.
#include "gui/picture_image.h"
#include "platform/error.h"
#include "platform/resources.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

gui::CPicture Pattern(int width, int height, bool alpha) {
    gui::CPicture picture(width, height, alpha);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = picture.PixelAt(x, y);
            p[0] = static_cast<uint8_t>(x * 37 + y);
            p[1] = static_cast<uint8_t>(y * 53 + 7);
            p[2] = static_cast<uint8_t>(x * y + 3);
            if (alpha) p[3] = static_cast<uint8_t>((x + y) * 29);
        }
    return picture;
}

TEST(PictureImage, WholeCopiesKeepEveryChannelAndRoundTrip) {
    for (bool alpha : {false, true}) {
        const gui::CPicture picture = Pattern(13, 7, alpha); // an odd width: rows are not 4-aligned
        const QImage image = gui::ToImage(picture);
        ASSERT_EQ(image.size(), QSize(13, 7));
        EXPECT_EQ(image.hasAlphaChannel(), alpha);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x) {
                const uint8_t* p = picture.PixelAt(x, y);
                EXPECT_EQ(image.pixel(x, y), qRgba(p[0], p[1], p[2], alpha ? p[3] : 255)) << x << "," << y;
            }
        const gui::CPicture back = gui::PictureFromImage(image);
        EXPECT_EQ(back.HasAlpha(), alpha);
        ASSERT_EQ(back.RowBytes() * back.Height(), picture.RowBytes() * picture.Height());
        EXPECT_EQ(0, std::memcmp(back.Pixels(), picture.Pixels(), picture.RowBytes() * picture.Height()));
    }
    EXPECT_TRUE(gui::ToImage(gui::CPicture()).isNull());
}

TEST(PictureImage, RegionCopiesStayInsideTheRegionAndThePicture) {
    const gui::CPicture picture = Pattern(10, 10, false);
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    gui::CopyToImage(picture, QRect(8, 8, 50, 50), image); // runs off the corner: cut
    gui::CopyToImage(picture, QRect(-5, 0, 6, 1), image);  // starts left of it: cut
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool copied = (x >= 8 && y >= 8) || (x == 0 && y == 0);
            const uint8_t* p = picture.PixelAt(x, y);
            EXPECT_EQ(image.pixel(x, y), copied ? qRgb(p[0], p[1], p[2]) : qRgb(1, 2, 3)) << x << "," << y;
        }
}

TEST(PictureImage, EmbeddedPngsArriveAsTheImagesQtWrote) {
    QImage original(21, 9, QImage::Format_ARGB32);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 21; ++x) original.setPixel(x, y, qRgba(x * 12, y * 28, 200 - x * 5, 255 - x * 11));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(original.save(&buffer, "PNG"));
    const platform::Resource rows[] = {
        {"BINARY", 130, reinterpret_cast<const unsigned char*>(png.constData()), static_cast<size_t>(png.size())}};
    const platform::ResourceTable table{rows, 1};
    const QImage loaded = gui::ImageFromResource(table, 130);
    ASSERT_EQ(loaded.size(), original.size());
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 21; ++x) EXPECT_EQ(loaded.pixel(x, y), original.pixel(x, y)) << x << "," << y;
    try {
        gui::ImageFromResource(table, 131);
        FAIL();
    } catch (const platform::CError& e) {
        EXPECT_STREQ(e.what(), "Picture Resource 131 Not Found");
    }
}

} // namespace
