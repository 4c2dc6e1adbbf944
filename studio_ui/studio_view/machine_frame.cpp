#include "studio_ui/studio_view/machine_frame.h"

#include "engine/studio.h"
#include "gui/color_manager.h"
#include "gui/combo_box.h"
#include "gui/default_panel.h"
#include "gui/dialog_service.h"
#include "gui/label.h"
#include "machine_interface/mutex.h"
#include "studio_ui/studio_view/connector_view.h"
#include "studio_ui/studio_view/studio_view.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QWidget>

namespace studio_view {
namespace {
constexpr int kConnectorPanelX = 3;
constexpr int kConnectorPanelBottom = 18; // the panel sits 18 pixels above the bottom edge
constexpr int kIconSize = 40;

// The "GUI Container" window: hands the default panel's edits on to the frame, and a panel's
// request for a new layout (a plug-in editor that changed its size) too.
class CGuiContainer : public gui::CControl {
public:
    explicit CGuiContainer(CMachineFrame* frame) : m_frame(frame) {}
    void ChildChanged(gui::CControl* child) override { m_frame->ChildChanged(child); }
    bool HandleEvent(QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) m_frame->PanelResized();
        return gui::CControl::HandleEvent(event);
    }

private:
    CMachineFrame* m_frame;
};
} // namespace

CProgramToolBar::CProgramToolBar(CMachineContainer* container) : m_container(container) {}
CProgramToolBar::~CProgramToolBar() = default;

void CProgramToolBar::Build(gui::CControl* frame) {
    Create(frame, "Program Tool Bar", 4, 19, 256, 24, false);
    m_label = std::make_unique<gui::CLabel>();
    m_label->CreateLabel(this, "Program", 0, 2, 60, 20);
    m_label->Show();
    m_combo = std::make_unique<gui::CComboBox>();
    m_combo->CreateComboBox(this, 60, 1, 180, 22);
    m_combo->Combo()->setObjectName("ProgramCombo");
    m_combo->Combo()->setToolTip("Select Program");
    CMachine* machine = m_container->Machine();
    for (int32_t i = 0; i < machine->m_programCount; ++i) {
        char name[256] = {};
        machine->GetProgramNameIndexed(i, name);
        m_combo->AddEntry(QString::fromUtf8(name));
    }
    m_combo->SetSelection(machine->GetProgram());
    m_combo->Show();
}

void CProgramToolBar::ComboChanged(gui::CComboBox* combo) { m_container->ChooseProgram(combo->Selection()); }

CMachineFrame::CMachineFrame(CMachineContainer* container, CStudioView* view)
    : m_container(container),
      m_view(view),
      m_serial(container->Serial()),
      m_deletable(container->Name() != "Master"),
      m_hasPrograms(container->Machine()->m_programCount >= 1),
      m_titleFont(gui::MakeFont(gui::kDefaultFace, 10, false)),
      m_connectorFont(gui::MakeFont(gui::kDefaultFace, 7, false)),
      m_iconFont(gui::MakeFont(gui::kDefaultFace, 11, true)) {
    m_container->AddListener(this);
    // The icon until the machine type brings its own picture: the type's initials.
    for (const QString& word : QString::fromUtf8(container->Info()->m_displayName).split(' ', Qt::SkipEmptyParts))
        if (m_initials.size() < 3 && word != "QX") m_initials += word.front();
}

CMachineFrame::~CMachineFrame() {
    // The view destroys a frame after the studio reported it removed: the container is gone then
    // and must not be touched. Otherwise (the view closing) stop listening.
    if (!m_view->IsRemoved(m_serial)) m_container->RemoveListener(this);
}

void CMachineFrame::Build(gui::CControl* surface, QPoint scroll) {
    Create(surface, m_container->Name().c_str(), m_container->m_x - scroll.x(), m_container->m_y - scroll.y(), 100,
           80, true);
    if (m_hasPrograms) {
        m_programBar = std::make_unique<CProgramToolBar>(m_container);
        m_programBar->Build(this);
        m_programBar->Show();
    }
    m_guiContainer = std::make_unique<CGuiContainer>(this);
    m_guiContainer->Create(this, "GUI Container", 4, PanelTop(), kIconSize, kIconSize, false);
    // The machine's own panel (made through the installed panel factory; none headless or in
    // tests without one), then the default panel for machines with parameters.
    m_container->CreatePanel(m_guiContainer->Widget());
    if (m_container->HasDefaultPanel()) {
        m_defaultPanel = std::make_unique<gui::CDefaultGUI>();
        m_defaultPanel->Create(m_guiContainer.get(), m_container->Machine(), 0, 0);
    }
    BuildConnectors();
    LayOut();
}

void CMachineFrame::BuildConnectors() {
    m_connectors.clear();
    for (int32_t i = 0; i < m_container->ConnectorCount(); ++i) {
        auto view = std::make_unique<CConnectorView>(m_container->Connector(i), m_view);
        view->SetFont(m_connectorFont);
        view->Create(this, "Connector", 0, 0, surface::kConnectorWidth, surface::kConnectorHeight, true);
        view->Show();
        m_connectors.push_back(std::move(view));
    }
}

void CMachineFrame::DropConnectors() { m_connectors.clear(); }

CConnectorView* CMachineFrame::ViewOf(const CConnector* connector) const {
    for (const auto& view : m_connectors)
        if (view->Connector() == connector) return view.get();
    return nullptr;
}

QRect CMachineFrame::TitleArea() const { return {0, 0, Width() - 18, 18}; }
QRect CMachineFrame::MenuButtonArea() const { return {Width() - 17, 7, 12, 10}; }
QRect CMachineFrame::PanelArea() const {
    return m_guiContainer ? QRect(m_guiContainer->X(), m_guiContainer->Y(), m_guiContainer->Width(),
                                  m_guiContainer->Height())
                          : QRect();
}

void CMachineFrame::LayOut() {
    surface::FrameLayoutInput in;
    in.titleWidth = QFontMetrics(m_titleFont).horizontalAdvance(QString::fromStdString(m_container->Name()));
    in.programBar = m_hasPrograms;
    if (!m_connectors.empty())
        in.lastConnectorRight = surface::ConnectorX(static_cast<int>(m_connectors.size()) - 1) + surface::kConnectorWidth;
    // The panel area: the icon's 40 x 40 in mode 0, else the shown panel's size. A mode whose
    // panel was not made here (a project saved where the machine had its own panel) shows the icon.
    const int32_t mode = m_container->PanelMode();
    auto* ownPanel = static_cast<QWidget*>(m_container->OwnPanel());
    in.panelWidth = kIconSize;
    in.panelHeight = kIconSize;
    if (mode == kPanelDefault && m_defaultPanel) {
        in.panelWidth = m_defaultPanel->Width();
        in.panelHeight = m_defaultPanel->Height();
    } else if (mode == kPanelOwn && ownPanel) {
        in.panelWidth = ownPanel->width();
        in.panelHeight = ownPanel->height();
    }
    const surface::FrameSize size = surface::LayOutFrame(in);
    MoveResize(X(), Y(), size.width, size.height);
    m_guiContainer->MoveResize(4, PanelTop(), in.panelWidth, in.panelHeight);
    const bool showDefault = mode == kPanelDefault && m_defaultPanel;
    const bool showOwn = mode == kPanelOwn && ownPanel;
    if (m_defaultPanel) m_defaultPanel->ShowWith(showDefault ? gui::ShowCommand::kShow : gui::ShowCommand::kHide);
    if (ownPanel) ownPanel->setVisible(showOwn);
    m_guiContainer->ShowWith(showDefault || showOwn ? gui::ShowCommand::kShow : gui::ShowCommand::kHide);
    for (size_t i = 0; i < m_connectors.size(); ++i)
        m_connectors[i]->Move(kConnectorPanelX + surface::ConnectorX(static_cast<int>(i)),
                              size.height - kConnectorPanelBottom + 2);
    QPolygon outline;
    for (const surface::Point& p : surface::FrameOutline(size.width, size.height)) outline << QPoint(p.x, p.y);
    Widget()->setMask(QRegion(outline));
    Widget()->setToolTip(QString::fromUtf8(m_container->Info()->m_displayName));
    Refresh();
}

std::vector<bool> CMachineFrame::MenuEnabled() const {
    const bool defaultPanel = m_container->HasDefaultPanel();
    const bool ownPanel = m_container->HasOwnPanel();
    return {defaultPanel || ownPanel, defaultPanel, ownPanel, false, true,
            m_container->Machine()->m_parameterCount > 0, m_deletable};
}

void CMachineFrame::OpenMenu() {
    static const char* const kTexts[] = {"Hide GUI", "Show Default GUI", "Show Custom GUI", "", "Rename", "Randomize",
                                         "Delete Machine"};
    const std::vector<bool> enabled = MenuEnabled();
    std::vector<gui::MenuEntry> entries;
    for (int i = 0; i <= kMenuDelete; ++i)
        entries.push_back({kTexts[i], enabled[static_cast<size_t>(i)], i == kMenuSeparator});
    // No lock is held while the menu is open.
    const QRect button = MenuButtonArea();
    const std::optional<int> choice = gui::Dialogs().PopUpMenu(Widget(), button.bottomLeft(), entries);
    if (choice) RunMenuEntry(*choice);
}

void CMachineFrame::RunMenuEntry(int entry) {
    const std::vector<bool> enabled = MenuEnabled();
    if (entry < 0 || entry > kMenuDelete || !enabled[static_cast<size_t>(entry)]) return;
    switch (entry) {
    case kMenuHide:
        m_container->SetPanelMode(kPanelIcon);
        break;
    case kMenuDefault:
        m_container->SetPanelMode(kPanelDefault);
        break;
    case kMenuCustom:
        m_container->SetPanelMode(kPanelOwn);
        break;
    case kMenuRename: {
        const std::optional<QString> name = gui::Dialogs().AskText(
            m_view->Widget(), "Rename Machine", "Name:", QString::fromStdString(m_container->Name()));
        if (!name) return;
        m_view->RenameFrame(this, name->toStdString());
        break;
    }
    case kMenuRandomize:
        m_container->Randomize();
        break;
    case kMenuDelete:
        // The studio takes its own mutex around the removal; this frame is destroyed by the view
        // when the studio reports it removed, so nothing of it may be touched afterwards.
        m_view->DeleteFrame(this);
        return;
    default:
        break;
    }
}

void CMachineFrame::Render(QPainter& painter) {
    const gui::CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(gui::kSlotFace));
    // The outline along the cut corner: light on the top and left, shadow on the rest.
    painter.setPen(colors.Pen(gui::kSlotBevelLight));
    painter.drawLine(0, 0, Width() - 6, 0);
    painter.drawLine(0, 0, 0, Height() - 1);
    painter.setPen(colors.Pen(gui::kSlotBevelShadow));
    painter.drawLine(Width() - 5, 0, Width() - 1, 4);
    painter.drawLine(Width() - 1, 5, Width() - 1, Height() - 1);
    painter.drawLine(0, Height() - 1, Width() - 1, Height() - 1);
    // The title at (4, 1).
    painter.setFont(m_titleFont);
    painter.setPen(colors.Pen(gui::kSlotButtonText));
    painter.drawText(QRect(4, 1, Width() - 22, 17), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(m_container->Name()));
    // The menu button: a small raised box with a down arrow.
    const QRect button = MenuButtonArea();
    painter.fillRect(button, colors.Brush(gui::kSlotDisabledFace));
    gui::DrawBevel(painter, button.x(), button.y(), button.width(), button.height(), gui::Bevel::kRaised, colors);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(colors.Brush(gui::kSlotButtonText));
    painter.setPen(Qt::NoPen);
    const QPoint c = button.center();
    painter.drawPolygon(QPolygon({QPoint(c.x() - 3, c.y() - 1), QPoint(c.x() + 4, c.y() - 1), QPoint(c.x(), c.y() + 3)}));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    // The connector panel's well.
    const int panelTop = Height() - kConnectorPanelBottom;
    gui::DrawBevel(painter, kConnectorPanelX - 1, panelTop + 1, Width() - 2 * kConnectorPanelX + 2, 15,
                   gui::Bevel::kSunken, colors);
    // The icon when no panel shows: the machine type's initials in a raised tile.
    if (m_guiContainer->Widget()->isHidden()) {
        const QRect icon = PanelArea();
        painter.fillRect(icon, colors.Brush(gui::kSlotFieldBackground));
        gui::DrawBevel(painter, icon.x(), icon.y(), icon.width(), icon.height(), gui::Bevel::kRaised, colors);
        painter.setPen(colors.Pen(22));
        painter.setFont(m_iconFont);
        painter.drawText(icon, Qt::AlignCenter, m_initials);
    }
}

void CMachineFrame::LeftButtonDown(int x, int y) {
    const QPoint at(x, y);
    if (MenuButtonArea().contains(at)) {
        OpenMenu();
        return;
    }
    if (m_guiContainer->Widget()->isHidden() && PanelArea().contains(at)) {
        m_container->ClickIcon();
        return;
    }
    if (TitleArea().contains(at)) m_view->StartFrameMove(this, Widget()->mapTo(m_view->Widget(), at));
}

void CMachineFrame::PointerMove(int x, int y) { m_view->DragTo(Widget()->mapTo(m_view->Widget(), QPoint(x, y))); }

void CMachineFrame::LeftButtonUp(int x, int y) { m_view->EndDrag(Widget()->mapTo(m_view->Widget(), QPoint(x, y))); }

void CMachineFrame::ChildChanged(gui::CControl* child) {
    if (child == m_defaultPanel.get()) m_view->Studio().Changes().Raise();
}

// Told with the studio mutex held: the rows are read and drawn on the next repaint tick.
void CMachineFrame::ParameterChanged(CMachineContainer*, int32_t index, float) {
    if (m_defaultPanel) m_defaultPanel->ParameterChanged(index);
}

void CMachineFrame::ConnectorsChanged(CMachineContainer*) {
    // Rebuilt connectors are new objects: compare them one by one, not just their count.
    bool same = static_cast<int32_t>(m_connectors.size()) == m_container->ConnectorCount();
    for (int32_t i = 0; same && i < m_container->ConnectorCount(); ++i)
        same = m_connectors[static_cast<size_t>(i)]->Connector() == m_container->Connector(i);
    if (!same) {
        BuildConnectors();
        LayOut();
    }
    // Told with the studio mutex held: the lamps are drawn on the next repaint tick.
    for (const auto& view : m_connectors) view->MarkDirty();
}

void CMachineFrame::ParametersChanged(CMachineContainer*) {
    if (!m_defaultPanel) return;
    for (int i = 0; i < m_defaultPanel->ParameterCount(); ++i) m_defaultPanel->ParameterChanged(i);
}

void CMachineFrame::PanelResized() {
    // After the studio removed the machine the container is gone: nothing is read from it then.
    if (m_view->IsRemoved(m_serial) || m_container->PanelMode() != kPanelOwn) return;
    auto* ownPanel = static_cast<QWidget*>(m_container->OwnPanel());
    if (!ownPanel || ownPanel->size() == m_guiContainer->Widget()->size()) return;
    LayOut();
    m_view->Refresh();
}

void CMachineFrame::PanelModeChanged(CMachineContainer*) {
    LayOut();
    m_view->Refresh();
}

} // namespace studio_view
