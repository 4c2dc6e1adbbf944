// CStudioView: the studio surface, page "Studio" of the main window. Machine frames sit on it
// and the cables between their connectors are drawn under them, each with an arrow pointing
// from output to input. Gestures edit the graph: a drag from one connector to another draws a
// cable, a drag on a frame's title moves the frame, a right click on a cable offers
// "Disconnect", a right click elsewhere adds a machine there, a press on an audio cable's arrow
// opens its volume slider.
//
// Edits: with an undo history every edit is handed to it as a command (a frame drag and a
// cable-volume drag are one gesture each, one step of the history); without one the view edits
// the studio directly. An edit the studio refuses shows its error in the error box.
//
// Threads: user-interface thread only. Each gesture takes the studio mutex while it edits the
// model and never while a menu or dialog is open. The view observes the studio and rebuilds
// its frames from the notifications (frame added, removed, renamed, cables changed, cleared,
// loaded).
#pragma once

#include "engine/studio_observer.h"
#include "gui/control.h"
#include "studio_ui/studio_view/surface_geometry.h"
#include "studio_ui/undo/undo_commands.h"

#include <QPoint>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class CConnection;
class CConnector;
class CMachineContainer;
class CStudio;
class MachineRegistry;
class QScrollBar;

namespace gui {
class CCableVolumeSlider;
}

namespace studio_view {

class CConnectorView;
class CMachineFrame;

// One cable as drawn: the connection, its clipped segment and its arrow (view coordinates).
struct DrawnCable {
    CConnection* connection = nullptr;
    surface::Segment segment;
    std::array<surface::Point, 3> arrow;
};

class CStudioView : public gui::CControl, public CStudioListener {
public:
    // history and target: the project's undo history and what its commands edit (both or
    // neither; null: the view edits the studio directly). Both outlive the view.
    CStudioView(CStudio& studio, MachineRegistry& registry, CUndoStack* history = nullptr,
                const UndoContext* target = nullptr);
    ~CStudioView() override;

    // Makes the surface inside parent and a frame for every machine already in the studio.
    void Build(gui::CControl* parent, int x, int y, int width, int height);

    CStudio& Studio() { return m_studio; }
    QPoint ScrollOffset() const { return m_scroll; }
    void ScrollTo(QPoint offset);
    // The frame's window; frames the studio announced are made first if they are still pending.
    CMachineFrame* FrameOf(const CMachineContainer* container);
    // Only the windows made so far.
    CMachineFrame* FrameOfBuilt(const CMachineContainer* container) const;
    // Makes the windows of frames announced since (the news comes with the studio mutex held, so
    // they are made afterwards).
    void BuildPendingFrames();
    const std::vector<std::unique_ptr<CMachineFrame>>& Frames() const { return m_frames; }
    // Every cable with its segment and arrow, as the next repaint draws them.
    std::vector<DrawnCable> Cables() const;
    QScrollBar* HorizontalBar() const { return m_horizontal; }
    QScrollBar* VerticalBar() const { return m_vertical; }
    // The surface's extent: the largest right and bottom edge of all frames (surface pixels).
    QPoint Extent() const;
    // True once the studio reported the frame with this serial removed.
    bool IsRemoved(uint64_t serial) const { return m_removed.count(serial) > 0; }

    // Gestures started on a connector or a frame's title (view coordinates).
    void StartCable(CConnectorView* from, QPoint at);
    void StartFrameMove(CMachineFrame* frame, QPoint at);
    void DragTo(QPoint at);
    void EndDrag(QPoint at);
    // "Delete Machine" of a frame's menu.
    void DeleteFrame(CMachineFrame* frame);
    // "Rename" of a frame's menu, with the name the user typed.
    void RenameFrame(CMachineFrame* frame, const std::string& name);
    // Puts every frame window where its machine stands (after an undo or redo moved machines,
    // which the studio does not announce).
    void FollowFramePlaces();
    // The cable-volume slider while it is open (a press on an audio cable's arrow), else null.
    gui::CCableVolumeSlider* VolumeSlider() const { return m_volumeSlider.get(); }

    void Render(QPainter& painter) override;
    void SizeChanged(int width, int height) override;
    void LeftButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void RightButtonUp(int x, int y) override;
    bool WheelTurned(QWheelEvent* event) override;

    // CStudioListener
    void FrameAdded(CMachineContainer* frame) override;
    void FrameRemoved(const RemovedFrame& gone) override;
    void FrameRenamed(CMachineContainer* frame) override;
    void CablesChanged() override;
    void StudioCleared() override;
    void ProjectLoaded() override;

private:
    enum class Drag { kNone, kCable, kFrame };

    void AddFrameView(CMachineContainer* container);
    void RebuildFrames();
    void UpdateScrollBars();
    QRect FrameRect(const CMachineFrame* frame) const;
    QPoint ConnectorCentre(const CConnectorView* view) const;
    CConnectorView* ConnectorUnder(QPoint at) const;
    std::optional<DrawnCable> CableAt(QPoint at) const;
    void OpenAddMachineMenu(QPoint at);
    // Hands an edit to the history (command) or, without one, makes it directly; an error goes to
    // the error box. False when it raised.
    bool Edit(const std::function<UndoCommands::Command(const UndoContext&)>& command,
              const std::function<void()>& direct);
    // A drag's gesture in the history: opened at the press, closed once at the release.
    void BeginGesture();
    void EndGesture();

    CStudio& m_studio;
    MachineRegistry& m_registry;
    CUndoStack* m_history;
    const UndoContext* m_target;
    bool m_inGesture = false;
    std::vector<std::unique_ptr<CMachineFrame>> m_frames;
    std::set<uint64_t> m_removed;
    std::vector<uint64_t> m_pending; // serials of frames announced, windows not yet made
    QPoint m_scroll{0, 0};
    QScrollBar* m_horizontal = nullptr;
    QScrollBar* m_vertical = nullptr;
    std::unique_ptr<gui::CControl> m_corner;
    bool m_settingScroll = false;

    Drag m_drag = Drag::kNone;
    QPoint m_dragLast;
    CConnectorView* m_dragFrom = nullptr;
    CConnectorView* m_candidate = nullptr;
    QPoint m_dragEnd;
    CMachineFrame* m_moving = nullptr;
    // The cable-volume slider: open from a press on an arrow until the button is released; the
    // drag moves it by the pointer's travel from where the press began.
    std::unique_ptr<gui::CCableVolumeSlider> m_volumeSlider;
    CConnection* m_volumeCable = nullptr;
    int m_volumeStartY = 0;
    float m_volumeStart = 0.0f;
    void CloseVolumeSlider();
    bool CableExists(const CConnection* connection) const;
    // Frames removed while one of their own events may still be running; deleted afterwards.
    std::vector<std::unique_ptr<CMachineFrame>> m_doomed;
};

} // namespace studio_view
