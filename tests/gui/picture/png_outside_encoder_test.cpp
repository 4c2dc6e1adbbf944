// The PNG reader against files written by another encoder: ImageMagick's convert (libpng
// underneath, with its own filter choice and the chunks it adds). Raw pixels go in, the PNG comes
// back, and the reader must give exactly the raw pixels. Skipped when ImageMagick is not
// installed (tools/install-deps.sh installs it).
#include "gui/picture/png_reader.h"
#include "tests/gui/picture/png_maker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;
using png_maker::Bytes;

// The converter to run, or empty when no real ImageMagick is installed.
std::string Converter() {
    for (const char* candidate : {"/usr/bin/convert", "/usr/bin/magick", "/usr/local/bin/magick"}) {
        if (!fs::exists(candidate)) continue;
        const std::string command = std::string(candidate) + " -version 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) continue;
        char line[256] = {};
        const bool real =
            std::fgets(line, sizeof line, pipe) && std::string(line).find("ImageMagick") != std::string::npos;
        pclose(pipe);
        if (real) return candidate;
    }
    return {};
}

// Which row filters a file uses (bit n for filter n), from its inflated image data.
unsigned FiltersUsed(const Bytes& file, size_t rowBytes, int height) {
    Bytes stream;
    for (size_t at = 8; at + 12 <= file.size();) {
        const size_t length =
            size_t{file[at]} << 24 | size_t{file[at + 1]} << 16 | size_t{file[at + 2]} << 8 | file[at + 3];
        if (std::equal(file.begin() + at + 4, file.begin() + at + 8, "IDAT"))
            stream.insert(stream.end(), file.begin() + at + 8, file.begin() + at + 8 + length);
        at += 12 + length;
    }
    Bytes rows((rowBytes + 1) * height);
    uLongf size = static_cast<uLongf>(rows.size());
    if (uncompress(rows.data(), &size, stream.data(), static_cast<uLong>(stream.size())) != Z_OK) return 0;
    unsigned used = 0;
    for (int y = 0; y < height; ++y)
        used |= 1u << rows[(rowBytes + 1) * y];
    return used;
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PngReaderAgainstImageMagick, DecodesWhatItWritesByteForByte) {
    const std::string converter = Converter();
    if (converter.empty()) GTEST_SKIP() << "ImageMagick is not installed";
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "outside_encoder";
    fs::create_directories(folder);
    const std::pair<int, int> sizes[] = {{1, 1}, {3, 2}, {16, 16}, {97, 31}, {256, 128}};
    int files = 0;
    unsigned filtersSeen = 0;
    for (const auto& [width, height] : sizes) {
        for (const bool alpha : {false, true}) {
            // The encoder's quality setting: tens digit the zlib level, units its filter strategy
            // (90 and 95 choose per row, so noise and gradients bring out every filter).
            for (const int quality : {0, 10, 55, 90, 95, 99}) {
                for (const bool noise : {false, true}) {
                    const int bytes = alpha ? 4 : 3;
                    const Bytes pixels =
                        noise ? png_maker::Noise(static_cast<size_t>(width) * height * bytes,
                                                 static_cast<uint32_t>(width * 131 + height + quality))
                              : png_maker::Gradient(width, height, bytes);
                    const fs::path raw = folder / "pixels.raw";
                    const fs::path png = folder / "picture.png";
                    std::ofstream(raw, std::ios::binary)
                        .write(reinterpret_cast<const char*>(pixels.data()),
                               static_cast<std::streamsize>(pixels.size()));
                    fs::remove(png);
                    const std::string command =
                        converter + " -size " + std::to_string(width) + "x" + std::to_string(height) +
                        " -depth 8 " + (alpha ? "rgba:" : "rgb:") + raw.string() +
                        " -define png:color-type=" + (alpha ? "6" : "2") +
                        " -define png:bit-depth=8 -quality " + std::to_string(quality) + " " + png.string();
                    ASSERT_EQ(std::system(command.c_str()), 0) << command;
                    const Bytes file = ReadFile(png);
                    ASSERT_GT(file.size(), 33u);
                    ASSERT_EQ(file[25], alpha ? 6 : 2)
                        << "the encoder chose another colour type: " << command;
                    const gui::CPicture picture = gui::ReadPng(file.data(), file.size());
                    ASSERT_EQ(picture.Width(), width);
                    ASSERT_EQ(picture.Height(), height);
                    EXPECT_EQ(Bytes(picture.Pixels(), picture.Pixels() + pixels.size()), pixels) << command;
                    filtersSeen |= FiltersUsed(file, static_cast<size_t>(width) * bytes, height);
                    ++files;
                }
            }
        }
    }
    EXPECT_EQ(files, 120);
    EXPECT_EQ(filtersSeen, 0x1fu) << "not every row filter came up";
}

} // namespace
