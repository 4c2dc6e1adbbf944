// Where the SpatialVerb panel's pieces sit: the room view with its two sliders, the view-time
// slider, the early and late response displays, the text display, the four knobs and the two
// buttons that swap the late display for the large picture. The panel, the machine (its panel
// rectangle) and the artwork generator all read it.
#pragma once

#include <cstdint>

namespace spatialverb_panel {

inline constexpr int kWidth = 456;
inline constexpr int kHeight = 184;

// Knobs for Wall Absorb, Feedback, Cutoff and Gain (parameters 10..13), 32 pixels square.
inline constexpr int kKnobSize = 32;
inline constexpr int kKnobY = 121;
struct KnobPlace {
    int32_t parameter;
    int x;
    const char* caption; // printed under the knob
};
inline constexpr KnobPlace kKnobs[] = {
    {10, 188, "WALL ABSORB"}, {11, 270, "FEEDBACK"}, {12, 337, "CUTOFF"}, {13, 399, "GAIN"}};
inline constexpr int kKnobCaptionY = 156;

// Sliders: a square handle moving along a track of kSliderLength pixels.
inline constexpr int kHandleSize = 12;
inline constexpr int kSliderLength = 87;
inline constexpr int kWidthSliderX = 25, kWidthSliderY = 19;   // Room Width, horizontal
inline constexpr int kHeightSliderX = 17, kHeightSliderY = 37; // Room Height, vertical
inline constexpr int kTimeSliderX = 25, kTimeSliderY = 128;    // view time, no parameter

// The text display: one line in the display font (cells of 16 x 16, 8 pixels per character).
inline constexpr int kTextX = 284, kTextY = 20, kTextWidth = 135, kTextHeight = 16;

// The room seen from above, and the two response displays.
inline constexpr int kRoomX = 45, kRoomY = 45, kRoomSize = 69;
inline constexpr int kEarlyX = 141, kEarlyY = 45, kEarlyWidth = 85, kEarlyHeight = 69;
inline constexpr int kLateX = 253, kLateY = 45, kLateWidth = 165, kLateHeight = 69;

// The small button that swaps the late display for the large picture, and that picture (a button
// too: a click on it brings the late display back). The small button sits under the Gain knob's
// caption, clear of the knob.
inline constexpr int kSwapX = 398, kSwapY = 168, kSwapWidth = 50, kSwapHeight = 12;
inline constexpr int kPictureX = 248, kPictureY = 40, kPictureWidth = 176, kPictureHeight = 80;

// The point markers (sources and listening points), drawn centred on their point.
inline constexpr int kMarkerSize = 9;

// The response displays' scale: decibels from the floor (bottom edge) to 0 dB (top edge).
inline constexpr float kDisplayFloorDb = -60.0f;

} // namespace spatialverb_panel
