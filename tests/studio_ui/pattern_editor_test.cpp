// The pattern editor page over the demo song: its layout, note drawing, moving and resizing with
// the mouse, the control lanes and their value pop-up, the play marker's repaints, the size bar,
// keyboard step entry, rubber-band selection, copy and paste, duplicating and renaming patterns,
// and Ctrl+Z in the main window. Every edit must land in the undo history as one step.
#include "app/application.h"
#include "app/window_models.h"
#include "engine/machine_container.h"
#include "engine/studio.h"
#include "gui/combo_box.h"
#include "gui/label.h"
#include "gui/scroll_bar.h"
#include "gui/size_bar.h"
#include "gui/window.h"
#include "machine_interface/machine.h"
#include "machine_interface/mutex.h"
#include "sequencer/pattern.h"
#include "sequencer/sequencer.h"
#include "studio_ui/document/recent_projects.h"
#include "studio_ui/main_window/main_window.h"
#include "studio_ui/pattern_editor/control_lanes.h"
#include "studio_ui/pattern_editor/note_grid.h"
#include "studio_ui/pattern_editor/pattern_editor_page.h"
#include "tests/gui/gui_test_support.h"
#include "tests/studio_ui/editor_page_fixture.h"
#include "tests/studio_ui/studio_test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
using namespace pattern_editor;

namespace {

std::vector<SelectedNote> NotesOf(const Pattern* pattern) {
    std::vector<SelectedNote> notes;
    for (const PatternNote* note = pattern->FirstNote(); note; note = note->next)
        notes.push_back({note->start, note->length, note->note});
    std::sort(notes.begin(), notes.end(), [](const SelectedNote& a, const SelectedNote& b) {
        return a.start != b.start ? a.start < b.start : a.note < b.note;
    });
    return notes;
}

void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint at,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button, buttons, modifiers);
    QApplication::sendEvent(widget, &event);
}

// A left-button drag from one point to another in steps of a few pixels.
void Drag(QWidget* widget, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, from);
    SendMouse(widget, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, from, modifiers);
    const QPoint delta = to - from;
    for (int i = 1; i <= 4; ++i)
        SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, from + delta * i / 4, modifiers);
    SendMouse(widget, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, to, modifiers);
}

void SendKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(widget, &release);
}

class PatternPageTest : public studio_test::EditorPageTest<CPatternEditorPage> {
protected:
    void SetUp() override {
        MakeApplication("pattern-page-");
        m_application->Project().Open(fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp");
    }
    void Open(int width = 1100, int height = 600) {
        OpenPage("Pattern Editor", Editor(), width, height);
        m_stage.Settle();
    }
    void Settle() {
        m_stage.Settle();
        m_stage.Settle();
    }
    CPatternEditor& Editor() { return m_application->Sequencer()->Patterns(); }
    CSequencer& Sequencer() { return *m_application->Sequencer(); }
    CNoteGrid& Grid() { return m_page->Grid(); }
    QWidget* GridWidget() { return m_page->Grid().Widget(); }
    void Choose(gui::CComboBox& box, const QString& text) {
        const int index = box.Combo()->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        box.Combo()->setCurrentIndex(index);
        emit box.Combo()->activated(index);
        Settle();
    }
    void Click(gui::CControl* control) {
        ASSERT_NE(control, nullptr);
        QTest::mouseClick(control->Widget(), Qt::LeftButton, {}, QPoint(control->Width() / 2, control->Height() / 2));
        Settle();
    }
    // A new pattern of the machine (16 beats unless the length box says otherwise), shown.
    Pattern* NewPattern(const QString& machine) {
        Choose(m_page->MachineBox(), machine);
        Click(m_page->Button(CPatternEditorPage::kAddPattern));
        return Editor().CurrentPattern();
    }
    QPoint Cell(int step, int note) { return Grid().CellOrigin(step, note) + QPoint(7, 8); }
    CMachine* MachineNamed(const char* name) {
        CMachineContainer* frame = m_application->Studio()->FindFrame(name);
        return frame ? frame->Machine() : nullptr;
    }
};

TEST_F(PatternPageTest, LayoutAtHeight600PutsEveryPartInItsPlace) {
    Open(1100, 600);
    ASSERT_FLOAT_EQ(m_page->Ratio(), 0.65f);
    auto place = [](gui::CControl& control) { return QRect(control.X(), control.Y(), control.Width(), control.Height()); };
    EXPECT_EQ(place(m_page->ToolBar(0)), QRect(0, 0, 1100, 30));
    EXPECT_EQ(place(m_page->ToolBar(1)), QRect(0, 30, 1100, 30));
    EXPECT_EQ(place(m_page->Grid()), QRect(0, 60, 1100, 317));
    EXPECT_EQ(place(m_page->SizeBar()), QRect(0, 377, 1100, 6));
    EXPECT_EQ(place(m_page->ToolBar(2)), QRect(0, 383, 1100, 30));
    EXPECT_EQ(place(m_page->Lanes()), QRect(0, 413, 1100, 165));
    EXPECT_EQ(place(m_page->HorizontalBar()), QRect(0, 584, 1100, 16));
    // The grid's own vertical bar on its right.
    EXPECT_EQ(place(m_page->Grid().VerticalBar()), QRect(1084, 0, 16, 317));

    // The boxes: widths, tips, and the two length boxes' entries and defaults.
    struct Box {
        gui::CComboBox* box;
        const char* name;
        const char* tip;
        int width;
        int bar;
    };
    for (const Box& expected : {Box{&m_page->MachineBox(), "MachineCombo", "Select Machine", 180, 0},
                                Box{&m_page->PatternBox(), "PatternCombo", "Select Pattern", 120, 0},
                                Box{&m_page->PortBox(), "PortCombo", "Select Port", 120, 0},
                                Box{&m_page->LengthBox(), "LengthCombo", "Pattern Length", 60, 0},
                                Box{&m_page->NoteLengthBox(), "NoteLengthCombo", "Select Note Length", 60, 1},
                                Box{&m_page->PropertyBox(), "PropertyCombo", "Select Property", 180, 2}}) {
        EXPECT_EQ(expected.box->Width(), expected.width) << expected.name;
        EXPECT_EQ(expected.box->Widget()->objectName().toStdString(), expected.name);
        EXPECT_EQ(expected.box->Widget()->toolTip().toStdString(), expected.tip);
        EXPECT_EQ(expected.box->Parent(), &m_page->ToolBar(expected.bar)) << expected.name;
    }
    // Tool bar 1 in its order: machine, pattern, port, Add, Remove, length, Play, Stop, Loop.
    EXPECT_LT(m_page->MachineBox().X(), m_page->PatternBox().X());
    EXPECT_LT(m_page->PatternBox().X(), m_page->PortBox().X());
    EXPECT_LT(m_page->PortBox().X(), m_page->Button(CPatternEditorPage::kAddPattern)->X());
    EXPECT_LT(m_page->Button(CPatternEditorPage::kAddPattern)->X(), m_page->Button(CPatternEditorPage::kRemovePattern)->X());
    EXPECT_LT(m_page->Button(CPatternEditorPage::kRemovePattern)->X(), m_page->LengthBox().X());
    EXPECT_LT(m_page->LengthBox().X(), m_page->Button(CPatternEditorPage::kPlayPattern)->X());
    EXPECT_LT(m_page->Button(CPatternEditorPage::kPlayPattern)->X(), m_page->Button(CPatternEditorPage::kStopPattern)->X());
    EXPECT_LT(m_page->Button(CPatternEditorPage::kStopPattern)->X(), m_page->Button(CPatternEditorPage::kLoopPattern)->X());
    for (auto [command, tip] : {std::pair{CPatternEditorPage::kAddPattern, "Add Pattern"},
                                {CPatternEditorPage::kRemovePattern, "Remove Pattern"},
                                {CPatternEditorPage::kPlayPattern, "Play Pattern"},
                                {CPatternEditorPage::kStopPattern, "Stop Pattern"},
                                {CPatternEditorPage::kLoopPattern, "Loop Pattern"},
                                {CPatternEditorPage::kAddControlTrack, "Add Control Track"},
                                {CPatternEditorPage::kRemoveControlTrack, "Remove Control Track"}})
        EXPECT_EQ(m_page->Button(command)->ToolTip().toStdString(), tip);
    QComboBox* lengths = m_page->LengthBox().Combo();
    ASSERT_EQ(lengths->count(), 17);
    EXPECT_EQ(lengths->itemText(0), "4");
    EXPECT_EQ(lengths->itemText(16), "2048");
    EXPECT_EQ(m_page->LengthBox().Selection(), 6);
    EXPECT_EQ(lengths->currentText(), "64");
    ASSERT_EQ(m_page->NoteLengthBox().Combo()->count(), 64);
    EXPECT_EQ(m_page->NoteLengthBox().Selection(), 3);
    EXPECT_EQ(m_page->NoteLengthBox().Combo()->currentText(), "4");
}

TEST_F(PatternPageTest, ClickWritesRightPressRemovesAndDragRaisesTwoRows) {
    Open();
    Pattern* pattern = NewPattern("Bass");
    ASSERT_NE(pattern, nullptr);
    ASSERT_EQ(pattern->Length(), 16);
    ASSERT_EQ(pattern->CountNotes(), 0);
    Choose(m_page->NoteLengthBox(), "6");
    ASSERT_EQ(Editor().NoteLength(), 6);
    const size_t steps = m_undo.Count();
    // A new pattern shows middle C with the step-entry cursor on it at the first step.
    EXPECT_EQ(Grid().CursorRow(), Editor().RowForNote(60));
    EXPECT_EQ(Grid().CursorStep(), 0);

    // The cell (step 8, C-5) is where the grid says; the key column names that row "C-5".
    const QPoint cell = Cell(8, 60);
    int step = -1, note = -1;
    ASSERT_TRUE(Grid().CellAt(cell.x(), cell.y(), &step, &note));
    EXPECT_EQ(step, 8);
    EXPECT_EQ(note, 60);
    EXPECT_EQ(Editor().NoteLabel(60), "C-5");
    QTest::mouseClick(GridWidget(), Qt::LeftButton, {}, cell);
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{8, 6, 60}}));
    EXPECT_EQ(m_undo.Count(), steps + 1);

    // A second press on an empty cell that would overlap the note's span on its row is refused.
    QTest::mouseClick(GridWidget(), Qt::LeftButton, {}, Cell(3, 60));
    Settle();
    EXPECT_EQ(pattern->CountNotes(), 1);

    // A drag of 40 pixels up from the middle of the note: -40 / 16 truncates to -2 rows.
    const QPoint middle = Cell(10, 60);
    Drag(GridWidget(), middle, middle - QPoint(0, 40));
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{8, 6, 62}}));
    EXPECT_EQ(m_undo.Count(), steps + 2) << "the whole drag is one step";
    ASSERT_TRUE(m_undo.Undo());
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{8, 6, 60}}));
    ASSERT_TRUE(m_undo.Redo());
    Settle();

    // A right press removes it.
    QTest::mousePress(GridWidget(), Qt::RightButton, {}, Cell(12, 62));
    QTest::mouseRelease(GridWidget(), Qt::RightButton, {}, Cell(12, 62));
    Settle();
    EXPECT_EQ(pattern->CountNotes(), 0);
    ASSERT_TRUE(m_undo.Undo());
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{8, 6, 62}}));
}

TEST_F(PatternPageTest, NoteEdgesResizeAndShowTheSizeCursors) {
    Open();
    Pattern* pattern = NewPattern("Bass");
    ASSERT_NE(pattern, nullptr);
    QTest::mouseClick(GridWidget(), Qt::LeftButton, {}, Cell(4, 60)); // steps 4..7
    Settle();
    ASSERT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{4, 4, 60}}));
    const QPoint box = Grid().CellOrigin(4, 60);
    const int left = box.x() + 1; // the box's first pixel
    // Hovering: the first five pixels are the start, the last seven the end, the rest moves.
    SendMouse(GridWidget(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, QPoint(left + 4, box.y() + 8));
    EXPECT_EQ(GridWidget()->cursor().shape(), Qt::SizeHorCursor);
    SendMouse(GridWidget(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, QPoint(left + 20, box.y() + 8));
    EXPECT_EQ(GridWidget()->cursor().shape(), Qt::SizeAllCursor);
    SendMouse(GridWidget(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, QPoint(left + 4 * 14 - 7, box.y() + 8));
    EXPECT_EQ(GridWidget()->cursor().shape(), Qt::SizeHorCursor);
    SendMouse(GridWidget(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, Cell(20, 50));
    EXPECT_EQ(GridWidget()->cursor().shape(), Qt::ArrowCursor);

    // The end dragged 28 pixels right: two steps longer.
    Drag(GridWidget(), QPoint(left + 4 * 14 - 3, box.y() + 8), QPoint(left + 6 * 14 - 3, box.y() + 8));
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{4, 6, 60}}));
    // The start dragged 14 pixels left: a step earlier and a step longer.
    Drag(GridWidget(), QPoint(left + 1, box.y() + 8), QPoint(left + 1 - 14, box.y() + 8));
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{3, 7, 60}}));
    // The start dragged past the end in one move (length 0 or less) is refused.
    const QPoint start = Grid().CellOrigin(3, 60) + QPoint(2, 8);
    SendMouse(GridWidget(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, start);
    SendMouse(GridWidget(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, start);
    SendMouse(GridWidget(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, start + QPoint(7 * 14 + 6, 0));
    SendMouse(GridWidget(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, start + QPoint(7 * 14 + 6, 0));
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{3, 7, 60}}));
}

TEST_F(PatternPageTest, DrumRowsAreNamedAndADragUpGoesTwoRowsUp) {
    Open();
    Pattern* pattern = NewPattern("Drum Kit");
    ASSERT_NE(pattern, nullptr);
    CMachine* kit = MachineNamed("Drum Kit");
    ASSERT_NE(kit, nullptr);
    ASSERT_GT(kit->m_namedNoteCount, 4);
    EXPECT_EQ(Editor().RowCount(), kit->m_namedNoteCount);
    char name[256] = {};
    kit->GetNoteName(3, name);
    EXPECT_EQ(Editor().NoteLabel(3), name);
    EXPECT_EQ(Grid().FirstRow(), 0);
    EXPECT_EQ(Grid().CellOrigin(0, 0).y(), 0); // index 0 on top

    QTest::mouseClick(GridWidget(), Qt::LeftButton, {}, Cell(2, 3));
    Settle();
    ASSERT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{2, 4, 3}}));
    const QPoint middle = Cell(3, 3);
    Drag(GridWidget(), middle, middle - QPoint(0, 40));
    Settle();
    // Two rows up on a named machine is index 3 - 2.
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{2, 4, 1}}));
}

TEST_F(PatternPageTest, LaneValuesFollowTheHeightAndThePopUpShowsTheMachinesText) {
    Open();
    Pattern* pattern = NewPattern("Bass");
    ASSERT_NE(pattern, nullptr);
    // The first parameter of the machine (entry 1; entry 0 is "Velocity").
    ASSERT_GT(m_page->PropertyBox().Combo()->count(), 2);
    EXPECT_EQ(m_page->PropertyBox().Combo()->itemText(0), "Velocity");
    const QString parameterName = m_page->PropertyBox().Combo()->itemText(1);
    Choose(m_page->PropertyBox(), parameterName);
    Click(m_page->Button(CPatternEditorPage::kAddControlTrack));
    ASSERT_EQ(pattern->ControlTrackCount(), 1);
    const int parameter = pattern->GetControlTrack(0)->parameter;
    ASSERT_EQ(parameter, 0);
    CControlLanes& lanes = m_page->Lanes();
    QWidget* widget = lanes.Widget();
    const int top = lanes.LaneTop(0);

    // A press 30 pixels below the lane's top: 1 - 30/114.
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(lanes.StepX(2) + 5, top + 30));
    Settle();
    const ControlStep& pressed = pattern->GetControlTrack(0)->steps[2];
    ASSERT_TRUE(pressed.set);
    EXPECT_NEAR(pressed.value, 1.0f - 30.0f / 114.0f, 1e-5);
    // Below the value range the value stops at 0.
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(lanes.StepX(5) + 5, top + 125));
    Settle();
    EXPECT_EQ(pattern->GetControlTrack(0)->steps[5].value, 0.0f);
    EXPECT_TRUE(pattern->GetControlTrack(0)->steps[5].set);

    // The handle's top lies trunc((1 - v) x 114) below the lane's top; hovering it shows the
    // up-down cursor.
    const int handleTop = top + static_cast<int>((1.0f - pressed.value) * 114.0f);
    const QPoint handle(lanes.StepX(2) + 6, handleTop + 6);
    const size_t steps = m_undo.Count();
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, handle);
    EXPECT_EQ(lanes.CurrentState(), CControlLanes::State::kHover);
    EXPECT_EQ(widget->cursor().shape(), Qt::SizeVerCursor);
    // Dragged up by 19 pixels: the value at the press plus 19/114, shown in the machine's words.
    const float atPress = pressed.value;
    SendMouse(widget, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, handle);
    EXPECT_EQ(lanes.CurrentState(), CControlLanes::State::kDrag);
    EXPECT_TRUE(lanes.Popup().IsVisible());
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, handle - QPoint(0, 10));
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, handle - QPoint(0, 19));
    const float dragged = pattern->GetControlTrack(0)->steps[2].value;
    EXPECT_NEAR(dragged, atPress + 19.0f / 114.0f, 1e-5);
    char text[256] = {};
    MachineNamed("Bass")->FormatParameter(parameter, dragged, text);
    ASSERT_NE(text[0], 0);
    EXPECT_EQ(lanes.Popup().Text().toStdString(), text);
    EXPECT_EQ(lanes.Popup().X(), handle.x() + 18);
    EXPECT_EQ(lanes.Popup().Y(), handle.y() - 19 + 18);
    gui_test::Screenshot(m_window->Widget(), "pattern_editor_lane_popup");
    SendMouse(widget, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, handle - QPoint(0, 19));
    EXPECT_FALSE(lanes.Popup().IsVisible());
    EXPECT_EQ(m_undo.Count(), steps + 1) << "the whole drag is one step";
    // A drag far up stops at 1.
    const QPoint raised(handle.x(), top + static_cast<int>((1.0f - dragged) * 114.0f) + 6);
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, raised);
    SendMouse(widget, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, raised);
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, raised - QPoint(0, 300));
    EXPECT_EQ(pattern->GetControlTrack(0)->steps[2].value, 1.0f);
    SendMouse(widget, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, raised - QPoint(0, 300));
    // The velocity lane's pop-up asks with parameter -1.
    EXPECT_EQ(Editor().LaneLabel(0), parameterName.toStdString());

    // A right press on the handle clears the step.
    const QPoint top1(handle.x(), top + 6);
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, top1);
    SendMouse(widget, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, top1);
    SendMouse(widget, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, top1);
    Settle();
    EXPECT_FALSE(pattern->GetControlTrack(0)->steps[2].set);
    EXPECT_EQ(lanes.CurrentState(), CControlLanes::State::kIdle);
    ASSERT_TRUE(m_undo.Undo());
    Settle();
    EXPECT_TRUE(pattern->GetControlTrack(0)->steps[2].set);

    // Remove Control Track takes the lane away; undo brings it back.
    Click(m_page->Button(CPatternEditorPage::kRemoveControlTrack));
    EXPECT_EQ(pattern->ControlTrackCount(), 0);
    ASSERT_TRUE(m_undo.Undo());
    Settle();
    EXPECT_EQ(pattern->ControlTrackCount(), 1);
}

TEST_F(PatternPageTest, PlayMarkerSitsAtItsColumnAndRepaintsOnlyWhenTheColumnChanges) {
    Open();
    Pattern* pattern = NewPattern("Bass");
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(Grid().PlayColumn(), -1);
    // Buffers of 200 frames: at the demo's tempo a step lasts several thousand frames, so some
    // buffers move the marker by a pixel and some do not.
    {
        CMutexLock lock(Sequencer().EditorMutex());
        Editor().SetBufferSize(200);
    }
    Click(m_page->Button(CPatternEditorPage::kPlayPattern));
    ASSERT_TRUE(Editor().IsPlayPatternDown());
    EXPECT_TRUE(m_page->PlayButton().IsDown());
    uint64_t serial = Sequencer().BufferSerial() + 1000;
    int same = 0, moved = 0;
    for (int buffer = 0; buffer < 80; ++buffer) {
        {
            CMutexLock studio(m_application->Studio()->Mutex());
            CMutexLock lock(Sequencer().EditorMutex());
            Editor().Tick(++serial);
        }
        const int column = Grid().PlayColumn();
        const int renders = Grid().RenderCount();
        m_stage.clock.Advance(CPatternEditorPage::kMarkerTickMs);
        Settle();
        const float position = Editor().DisplayPosition();
        ASSERT_GE(position, 0.0f);
        const int expected = 96 + static_cast<int>(std::floor(position * 14.0f));
        EXPECT_EQ(Grid().PlayColumn(), expected) << buffer;
        if (Grid().PlayColumn() == column) {
            EXPECT_EQ(Grid().RenderCount(), renders) << "no repaint without a column change, buffer " << buffer;
            ++same;
        } else {
            EXPECT_EQ(Grid().RenderCount(), renders + 1) << buffer;
            ++moved;
        }
    }
    EXPECT_GT(same, 10);
    EXPECT_GT(moved, 5);
    // The marker is drawn inverted over three columns.
    const QRgb beside = gui_test::Probe(GridWidget(), Grid().PlayColumn() - 3, 300);
    const QRgb on = gui_test::Probe(GridWidget(), Grid().PlayColumn(), 300);
    EXPECT_NE(on, beside);
    // Stop: the position returns to 0 and the marker goes once the pattern is stopped.
    Click(m_page->Button(CPatternEditorPage::kStopPattern));
    EXPECT_FALSE(Editor().IsPlayPatternDown());
    EXPECT_FALSE(m_page->PlayButton().IsDown());
}

TEST_F(PatternPageTest, SizeBarDragsTheSplitAndStopsAt10And90Percent) {
    Open(1100, 600);
    gui::CSizeBar& bar = m_page->SizeBar();
    QWidget* widget = bar.Widget();
    // The pointer goes down the page; the bar follows it, so each event is given relative to
    // where the bar stands then, as the platform gives it.
    auto drag = [&](int fromY, int toY) {
        auto local = [&](int pageY) { return QPoint(50, pageY - bar.Y()); };
        SendMouse(widget, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, local(fromY));
        for (int i = 1; i <= 4; ++i)
            SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, local(fromY + (toY - fromY) * i / 4));
        SendMouse(widget, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, local(toY));
    };
    // 20 pixels down: the grid grows by exactly 20.
    drag(380, 400);
    Settle();
    EXPECT_EQ(m_page->Grid().Height(), 317 + 20);
    EXPECT_EQ(bar.Y(), 377 + 20);
    EXPECT_EQ(m_page->Lanes().Y(), 413 + 20);
    drag(bar.Y() + 3, -2000);
    Settle();
    EXPECT_FLOAT_EQ(m_page->Ratio(), 0.1f);
    EXPECT_EQ(m_page->Grid().Height(), 48); // trunc(488 x 0.1)
    drag(bar.Y() + 3, 2000);
    Settle();
    EXPECT_FLOAT_EQ(m_page->Ratio(), 0.9f);
    EXPECT_EQ(m_page->Grid().Height(), 439);
    EXPECT_EQ(m_page->Lanes().Height(), 600 - 439 - 118);
    m_page->SetRatio(0.02f);
    EXPECT_FLOAT_EQ(m_page->Ratio(), 0.1f);
}

TEST_F(PatternPageTest, KeyboardStepEntryWritesAtTheCursorAndMovesOn) {
    Open();
    Pattern* pattern = NewPattern("Bass");
    ASSERT_NE(pattern, nullptr);
    Choose(m_page->NoteLengthBox(), "2");
    GridWidget()->setFocus();
    Grid().SetCursor(8, 0);
    ASSERT_EQ(Grid().Octave(), 5);
    SendKey(GridWidget(), Qt::Key_Z); // C
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{8, 2, 60}}));
    EXPECT_EQ(Grid().CursorStep(), 10);
    EXPECT_EQ(Grid().CursorRow(), Editor().RowForNote(60));
    // A held key: its repeats write nothing and leave the cursor.
    for (int i = 0; i < 3; ++i) SendKey(GridWidget(), Qt::Key_Z, Qt::NoModifier, true);
    Settle();
    EXPECT_EQ(pattern->CountNotes(), 1);
    EXPECT_EQ(Grid().CursorStep(), 10);
    // The black key S and the upper row's 2 and U.
    SendKey(GridWidget(), Qt::Key_S);
    SendKey(GridWidget(), Qt::Key_2);
    SendKey(GridWidget(), Qt::Key_U);
    Settle();
    EXPECT_EQ(NotesOf(pattern),
              (std::vector<SelectedNote>{{8, 2, 60}, {10, 2, 61}, {12, 2, 73}, {14, 2, 83}}));
    EXPECT_EQ(Grid().CursorStep(), 16);
    // Page Up: an octave higher.
    SendKey(GridWidget(), Qt::Key_PageUp);
    EXPECT_EQ(Grid().Octave(), 6);
    SendKey(GridWidget(), Qt::Key_Z);
    EXPECT_EQ(NotesOf(pattern).back(), (SelectedNote{16, 2, 72}));
    SendKey(GridWidget(), Qt::Key_PageDown);
    SendKey(GridWidget(), Qt::Key_PageDown);
    EXPECT_EQ(Grid().Octave(), 4);
    // Arrows move the cursor; Delete removes the note under it.
    SendKey(GridWidget(), Qt::Key_Left);
    SendKey(GridWidget(), Qt::Key_Left);
    SendKey(GridWidget(), Qt::Key_Left);
    EXPECT_EQ(Grid().CursorStep(), 15);
    Grid().SetCursor(15, Editor().RowForNote(83));
    SendKey(GridWidget(), Qt::Key_Up);
    SendKey(GridWidget(), Qt::Key_Down);
    EXPECT_EQ(Grid().CursorRow(), Editor().RowForNote(83));
    const size_t steps = m_undo.Count();
    SendKey(GridWidget(), Qt::Key_Delete);
    Settle();
    EXPECT_EQ(pattern->CountNotes(), 4);
    EXPECT_EQ(m_undo.Count(), steps + 1);
    // A key on a cell its note would overlap writes nothing and leaves the cursor.
    Grid().SetCursor(9, 0);
    SendKey(GridWidget(), Qt::Key_PageUp); // octave 5 again
    SendKey(GridWidget(), Qt::Key_Z);
    EXPECT_EQ(pattern->CountNotes(), 4);
    EXPECT_EQ(Grid().CursorStep(), 9);
    // At the pattern's end the cursor stays on its last step.
    Grid().SetCursor(63, 0);
    SendKey(GridWidget(), Qt::Key_X);
    EXPECT_EQ(pattern->CountNotes(), 4) << "a 2-step note does not fit on the last step";
    Choose(m_page->NoteLengthBox(), "1");
    GridWidget()->setFocus();
    SendKey(GridWidget(), Qt::Key_X);
    EXPECT_EQ(NotesOf(pattern).back(), (SelectedNote{63, 1, 62}));
    EXPECT_EQ(Grid().CursorStep(), 63);
    // Space plays and stops the pattern.
    SendKey(GridWidget(), Qt::Key_Space);
    EXPECT_TRUE(Editor().IsPlayPatternDown());
    SendKey(GridWidget(), Qt::Key_Space);
    EXPECT_FALSE(Editor().IsPlayPatternDown());
}

TEST_F(PatternPageTest, DrumKeysPickTheNamedRowsInOrder) {
    Open();
    Pattern* pattern = NewPattern("Drum Kit");
    ASSERT_NE(pattern, nullptr);
    Choose(m_page->NoteLengthBox(), "1");
    GridWidget()->setFocus();
    Grid().SetCursor(0, 0);
    SendKey(GridWidget(), Qt::Key_Z);
    SendKey(GridWidget(), Qt::Key_S);
    SendKey(GridWidget(), Qt::Key_X);
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{0, 1, 0}, {1, 1, 1}, {2, 1, 2}}));
    // Keys past the kit's last row write nothing.
    const int rows = Editor().RowCount();
    SendKey(GridWidget(), Qt::Key_U); // the 24th key
    EXPECT_EQ(pattern->CountNotes(), rows > 23 ? 4 : 3);
}

TEST_F(PatternPageTest, RubberBandSelectsNotesThatMoveAndGoTogether) {
    Open();
    Pattern* pattern = NewPattern("Bass");
    ASSERT_NE(pattern, nullptr);
    for (auto [step, note] : {std::pair{0, 60}, {4, 62}, {12, 64}}) {
        QTest::mouseClick(GridWidget(), Qt::LeftButton, {}, Cell(step, note));
        Settle();
    }
    ASSERT_EQ(pattern->CountNotes(), 3);
    // Shift+drag from above the first note to below the second's start.
    Drag(GridWidget(), Cell(0, 63) - QPoint(6, 6), Cell(5, 60) + QPoint(4, 6), Qt::ShiftModifier);
    Settle();
    EXPECT_EQ(Grid().Selection().size(), 2u);
    EXPECT_EQ(pattern->CountNotes(), 3) << "a rubber band writes nothing";
    gui_test::Screenshot(m_window->Widget(), "pattern_editor_selection");
    // A selected note dragged two steps right takes the other along: one undo step.
    const size_t steps = m_undo.Count();
    Drag(GridWidget(), Cell(1, 60), Cell(3, 60));
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{2, 4, 60}, {6, 4, 62}, {12, 4, 64}}));
    EXPECT_EQ(m_undo.Count(), steps + 1);
    // The group cannot move where one of them would meet the third note (in one move: 60 -> 62
    // and 62 -> 64 over steps 11..14).
    const QPoint grip = Cell(3, 60);
    SendMouse(GridWidget(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, grip);
    SendMouse(GridWidget(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, grip);
    SendMouse(GridWidget(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, grip + QPoint(14 * 5, -32));
    SendMouse(GridWidget(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, grip + QPoint(14 * 5, -32));
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{2, 4, 60}, {6, 4, 62}, {12, 4, 64}}));
    // Delete takes both away as one step; undo brings both back.
    SendKey(GridWidget(), Qt::Key_Delete);
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{12, 4, 64}}));
    ASSERT_TRUE(m_undo.Undo());
    Settle();
    EXPECT_EQ(pattern->CountNotes(), 3);
    // Ctrl+click picks single notes.
    Grid().ClearSelection();
    QTest::mouseClick(GridWidget(), Qt::LeftButton, Qt::ControlModifier, Cell(13, 64));
    EXPECT_EQ(Grid().Selection(), (std::vector<SelectedNote>{{12, 4, 64}}));
}

TEST_F(PatternPageTest, CopyAndPasteAtTheCursor) {
    Open();
    Pattern* pattern = NewPattern("Bass");
    ASSERT_NE(pattern, nullptr);
    QTest::mouseClick(GridWidget(), Qt::LeftButton, {}, Cell(2, 60));
    QTest::mouseClick(GridWidget(), Qt::LeftButton, {}, Cell(6, 67));
    Settle();
    SendKey(GridWidget(), Qt::Key_A, Qt::ControlModifier);
    SendKey(GridWidget(), Qt::Key_C, Qt::ControlModifier);
    Grid().SetCursor(32, 0);
    const size_t steps = m_undo.Count();
    SendKey(GridWidget(), Qt::Key_V, Qt::ControlModifier);
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{2, 4, 60}, {6, 4, 67}, {32, 4, 60}, {36, 4, 67}}));
    EXPECT_EQ(m_undo.Count(), steps + 1);
    EXPECT_EQ(Grid().Selection().size(), 2u) << "the pasted notes are selected";
    // Pasted where only one fits inside the pattern: the other is left out.
    Grid().SetCursor(59, 0);
    SendKey(GridWidget(), Qt::Key_V, Qt::ControlModifier);
    Settle();
    EXPECT_EQ(NotesOf(pattern).size(), 5u);
    EXPECT_EQ(NotesOf(pattern).back(), (SelectedNote{59, 4, 60}));
}

// How many of a button's drawn pixels fall in each colour family, as the screen shows it.
struct ColourCensus {
    int green = 0, red = 0, blue = 0, light = 0, yellow = 0;
};

ColourCensus Census(gui::CControl* button) {
    ColourCensus census;
    const QImage image = button->Widget()->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            if (g > r + 50 && g > b + 30) ++census.green;
            if (r > g + 60 && r > b + 60 && g < 120) ++census.red;
            if (b > r + 60 && b > g + 20) ++census.blue;
            if (r > 180 && g > 180 && b > 180) ++census.light;
            if (r > 200 && g > 150 && b < 110) ++census.yellow;
        }
    return census;
}

TEST_F(PatternPageTest, ToolBarButtonsShowTheirOwnPictures) {
    Open();
    Choose(m_page->MachineBox(), "Bass");
    ASSERT_NE(Editor().CurrentPattern(), nullptr);
    Settle();
    // Add and remove carry a green plus and a red minus on a pattern sheet (light, with blue notes).
    for (auto command : {CPatternEditorPage::kAddPattern, CPatternEditorPage::kAddControlTrack}) {
        const ColourCensus c = Census(m_page->Button(command));
        EXPECT_GT(c.green, 10) << command;
        EXPECT_EQ(c.red, 0) << command;
        EXPECT_GT(c.blue, 4) << command;
    }
    const ColourCensus remove = Census(m_page->Button(CPatternEditorPage::kRemovePattern));
    EXPECT_GT(remove.red, 10);
    EXPECT_EQ(remove.green, 0);
    EXPECT_GT(remove.light, 20);
    // Rename has its yellow pencil; duplicate shows two sheets, more light than one.
    EXPECT_GT(Census(m_page->Button(CPatternEditorPage::kRenamePattern)).yellow, 4);
    EXPECT_EQ(Census(m_page->Button(CPatternEditorPage::kDuplicatePattern)).yellow, 0);
    EXPECT_GT(Census(m_page->Button(CPatternEditorPage::kDuplicatePattern)).light, remove.light);
    // The transport: a green play, a light stop square, blue loop arrows.
    const ColourCensus play = Census(m_page->Button(CPatternEditorPage::kPlayPattern));
    EXPECT_GT(play.green, 40);
    EXPECT_EQ(play.light, 0);
    const ColourCensus stop = Census(m_page->Button(CPatternEditorPage::kStopPattern));
    EXPECT_GT(stop.light, 40);
    EXPECT_EQ(stop.green, 0);
    const ColourCensus loop = Census(m_page->Button(CPatternEditorPage::kLoopPattern));
    EXPECT_GT(loop.blue, 20);
    EXPECT_EQ(loop.green, 0);
}

TEST_F(PatternPageTest, AddDuplicateRenameAndRemovePatterns) {
    Open();
    Pattern* pattern = NewPattern("Bass");
    ASSERT_NE(pattern, nullptr);
    const int listed = m_page->PatternBox().Combo()->count();
    const std::string name = pattern->Name();
    QTest::mouseClick(GridWidget(), Qt::LeftButton, {}, Cell(0, 48));
    Settle();
    Click(m_page->Button(CPatternEditorPage::kDuplicatePattern));
    Pattern* copy = Editor().CurrentPattern();
    ASSERT_NE(copy, pattern);
    EXPECT_EQ(NotesOf(copy), NotesOf(pattern));
    EXPECT_NE(std::string(copy->Name()), name);
    EXPECT_EQ(m_page->PatternBox().Combo()->count(), listed + 1);
    EXPECT_EQ(m_page->PatternBox().Combo()->currentText().toStdString(), copy->Name());

    m_stage.dialogs.texts.push_back(QString("Chorus"));
    Click(m_page->Button(CPatternEditorPage::kRenamePattern));
    EXPECT_EQ(std::string(copy->Name()), "Chorus");
    EXPECT_EQ(m_page->PatternBox().Combo()->currentText(), "Chorus");
    ASSERT_TRUE(m_undo.Undo());
    Settle();
    EXPECT_NE(std::string(Editor().CurrentPattern()->Name()), "Chorus");
    // A cancelled question renames nothing.
    const size_t steps = m_undo.Count();
    Click(m_page->Button(CPatternEditorPage::kRenamePattern));
    EXPECT_EQ(m_undo.Count(), steps);

    Click(m_page->Button(CPatternEditorPage::kRemovePattern));
    EXPECT_EQ(m_page->PatternBox().Combo()->count(), listed);
    ASSERT_TRUE(m_undo.Undo());
    Settle();
    EXPECT_EQ(m_page->PatternBox().Combo()->count(), listed + 1);
}

TEST_F(PatternPageTest, WheelScrollsRowsAndShiftWheelScrollsBeats) {
    Open();
    Choose(m_page->LengthBox(), "256"); // 64 beats
    Pattern* pattern = NewPattern("Bass");
    ASSERT_NE(pattern, nullptr);
    ASSERT_EQ(pattern->Length(), 64);
    const int row = Grid().FirstRow();
    auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
        const QPoint at = Cell(4, 60);
        QWheelEvent event(QPointF(at), QPointF(GridWidget()->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(GridWidget(), &event);
        Settle();
    };
    wheel(-120, Qt::NoModifier);
    EXPECT_EQ(Grid().FirstRow(), row + 3);
    wheel(240, Qt::NoModifier);
    EXPECT_EQ(Grid().FirstRow(), row - 3);
    EXPECT_EQ(Grid().VerticalBar().Value(), row - 3);
    wheel(-120, Qt::ShiftModifier);
    EXPECT_EQ(Grid().FirstBeat(), 4);
    EXPECT_EQ(m_page->Lanes().FirstBeat(), 4);
    EXPECT_EQ(m_page->HorizontalBar().Value(), 4);
    // Scrolled sideways, a click lands on the step under the pointer.
    QTest::mouseClick(GridWidget(), Qt::LeftButton, {}, QPoint(96 + 14 * 2 + 5, Grid().CellOrigin(0, 60).y() + 8));
    Settle();
    EXPECT_EQ(NotesOf(pattern), (std::vector<SelectedNote>{{18, 4, 60}}));
}

TEST_F(PatternPageTest, Screenshots) {
    Open(1100, 600);
    Choose(m_page->MachineBox(), "Bass");
    Pattern* bass = Editor().CurrentPattern();
    ASSERT_NE(bass, nullptr);
    // The demo's bass pattern with its lanes (the demo has control tracks on it, or one is added).
    if (bass->ControlTrackCount() == 0) {
        Choose(m_page->PropertyBox(), m_page->PropertyBox().Combo()->itemText(1));
        Click(m_page->Button(CPatternEditorPage::kAddControlTrack));
    }
    ASSERT_GT(bass->CountNotes(), 0);
    ASSERT_GT(bass->ControlTrackCount(), 0);
    Grid().SetCursor(4, Editor().RowForNote(bass->FirstNote()->note));
    Settle();
    gui_test::Screenshot(m_window->Widget(), "pattern_editor_basshead");

    Choose(m_page->MachineBox(), "Drum Kit");
    // The kit's busiest pattern.
    const std::vector<Pattern*> kit = Editor().MachinePatterns();
    ASSERT_FALSE(kit.empty());
    const auto busiest = std::max_element(kit.begin(), kit.end(), [](const Pattern* a, const Pattern* b) {
        return a->CountNotes() < b->CountNotes();
    });
    Choose(m_page->PatternBox(), QString::fromUtf8((*busiest)->Name()));
    Pattern* drums = Editor().CurrentPattern();
    ASSERT_EQ(drums, *busiest);
    ASSERT_GT(drums->CountNotes(), 0);
    Settle();
    const QImage shot = gui_test::Screenshot(m_window->Widget(), "pattern_editor_drums");
    EXPECT_EQ(shot.width() / shot.devicePixelRatio(), 1100);
}

// ----- In the main window -----

TEST(PatternPageInWindow, CtrlZTakesBackANoteEdit) {
    const fs::path root = studio_test::FreshTestFolder("pattern-page-window-");
    gui_test::Stage stage;
    std::ostringstream messages;
    CApplication::Settings settings = studio_test::OfflineSettings(messages);
    CApplication application(settings);
    application.Project().Open(fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp");
    CRecentProjects recent(root / "recent.txt");
    {
        main_window::CMainWindow window(WindowModels(application, &recent));
        window.Build(1280, 760);
        window.Open(false);
        window.ShowPage(main_window::CMainWindow::kPatternEditor);
        stage.Settle();
        CPatternEditorPage* page = window.PatternEditor();
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(window.PageControl(main_window::CMainWindow::kPatternEditor), page);
        EXPECT_TRUE(page->IsVisible());
        gui::CComboBox& machines = page->MachineBox();
        const int bass = machines.Combo()->findText("Bass");
        ASSERT_GE(bass, 0);
        machines.Combo()->setCurrentIndex(bass);
        emit machines.Combo()->activated(bass);
        stage.Settle();
        Pattern* pattern = page->Editor().CurrentPattern();
        ASSERT_NE(pattern, nullptr);
        const std::vector<SelectedNote> before = NotesOf(pattern);
        // An empty cell of the shown rows, away from the demo's notes.
        int step = 0, note = 0;
        for (step = 0; step < pattern->StepCount(); ++step)
            if (!page->Editor().NoteAt(step, 50) && page->Editor().IsValidNote(step, 4, 50, nullptr)) break;
        ASSERT_LT(step, pattern->StepCount());
        note = 50;
        page->Grid().SetFirstRow(page->Editor().RowForNote(note) - 3);
        const QPoint cell = page->Grid().CellOrigin(step, note) + QPoint(7, 8);
        QTest::mouseClick(page->Grid().Widget(), Qt::LeftButton, {}, cell);
        stage.Settle();
        ASSERT_EQ(NotesOf(pattern).size(), before.size() + 1);
        EXPECT_TRUE(window.UndoHistory().CanUndo());
        QTest::keyClick(page->Grid().Widget(), Qt::Key_Z, Qt::ControlModifier);
        stage.Settle();
        EXPECT_EQ(NotesOf(pattern), before);
    }
    fs::remove_all(root);
}

} // namespace
