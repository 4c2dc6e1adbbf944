// CConnectorView: one port of a machine on its frame, 64 x 13 pixels: the kind badge ("CT" a
// control port, "ST" stereo audio, "MO" mono audio, "--" anything else), an "In" lamp for an input
// lit while cables end here, an "Out" lamp for an output lit while cables start here, and the
// port's name. A left press starts a cable drag on the studio surface.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

class CConnector;

namespace studio_view {

class CStudioView;

class CConnectorView : public gui::CControl {
public:
    CConnectorView(CConnector* connector, CStudioView* view);
    CConnector* Connector() const { return m_connector; }
    // "CT", "ST", "MO" or "--".
    const char* Badge() const;
    bool InLit() const;
    bool OutLit() const;

    // Shows the connector with a tool tip naming its kind, direction and port.
    void Show() override;
    void Render(QPainter& painter) override;
    void LeftButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void LeftButtonUp(int x, int y) override;

private:
    CConnector* m_connector;
    CStudioView* m_view;
};

} // namespace studio_view
