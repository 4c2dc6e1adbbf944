// CIconButton: a button showing a picture instead of a caption, with a tool tip saying what it
// does. It behaves as CButton (states, capture, keys, ButtonClicked); disabled, the picture is
// drawn greyed by Qt's disabled icon mode.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/button.h"

#include <QIcon>

namespace gui {

class CIconButton : public CButton {
public:
    void CreateIconButton(CControl* parent, const QIcon& icon, const QString& toolTip, int x, int y, int width,
                          int height);
    void SetIcon(const QIcon& icon);
    const QIcon& Icon() const { return m_icon; }
    QString ToolTip() const;

protected:
    void RenderFace(QPainter& painter, const QRect& inside) override;

private:
    QIcon m_icon;
};

} // namespace gui
