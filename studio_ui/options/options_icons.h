// The options dialog's icons, drawn in code so they follow no file: the pages' icons (a speaker
// for "Audio Output", a folder for "VST Paths", 32 logical pixels) and the tool bar's folder with
// a plus or a minus (16 pixels). User-interface thread (they use Qt's painter).
#pragma once

#include <QIcon>
#include <QImage>

namespace options {

QIcon AudioOutputIcon();
QIcon VstPathsIcon();
QImage AddFolderIcon();
QImage RemoveFolderIcon();

} // namespace options
