// CLiteLCDText: a scrolling text display on a skinned panel. The text is shown upper-case as a
// translucent black shadow over the panel's background (darker where the glyph is darker, scaled
// by the display's intensity). A new text starts at its beginning; after 4000 ms it moves one
// pixel to the left every 100 ms until its end is in view, then it stops.
//
// Threads: UI thread. The scroll timer runs on the UI thread (gui::UiClock) and takes the
// container's lock around each step.
#pragma once

#include "gui/lite_container.h"
#include "gui/ui_clock.h"

#include <QFont>

#include <memory>
#include <string>

namespace gui {

class CLiteLCDText : public CLiteControl {
public:
    static constexpr int kFirstDelayMs = 4000;
    static constexpr int kStepMs = 100;

    // intensity 0..1 scales the shadow's opacity. The container's font is used.
    CLiteLCDText(CLiteContainer& container, int x, int y, int width, int height, float intensity);

    // UI thread: shows a new text from its beginning and starts the scroll timer.
    void SetText(const char* text);
    void SetFont(const QFont& font) { m_font = font; }
    // The text as shown (upper-cased).
    const std::string& Text() const { return m_text; }
    // Pixels the text has moved to the left, and where it stops (0 when it fits).
    int ScrollPosition() const { return m_position; }
    int EndPosition() const { return m_end; }
    bool IsScrolling() const { return m_timer && m_timer->IsActive(); }
    // The rendered text: black with the shadow's alpha, at least as wide as the display.
    const CPicture& TextPicture() const { return m_picture; }

    void Draw(CPicture& target) override;

private:
    void Step();

    float m_intensity;
    QFont m_font;
    std::string m_text;
    CPicture m_picture;
    int m_position = 0;
    int m_end = 0;
    std::unique_ptr<CUiTimer> m_timer;
};

} // namespace gui
