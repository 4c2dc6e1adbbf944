// CMachineFrame: the window of one machine on the studio surface. It shows the frame's model
// (CMachineContainer): the instance name as its title, the menu button and its menu, the panel
// area (the machine's icon, the default parameter panel or the machine's own panel, by panel
// mode), and one connector per port along the bottom. Its outline has the top-right corner cut.
//
// Threads: user-interface thread only. It observes its container (CContainerListener) and is
// destroyed by the studio view when the studio reports the frame removed, before which the
// container still exists.
#pragma once

#include "engine/machine_container.h"
#include "gui/control.h"
#include "studio_ui/studio_view/surface_geometry.h"

#include <memory>
#include <vector>

namespace gui {
class CComboBox;
class CDefaultGUI;
class CLabel;
} // namespace gui

namespace studio_view {

class CConnectorView;
class CStudioView;

// The program tool bar: "Program" and the box "ProgramCombo" listing the machine's programs.
class CProgramToolBar : public gui::CControl {
public:
    explicit CProgramToolBar(CMachineContainer* container);
    ~CProgramToolBar() override;
    void Build(gui::CControl* frame);
    gui::CComboBox* Combo() const { return m_combo.get(); }
    void ComboChanged(gui::CComboBox* combo) override;

private:
    CMachineContainer* m_container;
    std::unique_ptr<gui::CLabel> m_label;
    std::unique_ptr<gui::CComboBox> m_combo;
};

// The entries of a frame's menu, in order.
enum FrameMenuEntry { kMenuHide, kMenuDefault, kMenuCustom, kMenuSeparator, kMenuRename, kMenuRandomize, kMenuDelete };

class CMachineFrame : public gui::CControl, public CContainerListener {
public:
    CMachineFrame(CMachineContainer* container, CStudioView* view);
    ~CMachineFrame() override;

    // Makes the window and its parts on the surface at the container's position minus the scroll
    // offset.
    void Build(gui::CControl* surface, QPoint scroll);
    // Sizes the frame for its title, connectors and shown panel, cuts its corner, redraws.
    void LayOut();

    CMachineContainer* Container() const { return m_container; }
    uint64_t Serial() const { return m_serial; }
    const std::vector<std::unique_ptr<CConnectorView>>& Connectors() const { return m_connectors; }
    CConnectorView* ViewOf(const CConnector* connector) const;
    // The studio destroyed the machine: drops the connector views, which show connectors that
    // are gone, so that a repaint they were marked for (by the cables removed with the machine)
    // never reads them.
    void DropConnectors();
    // The menu as it would be shown: texts and greyed states.
    std::vector<bool> MenuEnabled() const;
    // Carries out a menu entry (as if chosen).
    void RunMenuEntry(int entry);
    // Pops the menu at the menu button and runs the choice.
    void OpenMenu();
    // The rectangle of the title strip (where a drag moves the frame), frame coordinates.
    QRect TitleArea() const;
    QRect MenuButtonArea() const;
    QRect PanelArea() const;
    gui::CDefaultGUI* DefaultPanel() const { return m_defaultPanel.get(); }
    CProgramToolBar* ProgramBar() const { return m_programBar.get(); }
    gui::CControl* GuiContainer() const { return m_guiContainer.get(); }

    void Render(QPainter& painter) override;
    void LeftButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    // The default panel's sliders: the user edited a parameter.
    void ChildChanged(gui::CControl* child) override;
    // The machine's own panel may have changed its size: the frame follows it.
    void PanelResized();

    // CContainerListener
    void ParameterChanged(CMachineContainer* frame, int32_t index, float value) override;
    void ConnectorsChanged(CMachineContainer* frame) override;
    void ParametersChanged(CMachineContainer* frame) override;
    void PanelModeChanged(CMachineContainer* frame) override;

private:
    void BuildConnectors();
    int PanelTop() const { return m_hasPrograms ? 43 : 19; }

    CMachineContainer* m_container;
    CStudioView* m_view;
    uint64_t m_serial;
    // Fixed when the frame is made: whether "Delete Machine" is offered (not for "Master").
    bool m_deletable;
    bool m_hasPrograms;
    QFont m_titleFont;
    QFont m_connectorFont;
    QFont m_iconFont;
    QString m_initials;
    std::vector<std::unique_ptr<CConnectorView>> m_connectors;
    std::unique_ptr<CProgramToolBar> m_programBar;
    std::unique_ptr<gui::CControl> m_guiContainer;
    std::unique_ptr<gui::CDefaultGUI> m_defaultPanel;
};

} // namespace studio_view
