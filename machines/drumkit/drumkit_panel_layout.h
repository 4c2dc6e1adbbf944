// Where the DrumKit panel's pieces sit: the background's size and one knob per parameter that has
// a place (the Balance parameters have none). The panel and the artwork generator both read it, so
// the captions printed on the background stand under the knobs they name.
#pragma once

#include <cstdint>

namespace drumkit_panel {

inline constexpr int kWidth = 560;
inline constexpr int kHeight = 448;
inline constexpr int kKnobSize = 36;

struct KnobPlace {
    int32_t parameter;
    int x, y;
    const char* caption; // the parameter's name as the background prints it
};

inline constexpr KnobPlace kKnobs[] = {
    {0, 26, 94, "BD TUNE"},     {1, 90, 94, "BD LEVEL"},   {3, 154, 94, "BD ATTACK"},   {4, 218, 94, "BD DECAY"},
    {5, 26, 190, "SD TUNE"},    {6, 90, 190, "SD LEVEL"},  {8, 154, 190, "SD TONE"},    {9, 218, 190, "SD SNAPPY"},
    {10, 302, 94, "LT TUNE"},   {11, 366, 94, "LT LEVEL"}, {13, 430, 94, "LT DECAY"},   {14, 302, 190, "MT TUNE"},
    {15, 366, 190, "MT LEVEL"}, {17, 430, 190, "MT DECAY"}, {18, 302, 286, "HT TUNE"},  {19, 366, 286, "HT LEVEL"},
    {21, 430, 286, "HT DECAY"}, {22, 26, 286, "RS LEVEL"}, {24, 90, 286, "CP LEVEL"},   {26, 26, 382, "CH LEVEL"},
    {28, 90, 382, "CH DECAY"},  {29, 154, 382, "OH LEVEL"}, {31, 218, 382, "OH DECAY"}, {32, 302, 382, "CC LEVEL"},
    {34, 366, 382, "CC DECAY"}, {35, 430, 382, "RC LEVEL"}, {37, 494, 382, "RC DECAY"},
};
inline constexpr int kKnobCount = static_cast<int>(sizeof(kKnobs) / sizeof(kKnobs[0]));

} // namespace drumkit_panel
