// The in-memory picture: blank value, fills that wrap and clip, partial draws cut on both sides
// and blended by the source's alpha, and the copies handed to the window system.
#include "gui/picture/picture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

using Rgba = std::vector<int>;

Rgba At(const gui::CPicture& picture, int x, int y) {
    const uint8_t* pixel = picture.PixelAt(x, y);
    Rgba values(pixel, pixel + picture.BytesPerPixel());
    return values;
}

// Which pixels of a picture differ from the blank value, as a row-by-row map of '#' and '.'.
std::vector<std::string> Marked(const gui::CPicture& picture) {
    std::vector<std::string> rows;
    for (int y = 0; y < picture.Height(); ++y) {
        std::string row;
        for (int x = 0; x < picture.Width(); ++x)
            row += picture.PixelAt(x, y)[0] == gui::CPicture::kBlankValue ? '.' : '#';
        rows.push_back(row);
    }
    return rows;
}

// A picture where pixel (x, y) is (x, y, x + y [, alpha]).
gui::CPicture Numbered(int width, int height, bool alpha, uint8_t alphaValue = 255) {
    gui::CPicture picture(width, height, alpha);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = picture.PixelAt(x, y);
            pixel[0] = static_cast<uint8_t>(x);
            pixel[1] = static_cast<uint8_t>(y);
            pixel[2] = static_cast<uint8_t>(x + y);
            if (alpha) pixel[3] = alphaValue;
        }
    return picture;
}

TEST(Picture, ANewPictureIsBlankInEveryChannelAndUnclipped) {
    for (const bool alpha : {false, true}) {
        gui::CPicture picture(5, 3, alpha);
        EXPECT_EQ(picture.BytesPerPixel(), alpha ? 4 : 3);
        EXPECT_EQ(picture.RowBytes(), alpha ? 20u : 15u);
        const std::vector<uint8_t> all(picture.Pixels(), picture.Pixels() + picture.RowBytes() * 3);
        EXPECT_EQ(all, std::vector<uint8_t>(all.size(), 160));
        EXPECT_EQ(picture.Clip().left, 0);
        EXPECT_EQ(picture.Clip().top, 0);
        EXPECT_EQ(picture.Clip().right, 4);
        EXPECT_EQ(picture.Clip().bottom, 2);
    }
    EXPECT_THROW(gui::CPicture(-1, 2, false), std::invalid_argument);
    gui::CPicture empty(0, 0, true);
    empty.FillRect(0, 0, 10, 10, 1, 2, 3); // nothing to fill, nothing to divide by
    EXPECT_EQ(empty.ToBitmap().size(), 0u);
}

TEST(Picture, FillsColourAndClearAlphaInsideTheRectangleOnly) {
    gui::CPicture rgb(6, 4, false);
    rgb.FillRect(1, 1, 3, 2, 10, 20, 30);
    EXPECT_EQ(Marked(rgb), (std::vector<std::string>{"......", ".###..", ".###..", "......"}));
    EXPECT_EQ(At(rgb, 3, 2), (Rgba{10, 20, 30}));
    gui::CPicture rgba(2, 2, true);
    rgba.FillRect(0, 0, 1, 1, 1, 2, 3);
    EXPECT_EQ(At(rgba, 0, 0), (Rgba{1, 2, 3, 0}));
    EXPECT_EQ(At(rgba, 1, 0), (Rgba{160, 160, 160, 160}));
    rgba.FillRect(0, 0, 0, 5, 9, 9, 9);  // no width
    rgba.FillRect(0, 0, 5, -1, 9, 9, 9); // negative height
    EXPECT_EQ(At(rgba, 1, 1), (Rgba{160, 160, 160, 160}));
}

TEST(Picture, FillsWrapAroundTheEdgesModuloTheSize) {
    gui::CPicture picture(5, 4, false);
    picture.FillRect(4, 3, 2, 2, 0, 0, 0); // runs off the bottom-right corner
    EXPECT_EQ(Marked(picture), (std::vector<std::string>{"#...#", ".....", ".....", "#...#"}));
    gui::CPicture negative(5, 4, false);
    negative.FillRect(-1, -6, 2, 1, 0, 0, 0); // column -1 is 4, row -6 is 2
    EXPECT_EQ(Marked(negative), (std::vector<std::string>{".....", ".....", "#...#", "....."}));
    gui::CPicture far(5, 4, false);
    far.FillRect(2000000001, -2000000000, 1, 1, 0, 0, 0); // 2000000001 % 5 = 1, -2e9 % 4 = 0
    EXPECT_EQ(Marked(far), (std::vector<std::string>{".#...", ".....", ".....", "....."}));
    gui::CPicture huge(3, 2, false);
    huge.FillRect(-7, 5, 0x7fffffff, 0x7fffffff, 0, 0, 0); // larger than the picture: all of it, once
    EXPECT_EQ(Marked(huge), (std::vector<std::string>{"###", "###"}));
}

TEST(Picture, FillsStayInsideTheClipRectangleAfterWrapping) {
    gui::CPicture picture(6, 4, false);
    picture.SetClip(1, 1, 4, 2);
    picture.FillRect(0, 0, 6, 4, 0, 0, 0);
    EXPECT_EQ(Marked(picture), (std::vector<std::string>{"......", ".####.", ".####.", "......"}));
    gui::CPicture wrapped(6, 4, false);
    wrapped.SetClip(0, 0, 1, 3);
    wrapped.FillRect(5, 0, 2, 1, 0, 0, 0); // column 5 is outside the clip, column 6 wraps to 0
    EXPECT_EQ(Marked(wrapped), (std::vector<std::string>{"#.....", "......", "......", "......"}));
    // A clip rectangle is kept inside the picture; one that misses it makes nothing drawable.
    gui::CPicture kept(4, 4, false);
    kept.SetClip(-5, 2, 99, 99);
    EXPECT_EQ(kept.Clip().left, 0);
    EXPECT_EQ(kept.Clip().right, 3);
    EXPECT_EQ(kept.Clip().bottom, 3);
    kept.SetClip(10, 10, 20, 20);
    kept.FillRect(0, 0, 4, 4, 0, 0, 0);
    EXPECT_EQ(Marked(kept), (std::vector<std::string>{"....", "....", "....", "...."}));
    kept.ResetClip();
    kept.FillRect(3, 3, 1, 1, 0, 0, 0);
    EXPECT_EQ(Marked(kept)[3], "...#");
}

TEST(Picture, DrawCopiesAPartOfAnOpaqueSource) {
    const gui::CPicture source = Numbered(4, 3, false);
    gui::CPicture target(5, 5, true);
    target.Draw(source, 1, 1, 2, 2, 2, 0);
    EXPECT_EQ(Marked(target), (std::vector<std::string>{"..##.", "..##.", ".....", ".....", "....."}));
    EXPECT_EQ(At(target, 2, 0), (Rgba{1, 1, 2, 255}));
    EXPECT_EQ(At(target, 3, 1), (Rgba{2, 2, 4, 255}));
}

TEST(Picture, DrawIsCutToTheSourceAndToTheTargetsClipRectangle) {
    const gui::CPicture source = Numbered(4, 4, false);
    // The part starts left of and above the source: only its inside lands, moved along.
    gui::CPicture target(6, 6, false);
    target.Draw(source, -2, -1, 4, 3, 0, 0);
    EXPECT_EQ(Marked(target),
              (std::vector<std::string>{"......", "..##..", "..##..", "......", "......", "......"}));
    EXPECT_EQ(At(target, 2, 1), (Rgba{0, 0, 0}));
    // The part runs past the source's right and bottom edges.
    gui::CPicture past(6, 6, false);
    past.Draw(source, 3, 2, 10, 10, 1, 1);
    EXPECT_EQ(Marked(past),
              (std::vector<std::string>{"......", ".#....", ".#....", "......", "......", "......"}));
    EXPECT_EQ(At(past, 1, 2), (Rgba{3, 3, 6}));
    // The target's clip cuts on every side, and the source moves along with the left/top cut.
    gui::CPicture clipped(6, 6, false);
    clipped.SetClip(2, 2, 3, 4);
    clipped.Draw(source, 0, 0, 4, 4, 1, 1);
    EXPECT_EQ(Marked(clipped),
              (std::vector<std::string>{"......", "......", "..##..", "..##..", "..##..", "......"}));
    EXPECT_EQ(At(clipped, 2, 2), (Rgba{1, 1, 2}));
    // Entirely outside either side, or far away: nothing changes, nothing overflows.
    gui::CPicture untouched(3, 3, false);
    untouched.Draw(source, 0, 0, 4, 4, 3, 0);
    untouched.Draw(source, 0, 0, 4, 4, -4, 0);
    untouched.Draw(source, 4, 0, 4, 4, 0, 0);
    untouched.Draw(source, 0, 0, 0x7fffffff, 0x7fffffff, -0x7fffffff - 1, -0x7fffffff - 1);
    untouched.Draw(source, -0x7fffffff - 1, 0, 0x7fffffff, 4, 0x7fffffff, 0);
    EXPECT_EQ(Marked(untouched), (std::vector<std::string>{"...", "...", "..."}));
}

TEST(Picture, DrawBlendsByTheSourcesAlpha) {
    gui::CPicture target(4, 1, false);
    target.FillRect(0, 0, 4, 1, 200, 100, 0);
    gui::CPicture source(4, 1, true);
    const uint8_t alphas[] = {0, 255, 128, 1};
    for (int x = 0; x < 4; ++x) {
        uint8_t* pixel = source.PixelAt(x, 0);
        pixel[0] = 0;
        pixel[1] = 255;
        pixel[2] = 255;
        pixel[3] = alphas[x];
    }
    target.Draw(source, 0, 0, 4, 1, 0, 0);
    EXPECT_EQ(At(target, 0, 0), (Rgba{200, 100, 0}));   // transparent: untouched
    EXPECT_EQ(At(target, 1, 0), (Rgba{0, 255, 255}));   // opaque: the source
    EXPECT_EQ(At(target, 2, 0), (Rgba{100, 178, 128})); // (s*128 + d*127 + 127) / 255
    EXPECT_EQ(At(target, 3, 0), (Rgba{199, 101, 1}));

    // Onto an alpha picture the coverage adds up: a + d * (255 - a) / 255.
    gui::CPicture layered(4, 1, true);
    layered.FillRect(0, 0, 4, 1, 200, 100, 0); // alpha 0 after the fill
    layered.PixelAt(3, 0)[3] = 200;
    layered.Draw(source, 0, 0, 4, 1, 0, 0);
    EXPECT_EQ(At(layered, 0, 0)[3], 0);
    EXPECT_EQ(At(layered, 1, 0)[3], 255);
    EXPECT_EQ(At(layered, 2, 0)[3], 128);
    EXPECT_EQ(At(layered, 3, 0)[3], 1 + 200 * 254 / 255);
}

TEST(Picture, TheBitmapCopyIsBlueGreenRedTopDownWithRowsPaddedToFourBytes) {
    for (const bool alpha : {false, true}) {
        for (const int width : {1, 2, 3, 4, 5}) {
            const gui::CPicture picture = Numbered(width, 3, alpha, 77);
            const size_t stride = picture.BitmapRowBytes();
            EXPECT_EQ(stride % 4, 0u);
            EXPECT_GE(stride, static_cast<size_t>(width) * 3);
            EXPECT_LT(stride, static_cast<size_t>(width) * 3 + 4);
            const std::vector<uint8_t> bitmap = picture.ToBitmap();
            ASSERT_EQ(bitmap.size(), stride * 3);
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < width; ++x) {
                    const uint8_t* pixel = bitmap.data() + stride * y + x * 3;
                    EXPECT_EQ(pixel[0], x + y) << width << " " << x << "," << y;
                    EXPECT_EQ(pixel[1], y);
                    EXPECT_EQ(pixel[2], x);
                }
                for (size_t pad = width * 3; pad < stride; ++pad)
                    EXPECT_EQ(bitmap[stride * y + pad], 0);
            }
        }
    }
}

TEST(Picture, TheArgbCopyFillsTheCallersRowsAndLeavesTheirPadding) {
    const gui::CPicture rgba = Numbered(3, 2, true, 77);
    const size_t stride = 16; // one spare pixel per row
    std::vector<uint8_t> rows(stride * 2, 0xee);
    rgba.CopyToArgb32(rows.data(), stride);
    auto word = [&](int x, int y) {
        uint32_t value;
        std::memcpy(&value, rows.data() + stride * y + x * 4, 4);
        return value;
    };
    EXPECT_EQ(word(0, 0), 0x4d000000u);
    EXPECT_EQ(word(2, 1), 0x4d020103u);
    EXPECT_EQ(rows[12], 0xee); // the spare pixel
    EXPECT_EQ(rows[stride + 15], 0xee);

    const gui::CPicture rgb = Numbered(2, 1, false);
    std::vector<uint8_t> opaque(8);
    rgb.CopyToArgb32(opaque.data(), 8);
    uint32_t second;
    std::memcpy(&second, opaque.data() + 4, 4);
    EXPECT_EQ(second, 0xff010001u);
}

} // namespace
