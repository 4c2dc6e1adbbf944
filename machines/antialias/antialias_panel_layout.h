// The AntiAlias panel: one 96-pixel knob at the top-left corner over a background that adds the
// parameter's caption below it. The panel and the artwork generator both read it.
#pragma once

namespace antialias_panel {

inline constexpr int kWidth = 96;
inline constexpr int kHeight = 112;
inline constexpr int kKnobSize = 96;

} // namespace antialias_panel
