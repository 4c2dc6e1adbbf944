// CButton: a push button painted by the toolkit: a raised face with its caption, in one of four
// states. Up; pressed (the left button went down on it and the pointer is inside: sunken face,
// caption moved by a pixel); pressed with the pointer outside (drawn up again: letting go there
// does not click); disabled (face slot 3, caption slot 5, ignores all input). Enabled buttons are
// painted with face slot 2 and caption slot 4.
//
// A click is the left button going down inside and coming up inside; the button holds the
// pointer capture between the two. Space or Enter click it when it has the keyboard focus. A
// click calls the parent's ButtonClicked(this); the parent may destroy the button there.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

#include <QString>

class QRect;

namespace gui {

class CButton : public CControl {
public:
    enum class State { kUp, kPressed, kPressedOutside, kDisabled };

    void CreateButton(CControl* parent, const QString& caption, int x, int y, int width, int height);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    // A disabled button drops a press in progress (no click) and ignores input until enabled.
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return m_enabled; }
    State CurrentState() const;
    void SetToolTip(const QString& tip);

    void LeftButtonDown(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void PointerMove(int x, int y) override;
    void CaptureLost() override;
    bool KeyPressed(QKeyEvent* event) override;
    bool HandleEvent(QEvent* event) override;
    void Render(QPainter& painter) override;

protected:
    // What a click does: tells the parent. The menu button pops its menu instead.
    virtual void Clicked();
    // Draws the caption (or whatever the face shows) inside the bevel; pressed moves it by a pixel.
    virtual void RenderFace(QPainter& painter, const QRect& inside);
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }

private:
    QString m_caption;
    bool m_enabled = true;
    bool m_pressed = false;      // left button down on it, capture held
    bool m_pointerInside = false; // while pressed: where the pointer is
};

} // namespace gui
