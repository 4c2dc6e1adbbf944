// CWindow: a top-level window (or a framed window inside another), the home of a view or a
// dialog. Its size may be given as the client area's; the window system adds its frame around it.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

#include <QString>

namespace gui {

class CWindow : public CControl {
public:
    // A top-level window (parent null) or a framed child; width and height are the client area's.
    void CreateWindow(CControl* parent, const QString& title, int x, int y, int width, int height, bool offscreen);
    void SetTitle(const QString& title);
    QString Title() const;

    bool HandleEvent(QEvent* event) override;
    // The user asked to close the window; false keeps it open (unsaved changes, say).
    virtual bool CloseRequested();
};

} // namespace gui
