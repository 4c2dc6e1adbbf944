// CFrame: a group frame: an etched (sunken, then raised) outline around a group of controls,
// with its caption set into the top edge. The controls of the group are made after the frame, as
// its siblings or its children, so they lie on top of it.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

#include <QString>

namespace gui {

class CFrame : public CControl {
public:
    void CreateFrame(CControl* parent, const QString& caption, int x, int y, int width, int height);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    // The top of the area inside the outline, below the caption, in the frame's coordinates.
    int ContentTop() const;
    void Render(QPainter& painter) override;

private:
    QString m_caption;
};

} // namespace gui
