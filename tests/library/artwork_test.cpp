// The stock panels' pictures: the generator writes the same bytes on every run, and every shipped
// PNG decodes with our own reader at the size its panel expects.
#include "gui/picture/png_reader.h"
#include "machines/antialias/antialias_panel_layout.h"
#include "machines/basshead/basshead_panel_layout.h"
#include "machines/drumkit/drumkit_panel_layout.h"
#include "machines/mixer/mixer_panel_layout.h"
#include "machines/spatialverb/spatialverb_panel_layout.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kShipped = fs::path(TAMBOREL_SOURCE_DIR) / "library" / "artwork";
// The studio window's icons, the generator's second output.
const fs::path kShippedIcons = fs::path(TAMBOREL_SOURCE_DIR) / "studio_ui" / "artwork";

std::vector<uint8_t> Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh empty folder under the test's temporary directory.
fs::path EmptyFolder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / ("tb_artwork_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void Generate(const fs::path& folder, const fs::path& icons) {
    const std::string command =
        std::string(TAMBOREL_BIN_DIR) + "/make_artwork '" + folder.string() + "' '" + icons.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::map<std::string, std::vector<uint8_t>> Files(const fs::path& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::directory_iterator(folder)) files[entry.path().filename().string()] = Bytes(entry.path());
    return files;
}

gui::CPicture Shipped(const std::string& name) {
    const std::vector<uint8_t> bytes = Bytes(kShipped / name);
    return gui::ReadPng(bytes.data(), bytes.size());
}

} // namespace

TEST(Artwork, TwoRunsWriteTheSameFilesAsTheShippedOnes) {
    const fs::path first = EmptyFolder("first");
    const fs::path second = EmptyFolder("second");
    const fs::path firstIcons = EmptyFolder("first_icons");
    const fs::path secondIcons = EmptyFolder("second_icons");
    Generate(first, firstIcons);
    Generate(second, secondIcons);
    const auto a = Files(first);
    const auto b = Files(second);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    const auto iconsA = Files(firstIcons);
    ASSERT_EQ(iconsA.size(), 25u);
    EXPECT_EQ(iconsA, Files(secondIcons));
    // The folders the library and the program embed hold exactly what the generator writes:
    // nobody edited a picture by hand or forgot to run the generator after changing it.
    EXPECT_EQ(Files(kShipped), a);
    EXPECT_EQ(Files(kShippedIcons), iconsA);
    for (const auto& folder : {first, second, firstIcons, secondIcons}) fs::remove_all(folder);
}

TEST(Artwork, EveryShippedPictureDecodesAs8BitNonInterlaced) {
    int count = 0;
    std::vector<fs::directory_entry> entries;
    for (const fs::path& folder : {kShipped, kShippedIcons})
        for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry);
    for (const auto& entry : entries) {
        if (entry.path().extension() != ".png") continue;
        const std::vector<uint8_t> bytes = Bytes(entry.path());
        // Byte 24 of the file is IHDR's bit depth, byte 28 its interlace method.
        ASSERT_GT(bytes.size(), 33u);
        EXPECT_EQ(bytes[24], 8) << entry.path();
        EXPECT_EQ(bytes[28], 0) << entry.path();
        EXPECT_NO_THROW({
            const gui::CPicture picture = gui::ReadPng(bytes.data(), bytes.size());
            EXPECT_GT(picture.Width(), 0);
        }) << entry.path();
        ++count;
    }
    EXPECT_EQ(count, 29 + 25);
}

TEST(Artwork, PicturesHaveTheSizesAndKindsThePanelsNeed) {
    // Backgrounds are opaque and exactly the panel's size (a skinned container refuses anything
    // else); knob strips hold 64 square frames with alpha, drawn over the background.
    const struct {
        const char* name;
        int width, height;
        bool alpha;
    } expected[] = {
        {"antialias_background.png", antialias_panel::kWidth, antialias_panel::kHeight, false},
        {"antialias_knob.png", antialias_panel::kKnobSize, antialias_panel::kKnobSize * 64, true},
        {"drumkit_background.png", drumkit_panel::kWidth, drumkit_panel::kHeight, false},
        {"drumkit_knob.png", drumkit_panel::kKnobSize, drumkit_panel::kKnobSize * 64, true},
        {"mixer_track_strip.png", mixer_panel::kStripWidth, mixer_panel::kStripHeight, false},
        {"mixer_aux_strip.png", mixer_panel::kStripWidth, mixer_panel::kStripHeight, false},
        {"mixer_knob.png", mixer_panel::kKnobSize, mixer_panel::kKnobSize * 64, true},
        {"mixer_mute_0.png", mixer_panel::kButtonWidth, mixer_panel::kButtonHeight, false},
        {"mixer_mute_1.png", mixer_panel::kButtonWidth, mixer_panel::kButtonHeight, false},
        {"mixer_mute_2.png", mixer_panel::kButtonWidth, mixer_panel::kButtonHeight, false},
        {"mixer_solo_0.png", mixer_panel::kButtonWidth, mixer_panel::kButtonHeight, false},
        {"mixer_solo_1.png", mixer_panel::kButtonWidth, mixer_panel::kButtonHeight, false},
        {"mixer_solo_2.png", mixer_panel::kButtonWidth, mixer_panel::kButtonHeight, false},
        {"mixer_handle.png", mixer_panel::kHandleSize, mixer_panel::kHandleSize, true},
        {"basshead_background.png", basshead_panel::kWidth, basshead_panel::kHeight, false},
        {"basshead_track.png", basshead_panel::kTrackLength, basshead_panel::kHandleSize, true},
        {"basshead_handle.png", basshead_panel::kHandleSize, basshead_panel::kHandleSize, true},
        // Characters 33..122, 12 cells of 16 x 16 to a row: 8 rows.
        {"basshead_font.png", 192, 128, false},
        {"basshead_icon.png", 32, 32, true},
        // Characters 32..127, 16 cells of 6 x 8 to a row.
        {"mixer_font.png", 96, 48, true},
        {"spatialverb_background.png", spatialverb_panel::kWidth, spatialverb_panel::kHeight, false},
        {"spatialverb_knob.png", spatialverb_panel::kKnobSize, spatialverb_panel::kKnobSize * 64, true},
        {"spatialverb_handle.png", spatialverb_panel::kHandleSize, spatialverb_panel::kHandleSize, true},
        {"spatialverb_source_left.png", spatialverb_panel::kMarkerSize, spatialverb_panel::kMarkerSize, true},
        {"spatialverb_source_right.png", spatialverb_panel::kMarkerSize, spatialverb_panel::kMarkerSize, true},
        {"spatialverb_listener_left.png", spatialverb_panel::kMarkerSize, spatialverb_panel::kMarkerSize, true},
        {"spatialverb_listener_right.png", spatialverb_panel::kMarkerSize, spatialverb_panel::kMarkerSize, true},
        // The swap button's three states stacked.
        {"spatialverb_swap.png", spatialverb_panel::kSwapWidth, 3 * spatialverb_panel::kSwapHeight, false},
        {"spatialverb_picture.png", spatialverb_panel::kPictureWidth, spatialverb_panel::kPictureHeight, false},
    };
    for (const auto& e : expected) {
        const gui::CPicture picture = Shipped(e.name);
        EXPECT_EQ(picture.Width(), e.width) << e.name;
        EXPECT_EQ(picture.Height(), e.height) << e.name;
        EXPECT_EQ(picture.HasAlpha(), e.alpha) << e.name;
    }
}

TEST(Artwork, KnobFramesTurnFromEmptyToFull) {
    // Frame 0 shows no accent; the last frame shows the accent arc at the end of the sweep (lower
    // right of the knob), where frame 0 shows only the groove.
    const gui::CPicture strip = Shipped("drumkit_knob.png");
    const int size = drumkit_panel::kKnobSize;
    auto greenish = [&](int frame, int x, int y) {
        const uint8_t* p = strip.PixelAt(x, frame * size + y);
        return p[3] > 128 && p[1] > p[0] + 60 && p[1] > p[2] + 60;
    };
    // A point on the accent ring at an angle clockwise from straight up (the sweep runs from
    // -135 to +135 degrees).
    auto at = [&](double degrees, int frame) {
        const double a = degrees * 3.14159265358979 / 180.0, r = size / 2.0 * 0.875;
        return greenish(frame, static_cast<int>(size / 2.0 + std::sin(a) * r), static_cast<int>(size / 2.0 - std::cos(a) * r));
    };
    EXPECT_FALSE(at(130, 0));
    EXPECT_FALSE(at(130, 58));  // 58/63 of the sweep ends at 114 degrees
    EXPECT_TRUE(at(130, 63));
    EXPECT_FALSE(at(-128, 0));
    EXPECT_TRUE(at(-128, 3));   // 3/63 of the sweep reaches -122 degrees
    EXPECT_TRUE(at(0, 33));     // past the middle (+6 degrees)
    EXPECT_FALSE(at(0, 30));    // short of it (-6 degrees)
    // The corners stay transparent, so the background shows around the knob.
    EXPECT_EQ(strip.PixelAt(0, 0)[3], 0);
    EXPECT_EQ(strip.PixelAt(size - 1, 63 * size + size - 1)[3], 0);
}

TEST(Artwork, TheStudioIconsAreTransparentPicturesAtTwiceTheirSize) {
    // Logical sizes: tool bar 16, options pages 32, HD recorder buttons 14, the pattern editor's
    // tool bars 16, the sequence editor's transport 14.
    const struct {
        const char* name;
        int logical;
    } icons[] = {{"new_project.png", 16},  {"open_project.png", 16}, {"save_project.png", 16}, {"audio_output.png", 32},
                 {"vst_paths.png", 32},    {"add_folder.png", 16},   {"remove_folder.png", 16}, {"load_bank.png", 16},
                 {"record_off.png", 14},   {"record_on.png", 14},    {"save_file.png", 14},
                 {"pattern_add.png", 16},  {"pattern_remove.png", 16}, {"pattern_duplicate.png", 16},
                 {"pattern_rename.png", 16}, {"control_track_add.png", 16}, {"control_track_remove.png", 16},
                 {"pattern_play.png", 16}, {"pattern_stop.png", 16}, {"pattern_loop.png", 16},
                 {"song_play_off.png", 14}, {"song_play_on.png", 14}, {"song_stop.png", 14},
                 {"song_loop_off.png", 14}, {"song_loop_on.png", 14}};
    for (const auto& icon : icons) {
        const std::vector<uint8_t> bytes = Bytes(kShippedIcons / icon.name);
        const gui::CPicture picture = gui::ReadPng(bytes.data(), bytes.size());
        EXPECT_EQ(picture.Width(), 2 * icon.logical) << icon.name;
        EXPECT_EQ(picture.Height(), 2 * icon.logical) << icon.name;
        ASSERT_TRUE(picture.HasAlpha()) << icon.name;
        // Something is drawn, and the top-left corner lets the tool bar show through.
        int opaque = 0;
        for (int y = 0; y < picture.Height(); ++y)
            for (int x = 0; x < picture.Width(); ++x) opaque += picture.PixelAt(x, y)[3] == 255 ? 1 : 0;
        EXPECT_GT(opaque, picture.Width() * picture.Height() / 8) << icon.name;
        EXPECT_EQ(picture.PixelAt(0, 0)[3], 0) << icon.name;
    }
    // The lit record button glows: its rim area is red where the idle one is transparent.
    const std::vector<uint8_t> off = Bytes(kShippedIcons / "record_off.png");
    const std::vector<uint8_t> on = Bytes(kShippedIcons / "record_on.png");
    const gui::CPicture idle = gui::ReadPng(off.data(), off.size());
    const gui::CPicture lit = gui::ReadPng(on.data(), on.size());
    EXPECT_EQ(idle.PixelAt(14, 2)[3], 0);
    EXPECT_GT(lit.PixelAt(14, 2)[3], 40);
    EXPECT_GT(lit.PixelAt(14, 14)[0], idle.PixelAt(14, 14)[0] + 60);
}

namespace {

gui::CPicture ShippedIcon(const std::string& name) {
    const std::vector<uint8_t> bytes = Bytes(kShippedIcons / name);
    return gui::ReadPng(bytes.data(), bytes.size());
}

// The box around the pixels drawn at least half opaque: left, top, right, bottom (inclusive).
struct Box {
    int left, top, right, bottom;
};

Box DrawnBox(const gui::CPicture& picture) {
    Box box{picture.Width(), picture.Height(), -1, -1};
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.PixelAt(x, y)[3] >= 128) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

} // namespace

TEST(Artwork, TheEditorsTransportIsOnePictureAtBothSizes) {
    // The pattern editor's play, stop and loop are the sequence editor's drawn at 16 instead of
    // 14: the drawn box scales by 16/14 (within the soft edge's pixel).
    const struct {
        const char* at16;
        const char* at14;
        int x16, y16, x14, y14;  // a point inside the drawing's body at either size
    } pairs[] = {{"pattern_play.png", "song_play_off.png", 13, 16, 11, 14},
                 {"pattern_stop.png", "song_stop.png", 13, 16, 11, 14},
                 {"pattern_loop.png", "song_loop_on.png", 25, 15, 22, 13}};
    for (const auto& pair : pairs) {
        const Box big = DrawnBox(ShippedIcon(pair.at16));
        const Box small = DrawnBox(ShippedIcon(pair.at14));
        ASSERT_GE(small.right, small.left) << pair.at14;
        EXPECT_NEAR(big.left, small.left * 16.0 / 14.0, 1.5) << pair.at16;
        EXPECT_NEAR(big.top, small.top * 16.0 / 14.0, 1.5) << pair.at16;
        EXPECT_NEAR(big.right, small.right * 16.0 / 14.0, 1.5) << pair.at16;
        EXPECT_NEAR(big.bottom, small.bottom * 16.0 / 14.0, 1.5) << pair.at16;
        // The same colour in the middle of the picture's body.
        const gui::CPicture b = ShippedIcon(pair.at16), s = ShippedIcon(pair.at14);
        const uint8_t* pb = b.PixelAt(pair.x16, pair.y16);
        const uint8_t* ps = s.PixelAt(pair.x14, pair.y14);
        ASSERT_GT(pb[3], 200) << pair.at16;
        ASSERT_GT(ps[3], 200) << pair.at14;
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(pb[c], ps[c], 24) << pair.at16 << " channel " << c;
    }
}

TEST(Artwork, LitTransportPicturesStandOutFromIdleOnes) {
    // Play lights up a brighter green; loop turns from grey to blue. The middle of the triangle
    // and a point on the loop's right-hand arc.
    const gui::CPicture playOff = ShippedIcon("song_play_off.png"), playOn = ShippedIcon("song_play_on.png");
    const uint8_t* off = playOff.PixelAt(12, 14);
    const uint8_t* on = playOn.PixelAt(12, 14);
    ASSERT_EQ(off[3], 255);
    ASSERT_EQ(on[3], 255);
    EXPECT_GT(on[1], off[1] + 50);
    EXPECT_GT(on[1], on[0] + 80);
    const gui::CPicture loopOff = ShippedIcon("song_loop_off.png"), loopOn = ShippedIcon("song_loop_on.png");
    // Radius 4.3 at 90 degrees (straight right) from the centre (7, 7), at density 2.
    const uint8_t* idle = loopOff.PixelAt(22, 14);
    const uint8_t* lit = loopOn.PixelAt(22, 14);
    ASSERT_GT(idle[3], 200);
    ASSERT_GT(lit[3], 200);
    EXPECT_LT(std::abs(int(idle[2]) - int(idle[0])), 20);  // grey
    EXPECT_GT(lit[2], lit[0] + 100);                       // blue
}

TEST(Artwork, AddAndRemoveBadgesAreGreenAndRed) {
    // The badge sits round (12, 12) logical, (24, 24) in the picture; its sign is white there,
    // so the colour is read just off the centre on the badge's face.
    for (const char* name : {"pattern_add.png", "control_track_add.png"}) {
        const gui::CPicture picture = ShippedIcon(name);
        const uint8_t* p = picture.PixelAt(24, 29);
        EXPECT_GT(p[1], p[0] + 60) << name;
    }
    for (const char* name : {"pattern_remove.png", "control_track_remove.png"}) {
        const gui::CPicture picture = ShippedIcon(name);
        const uint8_t* p = picture.PixelAt(24, 29);
        EXPECT_GT(p[0], p[1] + 80) << name;
    }
    // The minus has no upright stroke: above the centre the remove badge shows its red face
    // where the add badge shows its plus in white.
    const gui::CPicture add = ShippedIcon("pattern_add.png"), remove = ShippedIcon("pattern_remove.png");
    const uint8_t* plus = add.PixelAt(24, 22);
    const uint8_t* minus = remove.PixelAt(24, 22);
    EXPECT_GT(plus[0], 230);
    EXPECT_GT(plus[1], 230);
    EXPECT_LT(minus[1], 120);
}
