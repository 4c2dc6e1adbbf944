// CScrollBar: the platform's scroll bar (a QScrollBar filling the control) with a range, a page
// and a value. A change the user makes (arrows, track, dragging the thumb, the wheel) is reported
// to the parent through ChildChanged(this); setting the range, page or value from code reports
// nothing.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

class QScrollBar;

namespace gui {

class CScrollBar : public CControl {
public:
    CScrollBar();
    ~CScrollBar() override;

    using CControl::Create;
    // A hidden scroll bar at (x, y) of the given size inside parent; range 0..0, page 1.
    void Create(CControl* parent, const char* name, int x, int y, int width, int height, bool vertical);

    // The values the thumb can take (minimum..maximum); the value is clamped into it.
    void SetRange(int minimum, int maximum);
    // How many units one page shows (the thumb's length; Page Up/Down and track clicks step it).
    void SetPage(int page);
    void SetValue(int value);
    int Value() const;
    int Minimum() const;
    int Maximum() const;
    int Page() const;
    // The platform widget, for tests and for views that route the wheel to it.
    QScrollBar* Bar() const { return m_bar; }

    bool HandleEvent(QEvent* event) override;

private:
    QScrollBar* m_bar = nullptr; // owned by the control's widget
    bool m_fromCode = false;
};

} // namespace gui
