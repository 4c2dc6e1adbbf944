// CLabel: a line of text on the control's background (slot 2 unless set), in the button text
// colour (slot 4), aligned left, centred or right and centred vertically. Text too long for the
// label ends in an ellipsis rather than being cut mid-letter.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

#include <QString>

namespace gui {

class CLabel : public CControl {
public:
    void CreateLabel(CControl* parent, const QString& text, int x, int y, int width, int height,
                     Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
    QString Text() const { return m_text; }
    void SetText(const QString& text);
    Qt::Alignment Alignment() const { return m_alignment; }
    void SetAlignment(Qt::Alignment alignment);
    // The colour slot of the text (slot 4 by default).
    void SetTextSlot(int slot);
    void Render(QPainter& painter) override;

private:
    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    int m_textSlot = 4;
};

} // namespace gui
