// The PNG reader against Qt's own encoder and decoder: pictures of noise, gradients and flat areas
// in RGB and RGBA, 1 x 1 up to a few hundred pixels, are written by QImage::save, read back by
// our reader, and must equal what Qt itself decodes from the same bytes, byte for byte. The encoder
// picks a row filter per row; the run must meet all five, or it proved less than it claims.
#include "gui/picture/png_reader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// Kinds of content that make the encoder choose different filters.
QImage MakeImage(int width, int height, bool alpha, int kind, std::mt19937& random) {
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    std::uniform_int_distribution<int> byte(0, 255);
    const int phase = byte(random);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int r, g, b, a = 255;
            switch (kind) {
            case 0: // noise
                r = byte(random), g = byte(random), b = byte(random), a = byte(random);
                break;
            case 1: // horizontal gradient: Sub wins
                r = (x * 3 + phase) & 255, g = (x * 5) & 255, b = (x * 7 + y) & 255, a = (x * 2) & 255;
                break;
            case 2: // vertical gradient: Up wins
                r = (y * 3 + phase) & 255, g = (y * 11) & 255, b = (y * 5) & 255, a = (255 - y) & 255;
                break;
            case 3: // smooth diagonal with a little noise: Average and Paeth
                r = ((x + y) * 2 + byte(random) % 3) & 255, g = ((x * y) / 7) & 255, b = (x ^ y) & 255,
                a = ((x + y) * 3) & 255;
                break;
            default: // flat blocks: None
                r = (x / 8) * 40 & 255, g = (y / 8) * 30 & 255, b = phase, a = 200;
                break;
            }
            image.setPixel(x, y, qRgba(r, g, b, alpha ? a : 255));
        }
    }
    return image;
}

// The filter byte of every row, read by inflating the IDAT data of the file ourselves.
std::vector<uint8_t> RowFilters(const QByteArray& png, int width, int height, int bytesPerPixel) {
    std::vector<uint8_t> idat;
    size_t at = 8;
    const auto* data = reinterpret_cast<const uint8_t*>(png.constData());
    while (at + 12 <= static_cast<size_t>(png.size())) {
        const uint32_t length = (uint32_t{data[at]} << 24) | (data[at + 1] << 16) | (data[at + 2] << 8) | data[at + 3];
        if (std::equal(data + at + 4, data + at + 8, "IDAT")) idat.insert(idat.end(), data + at + 8, data + at + 8 + length);
        at += 12 + length;
    }
    const size_t stride = static_cast<size_t>(width) * bytesPerPixel + 1;
    std::vector<uint8_t> raw(stride * height);
    uLongf rawSize = raw.size();
    EXPECT_EQ(uncompress(raw.data(), &rawSize, idat.data(), idat.size()), Z_OK);
    std::vector<uint8_t> filters;
    for (int y = 0; y < height; ++y) filters.push_back(raw[stride * y]);
    return filters;
}

TEST(PngReader, DecodesTwoHundredQtFilesExactlyAsQtDoes) {
    std::mt19937 random(20261208);
    const std::array<std::pair<int, int>, 10> sizes = {
        {{1, 1}, {2, 3}, {7, 1}, {1, 9}, {16, 16}, {33, 17}, {64, 48}, {100, 3}, {257, 31}, {320, 240}}};
    std::array<int, 5> filterUse{};
    int files = 0;
    for (bool alpha : {false, true}) {
        for (int kind = 0; kind < 5; ++kind) {
            for (const auto& [width, height] : sizes) {
                for (int copy = 0; copy < 2; ++copy, ++files) {
                    const QImage image = MakeImage(width, height, alpha, kind, random);
                    QByteArray png;
                    QBuffer buffer(&png);
                    buffer.open(QIODevice::WriteOnly);
                    ASSERT_TRUE(image.save(&buffer, "PNG"));
                    // What Qt decodes from these bytes, as packed 8-bit rows.
                    const QImage qt = QImage::fromData(png, "PNG")
                                          .convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
                    ASSERT_FALSE(qt.isNull());
                    const gui::CPicture ours =
                        gui::ReadPng(reinterpret_cast<const uint8_t*>(png.constData()), static_cast<size_t>(png.size()));
                    ASSERT_EQ(ours.Width(), width);
                    ASSERT_EQ(ours.Height(), height);
                    ASSERT_EQ(ours.HasAlpha(), alpha) << "kind " << kind << " " << width << "x" << height;
                    for (int y = 0; y < height; ++y)
                        ASSERT_EQ(0, std::memcmp(ours.PixelAt(0, y), qt.constScanLine(y), ours.RowBytes()))
                            << "row " << y << " of " << width << "x" << height << " kind " << kind << " alpha " << alpha;
                    for (uint8_t filter : RowFilters(png, width, height, alpha ? 4 : 3)) {
                        ASSERT_LT(filter, 5);
                        ++filterUse[filter];
                    }
                }
            }
        }
    }
    EXPECT_EQ(files, 200);
    for (int filter = 0; filter < 5; ++filter) EXPECT_GT(filterUse[static_cast<size_t>(filter)], 0) << "filter " << filter;
}

} // namespace
