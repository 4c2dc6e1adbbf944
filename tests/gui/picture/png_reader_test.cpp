// The PNG reader on files made here: every row filter, every way of splitting the data, and one
// file for each of the reader's refusals.
#include "gui/picture/png_reader.h"
#include "platform/error.h"
#include "tests/gui/picture/png_maker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace {

using png_maker::Bytes;

gui::CPicture Read(const Bytes& file) {
    return gui::ReadPng(file.data(), file.size());
}

std::string Refusal(const Bytes& file) {
    try {
        Read(file);
    } catch (const platform::CError& error) {
        return error.what();
    }
    return "(read without complaint)";
}

Bytes PixelsOf(const gui::CPicture& picture) {
    return Bytes(picture.Pixels(), picture.Pixels() + picture.RowBytes() * picture.Height());
}

// A valid picture of the given size whose filtered rows are returned for tampering.
Bytes RawRows(int width, int height, bool alpha) {
    const int bytes = alpha ? 4 : 3;
    return png_maker::FilterRows(png_maker::Gradient(width, height, bytes), width, height, bytes,
                                 [](int) { return 0; });
}

// ---- Round trips -----------------------------------------------------------------------------

enum class Content { kNoise, kGradient };
// Filters 0-4 on every row, or 5: each row its own (row % 5).
using RoundTrip = std::tuple<std::pair<int, int>, bool, int, Content>;

class PngRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(PngRoundTrip, DecodesThePixelsThatWereEncoded) {
    const auto [size, alpha, filter, content] = GetParam();
    const auto [width, height] = size;
    const int bytes = alpha ? 4 : 3;
    const uint32_t seed = static_cast<uint32_t>(width * 7919 + height * 31 + filter);
    const Bytes pixels = content == Content::kNoise
                             ? png_maker::Noise(static_cast<size_t>(width) * height * bytes, seed)
                             : png_maker::Gradient(width, height, bytes);
    const Bytes raw = png_maker::FilterRows(pixels, width, height, bytes,
                                            [&](int row) { return filter == 5 ? row % 5 : filter; });
    png_maker::Options options;
    options.width = width;
    options.height = height;
    options.alpha = alpha;
    const gui::CPicture picture = Read(png_maker::FileFromRaw(options, raw));
    ASSERT_EQ(picture.Width(), width);
    ASSERT_EQ(picture.Height(), height);
    EXPECT_EQ(picture.HasAlpha(), alpha);
    EXPECT_EQ(PixelsOf(picture), pixels) << "seed " << seed;
}

std::string RoundTripName(const ::testing::TestParamInfo<RoundTrip>& param) {
    const auto& [size, alpha, filter, content] = param.param;
    return std::to_string(size.first) + "x" + std::to_string(size.second) + (alpha ? "_rgba" : "_rgb") +
           (filter == 5 ? std::string("_mixed") : "_filter" + std::to_string(filter)) +
           (content == Content::kNoise ? "_noise" : "_gradient");
}

INSTANTIATE_TEST_SUITE_P(SizesFiltersAndContents, PngRoundTrip,
                         ::testing::Combine(::testing::Values(std::pair{1, 1}, std::pair{1, 9},
                                                              std::pair{9, 1}, std::pair{2, 3},
                                                              std::pair{17, 13}, std::pair{64, 64},
                                                              std::pair{301, 7}, std::pair{123, 211}),
                                            ::testing::Bool(), ::testing::Values(0, 1, 2, 3, 4, 5),
                                            ::testing::Values(Content::kNoise, Content::kGradient)),
                         RoundTripName);

TEST(PngReader, DataSplitAcrossManyChunksAndMixedWithOthersReadsTheSame) {
    const int width = 40, height = 30;
    const Bytes pixels = png_maker::Noise(width * height * 4, 77);
    const Bytes raw = png_maker::FilterRows(pixels, width, height, 4, [](int row) { return (row * 3) % 5; });
    for (const size_t idatSize : {size_t{1}, size_t{2}, size_t{7}, size_t{1000}}) {
        png_maker::Options options;
        options.width = width;
        options.height = height;
        options.alpha = true;
        options.idatSize = idatSize;
        options.emptyIdats = idatSize == 7;
        options.ancillary = idatSize != 1;
        EXPECT_EQ(PixelsOf(Read(png_maker::FileFromRaw(options, raw))), pixels) << "chunks of " << idatSize;
    }
}

TEST(PngReader, ReadingStopsAtTheEndChunkAndIgnoresWhatFollows) {
    png_maker::Options options;
    options.width = 3;
    options.height = 2;
    Bytes file = png_maker::FileFromRaw(options, RawRows(3, 2, false));
    file.insert(file.end(), {0, 0, 0, 200, 'j', 'u', 'n', 'k'}); // would run past the end if walked
    EXPECT_EQ(PixelsOf(Read(file)), png_maker::Gradient(3, 2, 3));
}

TEST(PngReader, PaethBreaksTiesTowardLeftThenAbove) {
    // Two RGB pixels, two rows, the second row Paeth-filtered; bytes worked out by hand. For the
    // second pixel (left a, above b, above-left c): red a=20 b=50 c=40 ties left and above-left
    // (left wins, 20); green a=40 b=10 c=30 ties above and above-left (above wins, 10); blue
    // a=100 b=0 c=0 is nearest left. The first pixel has no left neighbours: it predicts above.
    const Bytes raw = {0, 40, 30, 0, 50, 10, 0, 4, 236, 10, 100, 57, 78, 255};
    png_maker::Options options;
    options.width = 2;
    options.height = 2;
    EXPECT_EQ(PixelsOf(Read(png_maker::FileFromRaw(options, raw))),
              (Bytes{40, 30, 0, 50, 10, 0, 20, 40, 100, 77, 88, 99}));
}

TEST(PngReader, SubUpAndAverageRowsWorkedOutByHand) {
    // Sub adds the pixel to the left, Up the pixel above, Average the floor of their mean; all
    // modulo 256. One RGBA pixel is too narrow for a left neighbour, so use two.
    const Bytes raw = {1, 10, 20, 30, 40, 250, 250, 250, 250, // sub: 10 20 30 40 | 4 14 24 34
                       2, 1,  2,  3,  4,  255, 0,   1,   2,   // up: 11 22 33 44 | 3 14 25 36
                       3, 0,  0,  0,  0,  1,   1,   1,   1};  // average: 5 11 16 22 | 5 13 21 30
    png_maker::Options options;
    options.width = 2;
    options.height = 3;
    options.alpha = true;
    EXPECT_EQ(
        PixelsOf(Read(png_maker::FileFromRaw(options, raw))),
        (Bytes{10, 20, 30, 40, 4, 14, 24, 34, 11, 22, 33, 44, 3, 14, 25, 36, 5, 11, 16, 22, 5, 13, 21, 30}));
}

// ---- Refusals --------------------------------------------------------------------------------

TEST(PngReaderRefuses, FilesTooShortOrWithoutTheSignature) {
    EXPECT_EQ(Refusal({}), "PNG File Is Too Small To Fit A Valid Header");
    EXPECT_EQ(Refusal({137, 80, 78, 71, 13, 10, 26}), "PNG File Is Too Small To Fit A Valid Header");
    EXPECT_EQ(Refusal({137, 80, 78, 71, 13, 10, 26, 11}), "PNG File Header Not Found");
    Bytes file = png_maker::FileFromRaw({}, RawRows(1, 1, false));
    file[1] = 'p';
    EXPECT_EQ(Refusal(file), "PNG File Header Not Found");
}

TEST(PngReaderRefuses, ChunksRunningPastTheEndAndFilesEndingBeforeTheEndChunk) {
    EXPECT_EQ(Refusal(png_maker::Signature()), "Unexpected End Of File In PNG Image");
    png_maker::Options noEnd;
    noEnd.withEnd = false;
    const Bytes unfinished = png_maker::FileFromRaw(noEnd, RawRows(1, 1, false));
    EXPECT_EQ(Refusal(unfinished), "Unexpected End Of File In PNG Image");
    Bytes sevenMore = unfinished;
    sevenMore.insert(sevenMore.end(), {0, 0, 0, 0, 'I', 'E', 'N'});
    EXPECT_EQ(Refusal(sevenMore), "Unexpected End Of File In PNG Image");

    const Bytes whole = png_maker::FileFromRaw({}, RawRows(1, 1, false));
    Bytes noCheckValue(whole.begin(), whole.end() - 1); // IEND's check value one byte short
    EXPECT_EQ(Refusal(noCheckValue), "Chunk Found Larger Than File In PNG Image");
    for (const uint32_t length :
         {uint32_t{14}, uint32_t{0x7fffffff}, uint32_t{0xfffffff3}, uint32_t{0xffffffff}}) {
        Bytes file = whole;
        file[8] = static_cast<uint8_t>(length >> 24); // the header chunk's length
        file[9] = static_cast<uint8_t>(length >> 16);
        file[10] = static_cast<uint8_t>(length >> 8);
        file[11] = static_cast<uint8_t>(length);
        if (length == 14) {
            file.resize(8 + 8 + 14 + 3);
            EXPECT_EQ(Refusal(file), "Chunk Found Larger Than File In PNG Image");
        } else {
            EXPECT_EQ(Refusal(file), "Chunk Found Larger Than File In PNG Image") << length;
        }
    }
}

TEST(PngReaderRefuses, HeadersItCannotRead) {
    const Bytes raw = RawRows(2, 2, true);
    auto withHeader = [&](const Bytes& header) {
        png_maker::Options options;
        options.headerOverride = header;
        return Refusal(png_maker::FileFromRaw(options, raw));
    };
    using png_maker::Header;
    Bytes shortHeader = Header(2, 2, 8, 6);
    shortHeader.pop_back();
    EXPECT_EQ(withHeader(shortHeader), "PNG File's Header Chunk Too Small");
    for (const uint8_t depth : {1, 2, 4, 16})
        EXPECT_EQ(withHeader(Header(2, 2, depth, 6)), "Unsupported Bit Depth In PNG File") << int(depth);
    for (const uint8_t colourType : {0, 3, 4, 7})
        EXPECT_EQ(withHeader(Header(2, 2, 8, colourType)), "Unsupported Color Type In PNG File")
            << int(colourType);
    EXPECT_EQ(withHeader(Header(2, 2, 8, 6, 1)), "Unsupported Compression Method In PNG File");
    EXPECT_EQ(withHeader(Header(2, 2, 8, 6, 0, 1)), "Unsupported Filter Method In PNG File");
    EXPECT_EQ(withHeader(Header(2, 2, 8, 6, 0, 0, 1)), "Can't Read Interlaced PNG Files");
    EXPECT_EQ(withHeader(Header(2, 2, 8, 2, 0, 0, 1)), "Can't Read Interlaced PNG Files");
    // The checks come in the header's order: depth before colour type before interlace.
    EXPECT_EQ(withHeader(Header(2, 2, 16, 3, 0, 0, 1)), "Unsupported Bit Depth In PNG File");
    EXPECT_EQ(withHeader(Header(2, 2, 8, 3, 1, 1, 1)), "Unsupported Color Type In PNG File");

    // Image data with no header at all before the end.
    Bytes noHeader = png_maker::Signature();
    png_maker::Chunk(noHeader, "IDAT", png_maker::Deflate(raw));
    png_maker::Chunk(noHeader, "IEND", {});
    EXPECT_EQ(Refusal(noHeader), "PNG File's Header Chunk Too Small");
}

TEST(PngReaderRefuses, DataThatDoesNotInflateToExactlyThePicture) {
    png_maker::Options options;
    options.width = 5;
    options.height = 4;
    options.alpha = true;
    const Bytes raw = RawRows(5, 4, true);
    ASSERT_EQ(raw.size(), 4u * (5 * 4 + 1));
    EXPECT_NO_THROW(Read(png_maker::FileFromRaw(options, raw)));
    EXPECT_EQ(Refusal(png_maker::FileFromRaw(options, Bytes(raw.begin(), raw.end() - 1))),
              "PNG: Not Enough Information Inflated");
    Bytes longer = raw;
    longer.push_back(0);
    EXPECT_EQ(Refusal(png_maker::FileFromRaw(options, longer)), "PNG: Not Enough Information Inflated");
    // Far more than the picture: refused once one byte too many has come out.
    EXPECT_EQ(Refusal(png_maker::FileFromRaw(options, Bytes(1 << 20, 0))),
              "PNG: Not Enough Information Inflated");
    // No image data at all.
    options.idatSize = 0;
    Bytes noData = png_maker::Signature();
    png_maker::Chunk(noData, "IHDR", png_maker::Header(5, 4, 8, 6));
    png_maker::Chunk(noData, "IEND", {});
    EXPECT_EQ(Refusal(noData), "Inflate: Buffer Error");
}

TEST(PngReaderRefuses, SizesThatCannotBeAPictureBeforeAllocatingThem) {
    // Zero sizes, sizes past the PNG limit and a width x height that would overflow, each with a
    // few bytes of real data: refused without making a buffer of the claimed size (the sanitizer
    // build would fail on a multi-gigabyte allocation).
    const Bytes raw = RawRows(1, 1, false);
    const std::pair<uint32_t, uint32_t> sizes[] = {{0, 1},          {1, 0},          {0, 0},
                                                   {0x80000000, 1}, {1, 0xffffffff}, {0x7fffffff, 0x7fffffff},
                                                   {65536, 65536},  {16384, 4097}};
    for (const auto& [width, height] : sizes) {
        png_maker::Options options;
        options.headerOverride = png_maker::Header(width, height, 8, 6);
        EXPECT_EQ(Refusal(png_maker::FileFromRaw(options, raw)), "PNG: Not Enough Information Inflated")
            << width << " x " << height;
    }
    // A claimed 8192 x 8192 picture (256 MiB, within the limit) with one row of data inflates only
    // what is there and is refused for it.
    png_maker::Options options;
    options.headerOverride = png_maker::Header(8192, 8191, 8, 6);
    EXPECT_EQ(Refusal(png_maker::FileFromRaw(options, Bytes(8192 * 4 + 1, 0))),
              "PNG: Not Enough Information Inflated");
}

TEST(PngReaderRefuses, BrokenCompressedStreamsWithTheInflateTexts) {
    const Bytes raw = RawRows(4, 3, false);
    auto withStream = [](const Bytes& stream) {
        Bytes file = png_maker::Signature();
        png_maker::Chunk(file, "IHDR", png_maker::Header(4, 3, 8, 2));
        png_maker::Chunk(file, "IDAT", stream);
        png_maker::Chunk(file, "IEND", {});
        return Refusal(file);
    };
    const Bytes good = png_maker::Deflate(raw);
    Bytes badHeader = good;
    badHeader[1] ^= 1; // the zlib header's check bits no longer match
    EXPECT_EQ(withStream(badHeader), "Inflate: Data Error");
    Bytes badChecksum = good;
    badChecksum.back() ^= 0xff;
    EXPECT_EQ(withStream(badChecksum), "Inflate: Data Error");
    EXPECT_EQ(withStream({0x78, 0x9c, 0xff, 0xff, 0xff}), "Inflate: Data Error"); // invalid block type

    // The stream cut short: the rows are all there but the stream's end is missing.
    EXPECT_EQ(withStream(Bytes(good.begin(), good.end() - 4)), "Inflate: Buffer Error");
    EXPECT_EQ(withStream(Bytes(good.begin(), good.begin() + 2)), "Inflate: Buffer Error");
    EXPECT_EQ(withStream({}), "Inflate: Buffer Error");

    // A stream that asks for a preset dictionary (flag bit 5 of the second header byte).
    Bytes dictionary = {0x78, 0xbb, 0, 0, 0, 1};
    dictionary.insert(dictionary.end(), good.begin() + 2, good.end());
    ASSERT_EQ((0x78 * 256 + 0xbb) % 31, 0);
    EXPECT_EQ(withStream(dictionary), "Inflate: Unknown Error");
}

TEST(PngReaderRefuses, ARowWithAnUnknownFilter) {
    Bytes raw = RawRows(3, 3, false);
    raw[2 * (3 * 3 + 1)] = 5; // the last row's filter byte
    png_maker::Options options;
    options.width = 3;
    options.height = 3;
    EXPECT_EQ(Refusal(png_maker::FileFromRaw(options, raw)), "Unsupported Filter Method In PNG File");
}

} // namespace
