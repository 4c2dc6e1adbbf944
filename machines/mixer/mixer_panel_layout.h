// Where the Mixer panel's pieces sit on one strip panel (track or AUX bus), relative to the strip,
// whose size is its background's. The strip panels stand side by side, tracks first. The panel and
// the artwork generator both read it.
#pragma once

namespace mixer_panel {

inline constexpr int kStripWidth = 90;
inline constexpr int kStripHeight = 224;

// Parameter roles within a strip (the offset from its first parameter).
enum Role : int { kLevel = 0, kBalance = 1, kLow = 2, kMid = 3, kHigh = 4, kAux1 = 5, kAux2 = 6 };

inline constexpr int kKnobSize = 28;
struct Place {
    int role;
    int x, y;
};
// The three band knobs, on every strip.
inline constexpr Place kBandKnobs[] = {{kLow, 0, 62}, {kMid, 30, 62}, {kHigh, 60, 62}};
// The two send knobs, on track strips only.
inline constexpr Place kSendKnobs[] = {{kAux1, 16, 22}, {kAux2, 46, 22}};

inline constexpr int kButtonWidth = 38;
inline constexpr int kButtonHeight = 14;
inline constexpr int kMuteX = 4, kMuteY = 4;
inline constexpr int kSoloX = 48, kSoloY = 4;

// The handle both sliders move; the level slider is vertical, the balance slider horizontal.
inline constexpr int kHandleSize = 12;
inline constexpr int kLevelX = 36, kLevelY = 112, kLevelLength = 78;
inline constexpr int kBalanceX = 32, kBalanceY = 188, kBalanceLength = 42;

// The two level meters (left, right) beside the level slider.
inline constexpr int kMeterWidth = 4;
inline constexpr int kMeterY = 114, kMeterHeight = 70;
inline constexpr int kLeftMeterX = 58, kRightMeterX = 64;

// Captions: the band and send names are printed on the backgrounds; the strip's title is drawn
// at run time with the caption font (6 x 8 cells, characters 32..127, 16 to a row).
struct Caption {
    const char* text;
    int x, y;
};
inline constexpr Caption kBandCaptions[] = {{"LOW", 9, 96}, {"MID", 39, 96}, {"HIGH", 66, 96}};
inline constexpr Caption kSendCaptions[] = {{"AUX1", 21, 56}, {"AUX2", 52, 56}};
inline constexpr int kTrackTitleX = 27, kAuxTitleX = 33, kTitleY = 210;
inline constexpr int kFontCellWidth = 6, kFontCellHeight = 8, kFontColumns = 16;

} // namespace mixer_panel
