// CToolBar and CToolBarButton: a strip of icon buttons with tool tips along the top of a view.
// A click on a button (press and release inside it) calls the tool bar owner's (the tool bar's
// parent's) ToolBarButtonClicked(button). The owner may place other controls (labels, fields,
// sliders, meters) on the tool bar after the buttons (NextX).
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <memory>
#include <vector>

namespace gui {

class CToolBarButton : public CControl {
public:
    using CControl::Create;
    // A hidden button of the given size showing icon (centred), with the platform tool tip text.
    // command is the owner's number for the button.
    void Create(CControl* toolBar, int command, const QImage& icon, const QString& toolTip, int x, int y, int width,
                int height);
    int Command() const { return m_command; }
    QString ToolTip() const;
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return m_enabled; }
    bool IsPressed() const { return m_pressed && m_inside; }

    void LeftButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void CaptureLost() override;
    bool HandleEvent(QEvent* event) override;
    void Render(QPainter& painter) override;

private:
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }

    QImage m_icon;
    int m_command = 0;
    bool m_enabled = true;
    bool m_pressed = false;
    bool m_inside = false;
    bool m_hover = false;
};

class CToolBar : public CControl {
public:
    static constexpr int kButtonSize = 24;
    static constexpr int kGap = 2;

    CToolBar();
    ~CToolBar() override;

    using CControl::Create;
    // A hidden tool bar at (x, y) inside owner; its clicks go to owner.
    void Create(CControl* owner, int x, int y, int width, int height);
    // A square button after the previous ones, vertically centred; owned by the tool bar.
    CToolBarButton* AddButton(int command, const QImage& icon, const QString& toolTip);
    // Leaves room between groups of buttons.
    void AddSpace(int pixels) { m_nextX += pixels; }
    // Where the next button (or a control the owner places) starts.
    int NextX() const { return m_nextX; }
    int ButtonCount() const { return static_cast<int>(m_buttons.size()); }
    CToolBarButton* Button(int index) const { return m_buttons.at(static_cast<size_t>(index)).get(); }

    // A button's click goes on to the owner.
    void ToolBarButtonClicked(CToolBarButton* button) override;
    void Render(QPainter& painter) override;

private:
    std::vector<std::unique_ptr<CToolBarButton>> m_buttons;
    int m_nextX = 4;
};

} // namespace gui
