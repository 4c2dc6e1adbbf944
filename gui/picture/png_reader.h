// Reads the PNG pictures stored in the deliverables: 8-bit RGB or RGBA, not interlaced. Every
// byte of the file is distrusted; a file that cannot be read raises one of the reader's texts as
// a platform::CError and allocates no more than what the file really inflates to.
//
// Threads: any; the reader keeps no state between calls.
#pragma once

#include "gui/picture/picture.h"

#include <cstddef>
#include <cstdint>

namespace gui {

// The most pixel bytes (rows with their filter bytes) a picture may inflate to: 256 MiB, far
// above any panel or skin. A header asking for more is refused as not inflating to its size.
inline constexpr uint64_t kMaxPngImageBytes = uint64_t{256} << 20;

// The picture held by the PNG file in data[0 .. size).
CPicture ReadPng(const uint8_t* data, size_t size);

} // namespace gui
