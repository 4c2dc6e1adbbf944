// Writes PNG files for the reader's tests, every field under the test's control: the header's
// fields, each row's filter, how the compressed data is split into IDAT chunks, extra chunks, and
// the raw (filtered) rows themselves when a test wants a stream of the wrong length.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace png_maker {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

inline void Chunk(Bytes& out, const char* type, const Bytes& data) {
    Put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

inline Bytes Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
                    uint8_t compression = 0, uint8_t filter = 0, uint8_t interlace = 0) {
    Bytes data;
    Put32(data, width);
    Put32(data, height);
    data.insert(data.end(), {depth, colourType, compression, filter, interlace});
    return data;
}

inline Bytes Signature() {
    return {137, 80, 78, 71, 13, 10, 26, 10};
}

inline Bytes Deflate(const Bytes& raw, int level = 6) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level) != Z_OK) std::abort();
    out.resize(size);
    return out;
}

inline int PaethPredictor(int a, int b, int c) {
    // The standard's predictor, written out the way the PNG book gives it.
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    if (pb <= pc) return b;
    return c;
}

// The filtered rows of a picture's bytes (rows of width * bytesPerPixel), each row with the
// filter chosen by filterOfRow(row).
template <typename FilterOfRow>
Bytes FilterRows(const Bytes& pixels, int width, int height, int bytesPerPixel, FilterOfRow filterOfRow) {
    const size_t stride = static_cast<size_t>(width) * bytesPerPixel;
    Bytes out;
    for (int y = 0; y < height; ++y) {
        const uint8_t filter = static_cast<uint8_t>(filterOfRow(y));
        out.push_back(filter);
        const uint8_t* row = pixels.data() + stride * y;
        for (size_t i = 0; i < stride; ++i) {
            const int a = i >= static_cast<size_t>(bytesPerPixel) ? row[i - bytesPerPixel] : 0;
            const int b = y > 0 ? row[i - stride] : 0;
            const int c =
                (y > 0 && i >= static_cast<size_t>(bytesPerPixel)) ? row[i - stride - bytesPerPixel] : 0;
            int predicted = 0;
            switch (filter) {
            case 1:
                predicted = a;
                break;
            case 2:
                predicted = b;
                break;
            case 3:
                predicted = (a + b) / 2;
                break;
            case 4:
                predicted = PaethPredictor(a, b, c);
                break;
            default:
                break;
            }
            out.push_back(static_cast<uint8_t>(row[i] - predicted));
        }
    }
    return out;
}

struct Options {
    uint32_t width = 1;
    uint32_t height = 1;
    bool alpha = false;
    size_t idatSize = 0;     // bytes per IDAT chunk; 0 = one chunk
    bool emptyIdats = false; // a zero-length IDAT before every real one
    bool ancillary = false;  // a tEXt chunk before the header and between IDATs
    bool withEnd = true;     // write IEND
    Bytes headerOverride;    // IHDR data to write instead of the real one (when not empty)
};

// A whole file from already filtered rows (or any bytes that should be the zlib stream's content).
inline Bytes FileFromRaw(const Options& options, const Bytes& raw) {
    Bytes file = Signature();
    const Bytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'};
    if (options.ancillary) Chunk(file, "tEXt", text);
    Chunk(file, "IHDR",
          options.headerOverride.empty() ? Header(options.width, options.height, 8, options.alpha ? 6 : 2)
                                         : options.headerOverride);
    const Bytes stream = Deflate(raw);
    const size_t step = options.idatSize ? options.idatSize : stream.size();
    for (size_t at = 0; at < stream.size(); at += step) {
        if (options.emptyIdats) Chunk(file, "IDAT", {});
        Chunk(file, "IDAT", Bytes(stream.begin() + at, stream.begin() + std::min(stream.size(), at + step)));
        if (options.ancillary) Chunk(file, "tEXt", text);
    }
    if (options.withEnd) Chunk(file, "IEND", {});
    return file;
}

// Pixels of a picture: noise, or smooth gradients where the predicting filters do well.
inline Bytes Noise(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes pixels(count);
    for (uint8_t& byte : pixels)
        byte = static_cast<uint8_t>(random());
    return pixels;
}

inline Bytes Gradient(int width, int height, int bytesPerPixel) {
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int channel = 0; channel < bytesPerPixel; ++channel)
                pixels.push_back(static_cast<uint8_t>(x * (channel + 1) + y * (3 - channel) + channel * 40));
    return pixels;
}

} // namespace png_maker
