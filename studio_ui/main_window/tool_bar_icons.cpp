#include "studio_ui/main_window/tool_bar_icons.h"

#include "studio_ui/icons/studio_icons.h"

namespace main_window {

QImage NewProjectIcon() { return studio_icons::Image(studio_icons::kNewProject); }
QImage OpenProjectIcon() { return studio_icons::Image(studio_icons::kOpenProject); }
QImage SaveProjectIcon() { return studio_icons::Image(studio_icons::kSaveProject); }

} // namespace main_window
