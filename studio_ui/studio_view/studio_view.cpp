#include "studio_ui/studio_view/studio_view.h"

#include "engine/connector.h"
#include "engine/machine_container.h"
#include "engine/studio.h"
#include "gui/color_manager.h"
#include "gui/dialog_service.h"
#include "gui/flat_scroll_style.h"
#include "gui/slider.h"
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/mutex.h"
#include "studio_ui/studio_view/connector_view.h"
#include "studio_ui/studio_view/machine_frame.h"

#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <mutex>

namespace studio_view {
namespace {

constexpr int kCablePenSlot = 9;   // light grey lines
constexpr int kArrowFillSlot = 9;
constexpr int kArrowPenSlot = 0;
constexpr int kSurfaceSlot = 8;    // the surface: nearly black, so frames and cables stand out
constexpr int kVolumeWidth = 20;   // the cable-volume slider
constexpr int kVolumeHeight = 120;

QPoint ToQt(surface::Point p) { return {p.x, p.y}; }
surface::Point FromQt(QPoint p) { return {p.x(), p.y()}; }

} // namespace

CStudioView::CStudioView(CStudio& studio, MachineRegistry& registry, CUndoStack* history, const UndoContext* target)
    : m_studio(studio), m_registry(registry), m_history(target ? history : nullptr), m_target(history ? target : nullptr) {}

CStudioView::~CStudioView() {
    EndGesture();
    m_studio.Observer().RemoveListener(this);
    m_frames.clear();
}

void CStudioView::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "Studio", x, y, width, height, true);
    SetBackgroundSlot(kSurfaceSlot);
    m_horizontal = new QScrollBar(Qt::Horizontal, Widget());
    m_vertical = new QScrollBar(Qt::Vertical, Widget());
    for (QScrollBar* bar : {m_horizontal, m_vertical}) {
        bar->hide();
        gui::UseFlatLook(bar, Colors());
        QObject::connect(bar, &QScrollBar::valueChanged, [this](int) {
            if (!m_settingScroll) ScrollTo({m_horizontal->value(), m_vertical->value()});
        });
    }
    m_corner = std::make_unique<gui::CControl>();
    m_corner->Create(this, "Corner", 0, 0, surface::kScrollBarThickness, surface::kScrollBarThickness, false);
    m_studio.Observer().AddListener(this);
    RebuildFrames();
}

void CStudioView::RebuildFrames() {
    m_frames.clear();
    CMutexLock lock(m_studio.Mutex());
    for (CMachineContainer* container : m_studio.Frames()) AddFrameView(container);
    UpdateScrollBars();
    Refresh();
}

void CStudioView::AddFrameView(CMachineContainer* container) {
    auto frame = std::make_unique<CMachineFrame>(container, this);
    frame->Build(this, m_scroll);
    frame->Show();
    m_frames.push_back(std::move(frame));
    // The scroll bars stay above the frames.
    for (QWidget* bar : {static_cast<QWidget*>(m_horizontal), static_cast<QWidget*>(m_vertical), m_corner->Widget()})
        bar->raise();
}

CMachineFrame* CStudioView::FrameOfBuilt(const CMachineContainer* container) const {
    for (const auto& frame : m_frames)
        if (frame->Container() == container && !IsRemoved(frame->Serial())) return frame.get();
    return nullptr;
}

CMachineFrame* CStudioView::FrameOf(const CMachineContainer* container) {
    BuildPendingFrames();
    return FrameOfBuilt(container);
}

QRect CStudioView::FrameRect(const CMachineFrame* frame) const {
    return {frame->X(), frame->Y(), frame->Width(), frame->Height()};
}

QPoint CStudioView::ConnectorCentre(const CConnectorView* view) const {
    return view->Widget()->mapTo(Widget(), QPoint(view->Width() / 2, view->Height() / 2));
}

std::vector<DrawnCable> CStudioView::Cables() const {
    std::vector<DrawnCable> cables;
    for (const auto& frame : m_frames) {
        for (const auto& input : frame->Connectors()) {
            CConnector* connector = input->Connector();
            for (int32_t i = 0; i < connector->m_connections.Count(); ++i) {
                CConnection* connection = connector->m_connections[i];
                const CMachineFrame* sourceFrame = FrameOfBuilt(connection->m_source->m_frame);
                const CConnectorView* source = sourceFrame ? sourceFrame->ViewOf(connection->m_source) : nullptr;
                if (!source) continue;
                const QRect from = FrameRect(sourceFrame);
                const QRect to = FrameRect(frame.get());
                DrawnCable cable;
                cable.connection = connection;
                cable.segment = surface::ClipCable(FromQt(ConnectorCentre(source)),
                                                   {from.x(), from.y(), from.width(), from.height()},
                                                   FromQt(ConnectorCentre(input.get())),
                                                   {to.x(), to.y(), to.width(), to.height()});
                cable.arrow = surface::Arrow(cable.segment);
                cables.push_back(cable);
            }
        }
    }
    return cables;
}

void CStudioView::Render(QPainter& painter) {
    const gui::CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(kSurfaceSlot));
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPen cablePen = colors.Pen(kCablePenSlot);
    cablePen.setWidthF(1.5);
    for (const DrawnCable& cable : Cables()) {
        painter.setPen(cablePen);
        painter.drawLine(ToQt(cable.segment.from), ToQt(cable.segment.to));
        painter.setPen(colors.Pen(kArrowPenSlot));
        painter.setBrush(colors.Brush(kArrowFillSlot));
        const QPoint corners[3] = {ToQt(cable.arrow[0]), ToQt(cable.arrow[1]), ToQt(cable.arrow[2])};
        painter.drawPolygon(corners, 3);
        painter.setBrush(Qt::NoBrush);
    }
    if (m_drag == Drag::kCable && m_dragFrom) {
        QPen drawing = colors.Pen(36);
        drawing.setWidthF(1.5);
        drawing.setStyle(Qt::DashLine);
        painter.setPen(drawing);
        const QPoint end = m_candidate ? ConnectorCentre(m_candidate) : m_dragEnd;
        painter.drawLine(ConnectorCentre(m_dragFrom), end);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

QPoint CStudioView::Extent() const {
    QPoint extent(0, 0);
    for (const auto& frame : m_frames) {
        const CMachineContainer* c = frame->Container();
        extent.setX(std::max(extent.x(), c->m_x + frame->Width()));
        extent.setY(std::max(extent.y(), c->m_y + frame->Height()));
    }
    return extent;
}

void CStudioView::UpdateScrollBars() {
    if (!m_horizontal) return;
    const QPoint extent = Extent();
    const surface::ScrollBars bars = surface::ScrollBarsFor(Width(), Height(), extent.x(), extent.y());
    const int thick = surface::kScrollBarThickness;
    m_settingScroll = true;
    m_horizontal->setVisible(bars.horizontal);
    m_vertical->setVisible(bars.vertical);
    m_horizontal->setGeometry(0, Height() - thick, bars.horizontalLength, thick);
    m_vertical->setGeometry(Width() - thick, 0, thick, bars.verticalLength);
    m_horizontal->setRange(0, std::max(0, extent.x() - Width() + (bars.vertical ? thick : 0)));
    m_horizontal->setPageStep(Width());
    m_vertical->setRange(0, std::max(0, extent.y() - Height() + (bars.horizontal ? thick : 0)));
    m_vertical->setPageStep(Height());
    m_horizontal->setValue(m_scroll.x());
    m_vertical->setValue(m_scroll.y());
    m_settingScroll = false;
    m_corner->MoveResize(Width() - thick, Height() - thick, thick, thick);
    m_corner->ShowWith(bars.cornerBox ? gui::ShowCommand::kShow : gui::ShowCommand::kHide);
    // A bar that disappeared leaves no offset behind.
    const QPoint wanted(bars.horizontal ? std::min(m_scroll.x(), m_horizontal->maximum()) : 0,
                        bars.vertical ? std::min(m_scroll.y(), m_vertical->maximum()) : 0);
    if (wanted != m_scroll) ScrollTo(wanted);
}

void CStudioView::ScrollTo(QPoint offset) {
    m_scroll = offset;
    for (const auto& frame : m_frames)
        frame->Move(frame->Container()->m_x - m_scroll.x(), frame->Container()->m_y - m_scroll.y());
    m_settingScroll = true;
    if (m_horizontal) m_horizontal->setValue(offset.x());
    if (m_vertical) m_vertical->setValue(offset.y());
    m_settingScroll = false;
    Refresh();
}

void CStudioView::SizeChanged(int width, int height) {
    gui::CControl::SizeChanged(width, height);
    UpdateScrollBars();
}

// ---- edits ----

bool CStudioView::Edit(const std::function<UndoCommands::Command(const UndoContext&)>& command,
                       const std::function<void()>& direct) {
    try {
        if (m_history)
            m_history->Do(command(*m_target));
        else
            direct();
        return true;
    } catch (const std::exception& e) {
        gui::ShowError(Widget(), QString::fromUtf8(e.what()));
        return false;
    }
}

void CStudioView::BeginGesture() {
    if (!m_history || m_inGesture) return;
    m_history->BeginGesture();
    m_inGesture = true;
}

void CStudioView::EndGesture() {
    if (!m_inGesture) return;
    m_inGesture = false;
    m_history->EndGesture();
}

void CStudioView::FollowFramePlaces() {
    for (const auto& frame : m_frames)
        if (!IsRemoved(frame->Serial()))
            frame->Move(frame->Container()->m_x - m_scroll.x(), frame->Container()->m_y - m_scroll.y());
    UpdateScrollBars();
    Refresh();
}

// ---- gestures ----

void CStudioView::StartCable(CConnectorView* from, QPoint at) {
    if (CMachineFrame* frame = FrameOf(from->Connector()->m_frame)) frame->Widget()->raise();
    m_drag = Drag::kCable;
    m_dragFrom = from;
    m_candidate = nullptr;
    m_dragEnd = at;
    SetCapture();
}

void CStudioView::StartFrameMove(CMachineFrame* frame, QPoint at) {
    frame->Widget()->raise();
    m_drag = Drag::kFrame;
    m_moving = frame;
    m_dragLast = at;
    BeginGesture(); // the whole drag is one step of the history
    SetCapture();
}

CConnectorView* CStudioView::ConnectorUnder(QPoint at) const {
    QWidget* child = Widget()->childAt(at);
    return dynamic_cast<CConnectorView*>(gui::CControl::FromWidget(child));
}

void CStudioView::DragTo(QPoint at) {
    const bool inside = Widget()->rect().contains(at);
    if (m_drag == Drag::kFrame && m_moving) {
        if (!inside) return; // movement outside the view is ignored
        const QPoint delta = at - m_dragLast;
        m_dragLast = at;
        if (delta.isNull()) return;
        // A frame's position belongs to the user-interface thread (the processing cycle never
        // reads it), so a move does not keep the driver thread waiting for the studio mutex.
        CMachineContainer* container = m_moving->Container();
        const int32_t x = container->m_x + delta.x();
        const int32_t y = container->m_y + delta.y();
        Edit([&](const UndoContext& target) { return UndoCommands::MoveMachine(target, container, x, y); },
             [&] { m_studio.MoveFrame(container, x, y); });
        m_moving->Move(container->m_x - m_scroll.x(), container->m_y - m_scroll.y());
        UpdateScrollBars();
        Refresh();
    } else if (m_drag == Drag::kCable && m_dragFrom) {
        const QPoint end = inside ? at : ConnectorCentre(m_dragFrom);
        CConnectorView* candidate = inside ? ConnectorUnder(at) : nullptr;
        if (candidate == m_dragFrom) candidate = nullptr;
        if (end == m_dragEnd && candidate == m_candidate) return;
        m_dragEnd = end;
        m_candidate = candidate;
        Refresh();
    }
}

void CStudioView::EndDrag(QPoint at) {
    if (m_drag == Drag::kNone) return;
    DragTo(at);
    const Drag drag = m_drag;
    CConnectorView* from = m_dragFrom;
    CConnectorView* to = m_candidate;
    m_drag = Drag::kNone;
    m_dragFrom = m_candidate = nullptr;
    m_moving = nullptr;
    ReleaseCapture();
    EndGesture();
    if (drag == Drag::kCable && from && to) {
        // A pair the graph refuses (two outputs, control to audio, a loop) does nothing and
        // leaves no step in the history.
        CConnector* first = from->Connector();
        CConnector* second = to->Connector();
        Edit([&](const UndoContext& target) { return UndoCommands::Connect(target, first, second, 1.0f); },
             [&] { m_studio.Connect(first, second, 1.0f); });
    }
    UpdateScrollBars();
    Refresh();
}

void CStudioView::LeftButtonDown(int x, int y) {
    // A press on an audio cable's arrow opens its volume slider at the arrow's centroid.
    const QPoint at(x, y);
    for (const DrawnCable& cable : Cables()) {
        if (!surface::InTriangle(FromQt(at), cable.arrow)) continue;
        if (!cable.connection->m_destination->m_port->IsAudio()) continue;
        const surface::Point centre = surface::Centroid(cable.arrow);
        m_volumeSlider = std::make_unique<gui::CCableVolumeSlider>();
        m_volumeSlider->Create(this, centre.x - kVolumeWidth / 2, centre.y - kVolumeHeight / 2, kVolumeWidth,
                               kVolumeHeight);
        m_volumeSlider->ShowVolume(cable.connection->TargetVolume());
        m_volumeSlider->Widget()->setToolTip("Cable Volume");
        m_volumeSlider->Show();
        m_volumeCable = cable.connection;
        m_volumeStartY = y;
        m_volumeStart = m_volumeSlider->Value();
        BeginGesture(); // one step for the whole drag of the pop-up
        SetCapture();
        return;
    }
}

bool CStudioView::CableExists(const CConnection* connection) const {
    for (const auto& frame : m_frames)
        for (const auto& input : frame->Connectors())
            for (int32_t i = 0; i < input->Connector()->m_connections.Count(); ++i)
                if (input->Connector()->m_connections[i] == connection) return true;
    return false;
}

void CStudioView::CloseVolumeSlider() {
    if (!m_volumeSlider) return;
    m_volumeSlider->ShowWith(gui::ShowCommand::kHide);
    m_volumeSlider.reset();
    m_volumeCable = nullptr;
    ReleaseCapture();
    EndGesture();
}

void CStudioView::PointerMove(int x, int y) {
    if (m_volumeSlider) {
        // Up raises the volume: the slider's whole travel is its length less the handle.
        const float travel = static_cast<float>(std::max(kVolumeHeight - m_volumeSlider->HandleLength(), 1));
        const float position = std::clamp(m_volumeStart + static_cast<float>(m_volumeStartY - y) / travel, 0.0f, 1.0f);
        if (position == m_volumeSlider->Value()) return;
        m_volumeSlider->SetValue(position);
        // The cable may have gone meanwhile (a project loaded by a shortcut); the target volume
        // is atomic, read by the mixing threads once per sample.
        if (CableExists(m_volumeCable)) {
            CConnection* cable = m_volumeCable;
            const float volume = m_volumeSlider->Volume();
            CConnector* input = cable->m_destination;
            int32_t index = 0;
            while (index < input->m_connections.Count() && input->m_connections[index] != cable) ++index;
            Edit([&](const UndoContext& target) { return UndoCommands::SetCableVolume(target, input, index, volume); },
                 [&] {
                     cable->SetTargetVolume(volume);
                     m_studio.Changes().Raise();
                 });
        }
        return;
    }
    DragTo({x, y});
}

void CStudioView::LeftButtonUp(int x, int y) {
    if (m_volumeSlider) {
        CloseVolumeSlider();
        return;
    }
    EndDrag({x, y});
}

std::optional<DrawnCable> CStudioView::CableAt(QPoint at) const {
    for (const DrawnCable& cable : Cables())
        if (surface::OnCable(FromQt(at), cable.segment)) return cable;
    return std::nullopt;
}

void CStudioView::RightButtonUp(int x, int y) {
    const QPoint at(x, y);
    if (const std::optional<DrawnCable> cable = CableAt(at)) {
        // The menu is open without any lock; the cable is looked up again afterwards.
        const std::optional<int> choice = gui::Dialogs().PopUpMenu(Widget(), at, {{"Disconnect"}});
        if (!choice) return;
        for (const DrawnCable& still : Cables()) {
            if (still.connection != cable->connection) continue;
            CConnector* input = still.connection->m_destination;
            for (int32_t i = 0; i < input->m_connections.Count(); ++i)
                if (input->m_connections[i] == still.connection) {
                    // The studio takes its mutex for the removal (the history's command too).
                    Edit([&](const UndoContext& target) { return UndoCommands::Disconnect(target, input, i); },
                         [&] { m_studio.Disconnect(input, i); });
                    break;
                }
            break;
        }
        Refresh();
        return;
    }
    OpenAddMachineMenu(at);
}

void CStudioView::OpenAddMachineMenu(QPoint at) {
    const std::vector<CMachineInfo*> types = m_registry.AddableMachines();
    std::vector<gui::MenuEntry> entries;
    for (CMachineInfo* info : types) entries.push_back({QString::fromUtf8(info->m_displayName)});
    const std::optional<int> choice = gui::Dialogs().PopUpMenu(Widget(), at, entries);
    if (!choice) return;
    CMachineInfo* info = types[static_cast<size_t>(*choice)];
    const int32_t x = at.x() + m_scroll.x();
    const int32_t y = at.y() + m_scroll.y();
    // The studio takes its mutex for the addition; the view hears FrameAdded.
    Edit([&](const UndoContext& target) { return UndoCommands::AddMachine(target, info, x, y); },
         [&] { m_studio.AddMachine(info, x, y); });
}

bool CStudioView::WheelTurned(QWheelEvent* event) {
    const QPoint steps = event->angleDelta() / 8 / 15 * 40;
    const bool sideways = event->modifiers() & Qt::ShiftModifier;
    QPoint target = m_scroll;
    if (sideways || steps.x() != 0) target.rx() -= sideways ? steps.y() : steps.x();
    if (!sideways) target.ry() -= steps.y();
    target.setX(std::clamp(target.x(), 0, m_horizontal->isVisible() ? m_horizontal->maximum() : 0));
    target.setY(std::clamp(target.y(), 0, m_vertical->isVisible() ? m_vertical->maximum() : 0));
    if (target != m_scroll) ScrollTo(target);
    return true;
}

void CStudioView::DeleteFrame(CMachineFrame* frame) {
    CMachineContainer* container = frame->Container();
    if (m_drag != Drag::kNone) EndDrag(m_dragLast);
    // The studio takes its mutex for the removal; FrameRemoved destroys the view's frame.
    Edit([&](const UndoContext& target) { return UndoCommands::DeleteMachine(target, container); },
         [&] { m_studio.DeleteMachine(container); });
}

void CStudioView::RenameFrame(CMachineFrame* frame, const std::string& name) {
    CMachineContainer* container = frame->Container();
    // The studio tells the view, which lays the frame out again.
    Edit([&](const UndoContext& target) { return UndoCommands::RenameMachine(target, container, name); },
         [&] { m_studio.Rename(container, name.c_str()); });
}

// ---- the studio's news ----

// The studio tells its news with its mutex held, and the driver thread waits for that mutex to
// render the next buffer: the view only takes note here and does its work (making windows,
// drawing) afterwards, on the repaint timer or its own queued call.

void CStudioView::FrameAdded(CMachineContainer* frame) {
    if (!Widget()) return;
    m_pending.push_back(frame->Serial());
    QMetaObject::invokeMethod(Widget(), [this] { BuildPendingFrames(); }, Qt::QueuedConnection);
}

void CStudioView::BuildPendingFrames() {
    if (m_pending.empty()) return;
    const std::vector<uint64_t> pending = std::move(m_pending);
    m_pending.clear();
    bool built = false;
    for (CMachineContainer* container : m_studio.Frames()) {
        if (std::find(pending.begin(), pending.end(), container->Serial()) == pending.end()) continue;
        if (FrameOfBuilt(container)) continue;
        AddFrameView(container);
        built = true;
    }
    if (!built) return;
    UpdateScrollBars();
    Refresh();
}

void CStudioView::FrameRemoved(const RemovedFrame& gone) {
    m_removed.insert(gone.serial);
    std::erase(m_pending, gone.serial);
    auto it = std::find_if(m_frames.begin(), m_frames.end(),
                           [&](const auto& frame) { return frame->Serial() == gone.serial; });
    if (it == m_frames.end()) return;
    if (m_moving == it->get()) m_moving = nullptr;
    for (const auto& connector : (*it)->Connectors())
        if (connector.get() == m_dragFrom || connector.get() == m_candidate) {
            m_drag = Drag::kNone;
            m_dragFrom = m_candidate = nullptr;
        }
    // The frame's widget may be the one whose menu started this: delete it once the event is over.
    std::unique_ptr<CMachineFrame> doomed = std::move(*it);
    m_frames.erase(it);
    doomed->ShowWith(gui::ShowCommand::kHide);
    doomed->DropConnectors();
    m_doomed.push_back(std::move(doomed));
    QMetaObject::invokeMethod(Widget(), [this] { m_doomed.clear(); }, Qt::QueuedConnection);
    UpdateScrollBars();
    Refresh();
}

void CStudioView::FrameRenamed(CMachineContainer* frame) {
    const uint64_t serial = frame->Serial();
    QMetaObject::invokeMethod(Widget(), [this, serial] {
        for (const auto& view : m_frames)
            if (view->Serial() == serial && !IsRemoved(serial)) view->LayOut();
        UpdateScrollBars();
        Refresh();
    }, Qt::QueuedConnection);
}

void CStudioView::CablesChanged() {
    // The connectors' lamps are marked by their own frames, which hear of the same edit.
    if (m_volumeSlider && !CableExists(m_volumeCable)) CloseVolumeSlider();
    MarkDirty();
}

void CStudioView::StudioCleared() {
    CloseVolumeSlider();
    m_drag = Drag::kNone;
    m_dragFrom = m_candidate = nullptr;
    m_moving = nullptr;
    EndGesture();
    for (auto& frame : m_frames) {
        frame->ShowWith(gui::ShowCommand::kHide);
        frame->DropConnectors();
        m_doomed.push_back(std::move(frame));
    }
    m_frames.clear();
    m_pending.clear();
    QMetaObject::invokeMethod(Widget(), [this] { m_doomed.clear(); }, Qt::QueuedConnection);
    ScrollTo({0, 0});
    UpdateScrollBars();
}

void CStudioView::ProjectLoaded() {
    UpdateScrollBars();
    Refresh();
}

} // namespace studio_view
