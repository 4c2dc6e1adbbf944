// The studio window's icons as the program loads them: every embedded picture decodes with the
// program's own PNG reader into an image of density 2 at its logical size, and the tool bars and
// pages hand out exactly those pictures.
#include "gui/picture/png_reader.h"
#include "platform/error.h"
#include "studio_ui/icons/studio_icons.h"
#include "studio_ui/main_window/tool_bar_icons.h"
#include "studio_ui/options/options_icons.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>
#include <string>

namespace {

// The same pixels (compared as 32-bit ARGB, whatever each image's own format).
bool SamePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

TEST(StudioIcons, EveryIconLoadsAtDensityTwoAndItsLogicalSize) {
    const struct {
        int number;
        int logical;
    } icons[] = {{studio_icons::kNewProject, 16}, {studio_icons::kOpenProject, 16}, {studio_icons::kSaveProject, 16},
                 {studio_icons::kAudioOutput, 32}, {studio_icons::kVstPaths, 32},  {studio_icons::kAddFolder, 16},
                 {studio_icons::kRemoveFolder, 16}, {studio_icons::kLoadBank, 16}, {studio_icons::kRecordOff, 14},
                 {studio_icons::kRecordOn, 14},   {studio_icons::kSaveFile, 14},
                 {studio_icons::kAddPattern, 16}, {studio_icons::kRemovePattern, 16},
                 {studio_icons::kDuplicatePattern, 16}, {studio_icons::kRenamePattern, 16},
                 {studio_icons::kAddControlTrack, 16}, {studio_icons::kRemoveControlTrack, 16},
                 {studio_icons::kPatternPlay, 16}, {studio_icons::kPatternStop, 16}, {studio_icons::kPatternLoop, 16},
                 {studio_icons::kSongPlayOff, 14}, {studio_icons::kSongPlayOn, 14}, {studio_icons::kSongStop, 14},
                 {studio_icons::kSongLoopOff, 14}, {studio_icons::kSongLoopOn, 14}};
    for (const auto& icon : icons) {
        const QImage image = studio_icons::Image(icon.number);
        ASSERT_FALSE(image.isNull()) << icon.number;
        EXPECT_EQ(image.devicePixelRatio(), 2.0) << icon.number;
        EXPECT_EQ(image.size(), QSize(2 * icon.logical, 2 * icon.logical)) << icon.number;
        EXPECT_EQ(image.deviceIndependentSize().toSize(), QSize(icon.logical, icon.logical)) << icon.number;
        EXPECT_TRUE(image.hasAlphaChannel()) << icon.number;
        // The corner is transparent and the middle is drawn.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << icon.number;
        const QIcon qicon = studio_icons::Icon(icon.number);
        EXPECT_FALSE(qicon.isNull()) << icon.number;
    }
}

TEST(StudioIcons, TheToolBarsAndPagesShowTheEmbeddedPictures) {
    EXPECT_TRUE(SamePixels(main_window::NewProjectIcon(), studio_icons::Image(studio_icons::kNewProject)));
    EXPECT_TRUE(SamePixels(main_window::OpenProjectIcon(), studio_icons::Image(studio_icons::kOpenProject)));
    EXPECT_TRUE(SamePixels(main_window::SaveProjectIcon(), studio_icons::Image(studio_icons::kSaveProject)));
    EXPECT_TRUE(SamePixels(options::AddFolderIcon(), studio_icons::Image(studio_icons::kAddFolder)));
    EXPECT_TRUE(SamePixels(options::RemoveFolderIcon(), studio_icons::Image(studio_icons::kRemoveFolder)));
    // Different commands, different pictures.
    EXPECT_FALSE(SamePixels(main_window::NewProjectIcon(), main_window::SaveProjectIcon()));
    EXPECT_FALSE(SamePixels(options::AddFolderIcon(), options::RemoveFolderIcon()));
    // The pages' icons offer the full 64-pixel picture for a dense screen.
    const QIcon audio = options::AudioOutputIcon();
    EXPECT_FALSE(audio.isNull());
    const QPixmap dense = audio.pixmap(QSize(32, 32), 2.0);
    EXPECT_EQ(dense.size(), QSize(64, 64));
    EXPECT_EQ(dense.devicePixelRatio(), 2.0);
}

TEST(StudioIcons, EveryNumberHoldsItsOwnPicture) {
    // A number embedded twice with the same file, or two numbers swapped in the table, would
    // show one command's picture on another's button.
    const int numbers[] = {studio_icons::kNewProject,      studio_icons::kOpenProject,     studio_icons::kSaveProject,
                           studio_icons::kAudioOutput,     studio_icons::kVstPaths,        studio_icons::kAddFolder,
                           studio_icons::kRemoveFolder,    studio_icons::kLoadBank,        studio_icons::kRecordOff,
                           studio_icons::kRecordOn,        studio_icons::kSaveFile,        studio_icons::kAddPattern,
                           studio_icons::kRemovePattern,   studio_icons::kDuplicatePattern, studio_icons::kRenamePattern,
                           studio_icons::kAddControlTrack, studio_icons::kRemoveControlTrack, studio_icons::kPatternPlay,
                           studio_icons::kPatternStop,     studio_icons::kPatternLoop,     studio_icons::kSongPlayOff,
                           studio_icons::kSongPlayOn,      studio_icons::kSongStop,        studio_icons::kSongLoopOff,
                           studio_icons::kSongLoopOn};
    for (size_t i = 0; i < std::size(numbers); ++i)
        for (size_t j = i + 1; j < std::size(numbers); ++j)
            EXPECT_FALSE(SamePixels(studio_icons::Image(numbers[i]), studio_icons::Image(numbers[j])))
                << numbers[i] << " and " << numbers[j];
}

TEST(StudioIcons, AMissingNumberRaisesTheReadersText) {
    try {
        studio_icons::Image(299);
        FAIL() << "no error for a missing icon";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()), "Picture Resource 299 Not Found");
    }
}
