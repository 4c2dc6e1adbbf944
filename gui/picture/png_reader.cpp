#include "gui/picture/png_reader.h"

#include "platform/error.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace gui {

namespace {

const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

uint32_t BigEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

struct Header {
    bool seen = false;
    uint32_t width = 0;
    uint32_t height = 0;
    bool hasAlpha = false;
};

struct Span {
    const uint8_t* data;
    size_t size;
};

void ReadHeader(const uint8_t* data, uint32_t length, Header& header) {
    if (length < 13) platform::Raise("PNG File's Header Chunk Too Small");
    header.width = BigEndian32(data);
    header.height = BigEndian32(data + 4);
    const uint8_t bitDepth = data[8], colourType = data[9], compression = data[10], filter = data[11],
                  interlace = data[12];
    if (bitDepth != 8) platform::Raise("Unsupported Bit Depth In PNG File");
    if (colourType != 2 && colourType != 6) platform::Raise("Unsupported Color Type In PNG File");
    if (compression != 0) platform::Raise("Unsupported Compression Method In PNG File");
    if (filter != 0) platform::Raise("Unsupported Filter Method In PNG File");
    if (interlace != 0) platform::Raise("Can't Read Interlaced PNG Files");
    header.hasAlpha = colourType == 6;
    header.seen = true;
}

[[noreturn]] void RaiseInflate(int code) {
    switch (code) {
    case Z_MEM_ERROR:
        platform::Raise("Inflate: Memory Error");
    case Z_BUF_ERROR:
        platform::Raise("Inflate: Buffer Error");
    case Z_DATA_ERROR:
        platform::Raise("Inflate: Data Error");
    default:
        platform::Raise("Inflate: Unknown Error");
    }
}

// Inflates the IDAT parts in order as one zlib stream into exactly `expected` bytes. The output
// grows only as the stream really produces bytes, and stops one byte past what is wanted, so a
// small file claiming a huge picture never makes a huge buffer.
std::vector<uint8_t> Inflate(const std::vector<Span>& parts, size_t expected) {
    z_stream stream{};
    int result = inflateInit(&stream);
    if (result != Z_OK) RaiseInflate(result);
    struct Closer {
        z_stream* stream;
        ~Closer() { inflateEnd(stream); }
    } closer{&stream};

    const size_t wanted = expected + 1;
    std::vector<uint8_t> out(std::min<size_t>(wanted, 64 * 1024));
    size_t produced = 0;
    size_t part = 0;
    result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream.avail_in == 0) {
            while (part < parts.size() && parts[part].size == 0)
                ++part;
            if (part == parts.size()) {
                // The data ran out before the stream's end: inflate cannot go on.
                RaiseInflate(Z_BUF_ERROR);
            }
            stream.next_in = const_cast<Bytef*>(parts[part].data);
            stream.avail_in = static_cast<uInt>(parts[part].size);
            ++part;
        }
        if (produced == out.size()) {
            if (out.size() == wanted) break; // one byte more than the picture holds
            out.resize(std::min(wanted, out.size() * 2));
        }
        const size_t room = std::min<size_t>(out.size() - produced, 1u << 30);
        stream.next_out = out.data() + produced;
        stream.avail_out = static_cast<uInt>(room);
        result = inflate(&stream, Z_NO_FLUSH);
        produced += room - stream.avail_out;
        if (result == Z_BUF_ERROR) continue; // needs more input or more room, both handled above
        if (result != Z_OK && result != Z_STREAM_END) RaiseInflate(result);
    }
    if (produced != expected) platform::Raise("PNG: Not Enough Information Inflated");
    out.resize(produced);
    return out;
}

uint8_t Paeth(int left, int above, int aboveLeft) {
    const int estimate = left + above - aboveLeft;
    const int toLeft = std::abs(estimate - left);
    const int toAbove = std::abs(estimate - above);
    const int toAboveLeft = std::abs(estimate - aboveLeft);
    if (toLeft <= toAbove && toLeft <= toAboveLeft) return static_cast<uint8_t>(left);
    if (toAbove <= toAboveLeft) return static_cast<uint8_t>(above);
    return static_cast<uint8_t>(aboveLeft);
}

// Undoes each row's filter in place and copies the rows into the picture.
void Unfilter(std::vector<uint8_t>& rows, CPicture& picture) {
    const size_t bytesPerPixel = picture.BytesPerPixel();
    const size_t rowBytes = picture.RowBytes();
    const std::vector<uint8_t> zeros(rowBytes, 0);
    for (int y = 0; y < picture.Height(); ++y) {
        uint8_t* row = rows.data() + y * (rowBytes + 1);
        const uint8_t filter = row[0];
        uint8_t* line = row + 1;
        const uint8_t* above = y == 0 ? zeros.data() : rows.data() + (y - 1) * (rowBytes + 1) + 1;
        switch (filter) {
        case 0:
            break;
        case 1:
            for (size_t i = bytesPerPixel; i < rowBytes; ++i)
                line[i] = static_cast<uint8_t>(line[i] + line[i - bytesPerPixel]);
            break;
        case 2:
            for (size_t i = 0; i < rowBytes; ++i)
                line[i] = static_cast<uint8_t>(line[i] + above[i]);
            break;
        case 3:
            for (size_t i = 0; i < rowBytes; ++i) {
                const int left = i >= bytesPerPixel ? line[i - bytesPerPixel] : 0;
                line[i] = static_cast<uint8_t>(line[i] + (left + above[i]) / 2);
            }
            break;
        case 4:
            for (size_t i = 0; i < rowBytes; ++i) {
                const bool first = i < bytesPerPixel;
                line[i] = static_cast<uint8_t>(line[i] + Paeth(first ? 0 : line[i - bytesPerPixel], above[i],
                                                               first ? 0 : above[i - bytesPerPixel]));
            }
            break;
        default:
            platform::Raise("Unsupported Filter Method In PNG File");
        }
        if (rowBytes) std::memcpy(picture.PixelAt(0, y), line, rowBytes);
    }
}

} // namespace

CPicture ReadPng(const uint8_t* data, size_t size) {
    if (size < 8) platform::Raise("PNG File Is Too Small To Fit A Valid Header");
    if (std::memcmp(data, kSignature, 8) != 0) platform::Raise("PNG File Header Not Found");

    Header header;
    std::vector<Span> parts; // the IDAT chunks, pointing into the file
    size_t offset = 8;
    for (;;) {
        if (size - offset < 8) platform::Raise("Unexpected End Of File In PNG Image");
        const uint32_t length = BigEndian32(data + offset);
        const uint8_t* type = data + offset + 4;
        // The data and the 4-byte check value (not verified) must lie inside the file.
        if (uint64_t{length} + 4 > size - offset - 8)
            platform::Raise("Chunk Found Larger Than File In PNG Image");
        const uint8_t* body = data + offset + 8;
        offset += 8 + size_t{length} + 4;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            ReadHeader(body, length, header);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            parts.push_back({body, length});
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            break;
        }
    }

    // A file without a header chunk has a header of no bytes.
    if (!header.seen) platform::Raise("PNG File's Header Chunk Too Small");
    // A picture of no pixels, one too large to address or one beyond any sensible skin cannot
    // inflate to its size; it is refused before anything is allocated for it.
    const uint64_t bytesPerPixel = header.hasAlpha ? 4 : 3;
    const uint64_t rowBytes = uint64_t{header.width} * bytesPerPixel + 1;
    if (header.width == 0 || header.height == 0 || header.width > 0x7fffffffu ||
        header.height > 0x7fffffffu || rowBytes * header.height > kMaxPngImageBytes)
        platform::Raise("PNG: Not Enough Information Inflated");

    std::vector<uint8_t> rows = Inflate(parts, static_cast<size_t>(rowBytes * header.height));
    CPicture picture(static_cast<int>(header.width), static_cast<int>(header.height), header.hasAlpha);
    Unfilter(rows, picture);
    return picture;
}

} // namespace gui
