// The options dialog's icons: the pages' icons (a speaker for "Audio Output", a folder with a
// plug-in's jack for "VST Paths", 32 logical pixels) and the tool bar's folder with a plus or a
// minus (16 pixels). Drawn by the artwork generator and embedded in the program
// (studio_ui/icons/studio_icons.h). User-interface thread (QIcon).
#pragma once

#include <QIcon>
#include <QImage>

namespace options {

QIcon AudioOutputIcon();
QIcon VstPathsIcon();
QImage AddFolderIcon();
QImage RemoveFolderIcon();

} // namespace options
