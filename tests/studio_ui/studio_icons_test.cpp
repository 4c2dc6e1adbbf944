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
                 {studio_icons::kRecordOn, 14},   {studio_icons::kSaveFile, 14}};
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

TEST(StudioIcons, AMissingNumberRaisesTheReadersText) {
    try {
        studio_icons::Image(299);
        FAIL() << "no error for a missing icon";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()), "Picture Resource 299 Not Found");
    }
}
