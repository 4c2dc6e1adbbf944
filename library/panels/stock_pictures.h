// The pictures of QX Stockrack's panels: PNG files of library/artwork/ embedded in the library as
// resources of type "BINARY", by number.
//
// Threads: Get may be called from any thread; each picture is read once and kept for the life of
// the process (panels of every machine of a kind share it).
#pragma once

#include "gui/picture/picture.h"
#include "platform/resources.h"

// The library's resource table (generated at build time).
extern const platform::ResourceTable kStockResources;

namespace stock_pictures {

inline constexpr int kAntiAliasBackground = 120;
inline constexpr int kAntiAliasKnob = 121;
inline constexpr int kBassHeadIcon = 105;
inline constexpr int kDrumKitBackground = 130;
inline constexpr int kDrumKitKnob = 131;
inline constexpr int kBassHeadBackground = 132;
inline constexpr int kBassHeadTrack = 133;
inline constexpr int kBassHeadHandle = 134;
inline constexpr int kBassHeadFont = 135;
// The Mixer's skin: strip backgrounds, knob strip, mute and solo buttons (up, pressed, latched
// in a row), the sliders' handle and the caption font.
inline constexpr int kMixerTrackStrip = 137;
inline constexpr int kMixerAuxStrip = 138;
inline constexpr int kMixerKnob = 139;
inline constexpr int kMixerMuteUp = 140;
inline constexpr int kMixerSoloUp = 143;
inline constexpr int kMixerHandle = 146;
inline constexpr int kMixerFont = 147;
// The SpatialVerb's skin: background, knob strip, slider handle, the four point markers (Src L,
// Src R, Dst L, Dst R), the swap button (up, pressed, latched stacked top to bottom) and the large
// picture the swap button shows.
inline constexpr int kSpatialVerbBackground = 103;
inline constexpr int kSpatialVerbKnob = 104;
inline constexpr int kSpatialVerbHandle = 106;
inline constexpr int kSpatialVerbMarkers = 107;
inline constexpr int kSpatialVerbSwap = 111;
inline constexpr int kSpatialVerbPicture = 112;

// The picture stored under number; raises the reader's text when it is missing or broken.
const gui::CPicture& Get(int number);

} // namespace stock_pictures
