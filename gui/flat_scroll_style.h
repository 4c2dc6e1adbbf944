// The studio's scroll bars drawn flat: trough, thumb and arrow buttons as plain fills in the bar's
// palette (Button for the thumb and buttons, Base for the trough, ButtonText for the arrows).
// Sizes and hit areas stay the platform style's, so the bar behaves exactly as before. The
// platform style shades tall thumbs and troughs with gradients, which Qt's raster engine blends
// on its thread pool: a repaint of the studio surface spent longer waiting for that than drawing.
//
// Threads: user-interface thread.
#pragma once

class QScrollBar;

namespace gui {

class CColorManager;

// Gives the bar the flat look in the studio's colours: the face for the thumb and buttons, a
// darker trough (one style object shared by every bar, made on first use).
void UseFlatLook(QScrollBar* bar, const CColorManager& colors);

} // namespace gui
