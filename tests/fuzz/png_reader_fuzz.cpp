// The PNG reader: any bytes either give a picture of at least one pixel that is no larger than
// its compressed data can inflate to, or raise one of the reader's texts. A picture read goes
// through every copy and draw a view would make of it.
#include "gui/picture/png_reader.h"
#include "tests/fuzz/fuzz_support.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gui::CPicture picture;
    if (!fuzz::Accepts([&] { picture = gui::ReadPng(data, size); })) return 0;
    fuzz::Check(picture.Width() > 0 && picture.Height() > 0, "a picture has at least one pixel");
    // Deflate cannot expand data more than about 1032 times.
    const size_t bytes = picture.RowBytes() * picture.Height();
    fuzz::Check(bytes <= size * 1100 + 1024, "no more pixels than the data can inflate to");
    fuzz::Check(bytes <= gui::kMaxPngImageBytes, "no picture past the size limit");

    const std::vector<uint8_t> bitmap = picture.ToBitmap();
    fuzz::Check(bitmap.size() == picture.BitmapRowBytes() * picture.Height(), "the bitmap holds every row");
    std::vector<uint8_t> argb(static_cast<size_t>(picture.Width()) * 4 * picture.Height());
    picture.CopyToArgb32(argb.data(), static_cast<size_t>(picture.Width()) * 4);

    // Compose it onto a small panel at offsets that cut it on every side.
    gui::CPicture panel(32, 24, false);
    panel.SetClip(2, 3, 29, 20);
    const int offset = data[size - 1] % 64 - 32;
    panel.Draw(picture, offset, -offset, picture.Width(), picture.Height(), -offset, offset);
    panel.FillRect(offset, offset, picture.Width(), picture.Height(), 1, 2, 3);
    return 0;
}
