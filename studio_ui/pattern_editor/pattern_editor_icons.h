// The pattern editor's tool bar pictures, drawn in code at twice the density (16 x 16 logical
// pixels), in the style of the main tool bar's.
// User-interface thread (QImage painting needs no display, but the tool bars are made there).
#pragma once

#include <QImage>

namespace pattern_editor {

enum class Icon { kAddPattern, kRemovePattern, kDuplicatePattern, kRenamePattern, kPlay, kStop, kLoop, kAddTrack,
                  kRemoveTrack };

QImage MakeIcon(Icon icon);

} // namespace pattern_editor
