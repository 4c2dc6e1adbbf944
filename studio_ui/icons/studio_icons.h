// The studio window's icons: PNG files of studio_ui/artwork/ (written by tools/make_artwork)
// embedded in the program as resources of type "BINARY", by number, and read with the program's
// own PNG reader. Every icon is drawn at twice its logical size, so the images carry density 2.
//
// Threads: any (no widget is touched); a QIcon is made on the user-interface thread.
#pragma once

#include <QIcon>
#include <QImage>

namespace studio_icons {

// The main tool bar (16 logical pixels).
inline constexpr int kNewProject = 200;
inline constexpr int kOpenProject = 201;
inline constexpr int kSaveProject = 202;
// The options window: its pages (32 logical pixels) and the VST folder list's tool bar (16).
inline constexpr int kAudioOutput = 210;
inline constexpr int kVstPaths = 211;
inline constexpr int kAddFolder = 212;
inline constexpr int kRemoveFolder = 213;
// The bank explorer's tool bar (16).
inline constexpr int kLoadBank = 220;
// The HD recorder page's buttons (14).
inline constexpr int kRecordOff = 230;
inline constexpr int kRecordOn = 231;
inline constexpr int kSaveFile = 232;
// The pattern editor page's tool bars (16).
inline constexpr int kAddPattern = 240;
inline constexpr int kRemovePattern = 241;
inline constexpr int kDuplicatePattern = 242;
inline constexpr int kRenamePattern = 243;
inline constexpr int kAddControlTrack = 244;
inline constexpr int kRemoveControlTrack = 245;
// Its transport: the sequence editor's play, stop and loop drawn at 16.
inline constexpr int kPatternPlay = 246;
inline constexpr int kPatternStop = 247;
inline constexpr int kPatternLoop = 248;
// The sequence editor page's transport (14): idle and lit while the state holds; its record
// button shows the HD recorder's kRecordOff and kRecordOn.
inline constexpr int kSongPlayOff = 250;
inline constexpr int kSongPlayOn = 251;
inline constexpr int kSongStop = 252;
inline constexpr int kSongLoopOff = 253;
inline constexpr int kSongLoopOn = 254;

// The icon stored under number, at density 2; raises the reader's text when it is missing or
// broken (a build fault: every number above is embedded).
QImage Image(int number);
QIcon Icon(int number);

} // namespace studio_icons
