#include "studio_ui/options/options_icons.h"

#include "studio_ui/icons/studio_icons.h"

namespace options {

QIcon AudioOutputIcon() { return studio_icons::Icon(studio_icons::kAudioOutput); }
QIcon VstPathsIcon() { return studio_icons::Icon(studio_icons::kVstPaths); }
QImage AddFolderIcon() { return studio_icons::Image(studio_icons::kAddFolder); }
QImage RemoveFolderIcon() { return studio_icons::Image(studio_icons::kRemoveFolder); }

} // namespace options
