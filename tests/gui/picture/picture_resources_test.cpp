// Pictures looked up in a deliverable's embedded resources by number; the files were written by
// make_pictures.py, an encoder apart from the reader, and hold a pattern computed here again.
#include "gui/picture/picture_resources.h"
#include "platform/error.h"

#include <gtest/gtest.h>

extern const platform::ResourceTable kPictureTestResources;

namespace {

uint8_t Expected(int x, int y, int channel) {
    const int values[] = {x * 19, y * 27, x * y, 255 - 3 * x - 5 * y};
    return static_cast<uint8_t>(((values[channel] % 256) + 256) % 256);
}

std::string Refusal(int number) {
    try {
        gui::PictureFromResource(kPictureTestResources, number);
    } catch (const platform::CError& error) {
        return error.what();
    }
    return "(loaded)";
}

TEST(PictureResources, LoadsEachEmbeddedPictureByNumber) {
    struct Case {
        int number, width, height;
        bool alpha;
    };
    for (const Case& c : {Case{100, 23, 17, true}, Case{101, 41, 6, false}}) {
        const gui::CPicture picture = gui::PictureFromResource(kPictureTestResources, c.number);
        ASSERT_EQ(picture.Width(), c.width);
        ASSERT_EQ(picture.Height(), c.height);
        ASSERT_EQ(picture.HasAlpha(), c.alpha);
        int wrong = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                for (int channel = 0; channel < picture.BytesPerPixel(); ++channel)
                    wrong += picture.PixelAt(x, y)[channel] != Expected(x, y, channel);
        EXPECT_EQ(wrong, 0) << "resource " << c.number;
    }
}

TEST(PictureResources, MissingAndBrokenResourcesRaiseTheirTexts) {
    EXPECT_EQ(Refusal(99), "Picture Resource 99 Not Found");
    // Stored under another type than pictures are: not found by number.
    EXPECT_EQ(Refusal(7), "Picture Resource 7 Not Found");
    // Not a PNG file at all.
    EXPECT_EQ(Refusal(102), "PNG File Header Not Found");
}

} // namespace
