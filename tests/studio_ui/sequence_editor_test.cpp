// The sequence editor page over an offline application: the song grid's geometry, the tool bars,
// selecting rows and filling the pattern box, placing, dragging and removing placements through
// the undo history, the song length, the transport with Record Song writing the HD recorder's
// files, the play marker, scrolling, the demo song's picture, and the main window's page and its
// "Tools" menu opening the bank explorer.
#include "app/application.h"
#include "app/window_models.h"
#include "engine/machine_container.h"
#include "engine/studio.h"
#include "gui/combo_box.h"
#include "gui/label.h"
#include "gui/list_box.h"
#include "gui/scroll_bar.h"
#include "gui/tab_control.h"
#include "gui/tool_bar.h"
#include "gui/up_down.h"
#include "gui/window.h"
#include "host_machines/hd_recorder/hd_track.h"
#include "host_machines/hd_track_machine.h"
#include "machine_interface/bank_server.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/pattern.h"
#include "sequencer/sequencer.h"
#include "studio_ui/bank_explorer/bank_explorer.h"
#include "studio_ui/bank_explorer/bank_explorer_window.h"
#include "studio_ui/document/recent_projects.h"
#include "studio_ui/hd_recorder/hd_recorder_view.h"
#include "studio_ui/icons/studio_icons.h"
#include "studio_ui/main_window/main_window.h"
#include "studio_ui/sequence_editor/sequence_editor_page.h"
#include "studio_ui/sequence_editor/sequence_view.h"
#include "studio_ui/sequence_editor/song_grid_geometry.h"
#include "studio_ui/undo/edit_snapshots.h"
#include "studio_ui/undo/undo_stack.h"
#include "tests/gui/gui_test_support.h"
#include "tests/studio_ui/editor_page_fixture.h"
#include "tests/studio_ui/studio_test_support.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using sequence_editor::CSequenceEditorPage;
using sequence_editor::CSequenceView;
namespace grid = song_grid;

constexpr int kWidth = 1200;
constexpr int kHeight = 420;
constexpr int32_t kBuffer = 256;

// ---- the grid's arithmetic, headless ----

TEST(SongGridGeometry, CellsSplitAtTheLabelColumnAndEndAtTheSongsLength) {
    EXPECT_EQ(grid::BeatAt(195, 0, 64), -1); // the label column's last pixel
    EXPECT_EQ(grid::BeatAt(196, 0, 64), 0);
    EXPECT_EQ(grid::BeatAt(196 + 13, 0, 64), 0);
    EXPECT_EQ(grid::BeatAt(196 + 14, 0, 64), 1);
    EXPECT_EQ(grid::BeatAt(196 + 14 * 63, 0, 64), 63);
    EXPECT_EQ(grid::BeatAt(196 + 14 * 64, 0, 64), -1); // past the song
    EXPECT_EQ(grid::BeatAt(196, 100, 4096), 100);      // scrolled
    EXPECT_EQ(grid::RowAt(grid::kRulerPixels - 1, 0, 3), -1);
    EXPECT_EQ(grid::RowAt(grid::kRulerPixels, 0, 3), 0);
    EXPECT_EQ(grid::RowAt(grid::kRulerPixels + 16 * 3 - 1, 0, 3), 2);
    EXPECT_EQ(grid::RowAt(grid::kRulerPixels + 16 * 3, 0, 3), -1);
    EXPECT_EQ(grid::RowAt(grid::kRulerPixels, 2, 3), 2);
    EXPECT_EQ(grid::BeatsInDrag(-13), 0);
    EXPECT_EQ(grid::BeatsInDrag(-14), -1);
    EXPECT_EQ(grid::VisibleBeats(196 + 16 + 14 * 10 + 13), 10);
    EXPECT_EQ(grid::VisibleBeats(10), 1);
}

TEST(SongGridGeometry, MarkerStandsAtThePositionsPixelAndHidesLeftOfTheGrid) {
    EXPECT_EQ(grid::MarkerX(-1.0f, 0), -1); // not playing
    EXPECT_EQ(grid::MarkerX(0.0f, 0), 196);
    EXPECT_EQ(grid::MarkerX(4.0f, 0), 210);           // one beat
    EXPECT_EQ(grid::MarkerX(1.0f, 0), 196 + 3);       // a step is 3.5 pixels
    EXPECT_EQ(grid::MarkerX(2.0f, 0), 196 + 7);
    EXPECT_EQ(grid::MarkerX(40.0f, 10), 196);         // beat 10, scrolled to it
    EXPECT_EQ(grid::MarkerX(39.0f, 10), -1);          // just left of the first visible beat
    EXPECT_TRUE(grid::IsShadedBeat(4));
    EXPECT_FALSE(grid::IsShadedBeat(3));
    EXPECT_FALSE(grid::IsShadedBeat(8));
}

// ---- a drag as one step of the history ----

// Adds its amount to a counter; the commands of one gesture merge into their sum.
class CAddCommand : public CUndoCommand {
public:
    CAddCommand(int& counter, int amount) : m_counter(counter), m_amount(amount) {}
    std::string Text() const override { return "Add"; }
    void Do() override { m_counter += m_amount; }
    void Undo() override { m_counter -= m_amount; }
    void Redo() override { m_counter += m_amount; }
    bool Changed() const override { return m_amount != 0; }
    bool MergeWith(CUndoCommand& later) override {
        m_amount += static_cast<CAddCommand&>(later).m_amount;
        return true;
    }

private:
    int& m_counter;
    int m_amount;
};

TEST(UndoGesture, AGestureThatEndsWhereItBeganLeavesNoStepAndKeepsTheOthers) {
    int counter = 0;
    CUndoStack stack;
    auto add = [&](int amount) { return stack.Do(std::make_unique<CAddCommand>(counter, amount)); };
    add(5);
    stack.SetClean();
    stack.BeginGesture();
    add(3);
    add(-1);
    add(-2);
    EXPECT_EQ(stack.Count(), 1u); // the merged step went when it came back to nothing
    stack.EndGesture();
    EXPECT_EQ(counter, 5);
    EXPECT_EQ(stack.Count(), 1u); // the earlier step stays, the empty gesture is gone
    EXPECT_TRUE(stack.IsClean());
    EXPECT_EQ(stack.UndoText(), "Undo Add");

    // Nested gestures: only the outermost end decides.
    stack.BeginGesture();
    stack.BeginGesture();
    add(2);
    add(-2);
    stack.EndGesture();
    EXPECT_EQ(stack.Count(), 1u);
    add(4); // the rest of the gesture starts a step of its own
    stack.EndGesture();
    EXPECT_EQ(stack.Count(), 2u);
    EXPECT_EQ(counter, 9);
    ASSERT_TRUE(stack.Undo());
    EXPECT_EQ(counter, 5);
    ASSERT_TRUE(stack.Undo());
    EXPECT_EQ(counter, 0);
    // An end without a begin changes nothing.
    stack.EndGesture();
    EXPECT_EQ(stack.Count(), 2u);
    EXPECT_TRUE(stack.CanRedo());
}

// ---- the page over an offline application ----

class SequenceEditorTest : public studio_test::EditorPageTest<CSequenceEditorPage> {
protected:
    void SetUp() override { MakeApplication("sequence-editor-", kBuffer); }
    void Open(int width = kWidth, int height = kHeight) {
        OpenPage("Sequence Editor", *m_application->Sequencer(), width, height);
    }
    CStudio& Studio() { return *m_application->Studio(); }
    CSequenceEditor& Song() { return m_application->Sequencer()->Song(); }
    CPatternEditor& Patterns() { return m_application->Sequencer()->Patterns(); }
    CSequenceView& View() { return *m_page->View(); }
    CMachineContainer* Add(const char* name, int x = 40, int y = 40) {
        CMachineInfo* info = m_application->Registry()->FindByName(name);
        EXPECT_NE(info, nullptr) << name;
        return Studio().AddMachine(info, x, y);
    }
    // A BassHead with its song row; returns the row's port.
    CPort* AddBass(int x = 40) {
        Add("QX BassHead", x, 40);
        const Sequence& song = Song().Song();
        return song.GetTrack(song.TrackCount() - 1)->port;
    }
    // The centre of a cell in view pixels.
    static QPoint Cell(int32_t row, int32_t beat, int32_t firstRow = 0, int32_t firstBeat = 0) {
        return {grid::BeatX(beat, firstBeat) + grid::kBeatPixels / 2, grid::RowY(row, firstRow) + grid::kRowPixels / 2};
    }
    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(View().Widget(), button, {}, at);
        QTest::mouseRelease(View().Widget(), button, {}, at);
    }
    void SelectRow(int32_t row) { Press(QPoint(40, grid::RowY(row, View().FirstRow()) + 8)); }
    std::vector<int32_t> Starts(int32_t row) {
        std::vector<int32_t> starts;
        for (const SequenceEntry* entry : Song().Song().GetTrack(row)->entries)
            starts.push_back(entry->start);
        return starts;
    }
    QRgb Pixel(QPoint at) { return gui_test::Probe(View().Widget(), at.x(), at.y()); }
    void Tick() { m_stage.clock.Advance(sequence_editor::kRefreshIntervalMs); }
    void Render(int buffers) {
        std::vector<float> left(kBuffer), right(kBuffer);
        float* channels[2] = {left.data(), right.data()};
        for (int i = 0; i < buffers; ++i)
            m_application->Offline()->Render(channels, 2, kBuffer);
    }
    static void Click(gui::CControl* control) {
        QTest::mouseClick(control->Widget(), Qt::LeftButton, {}, QPoint(control->Width() / 2, control->Height() / 2));
    }
    fs::path Demo() { return fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp"; }
};

TEST_F(SequenceEditorTest, ToolBarsAndGridSitWhereTheyBelong) {
    Open();
    EXPECT_EQ(m_page->PlayButton()->Y() + m_page->PlayButton()->Parent()->Y(), 3);
    EXPECT_EQ(m_page->PatternBox()->Parent()->Y(), 30);
    EXPECT_EQ(m_page->PatternBox()->Width(), 120);
    EXPECT_EQ(m_page->PatternBox()->Combo()->toolTip(), "Select Pattern");
    EXPECT_EQ(m_page->PatternBox()->Combo()->objectName(), "PatternCombo");
    EXPECT_EQ(View().Y(), 60);
    EXPECT_EQ(View().Height(), kHeight - 60);
    EXPECT_EQ(View().Width(), kWidth);
    EXPECT_EQ(m_page->PlayButton()->ToolTip(), "Play Pattern");
    EXPECT_EQ(m_page->RecordButton()->ToolTip(), "Record Song");
    EXPECT_EQ(m_page->StopButton()->ToolTip(), "Stop Pattern");
    EXPECT_EQ(m_page->LoopButton()->ToolTip(), "Loop Pattern");
    EXPECT_FALSE(m_page->LoopButton()->IsOn());
    gui::CUpDown* length = m_page->LengthField();
    EXPECT_EQ(length->Width(), 52);
    EXPECT_EQ(length->Height(), 18);
    EXPECT_EQ(length->Minimum(), 1);
    EXPECT_EQ(length->Maximum(), 4096);
    EXPECT_EQ(length->Step(), 1);
    EXPECT_EQ(length->Value(), 64);
    EXPECT_EQ(length->Widget()->toolTip(), "Sequence Length");
    // The scroll bars: 16 pixels, right and bottom.
    EXPECT_EQ(View().VerticalBar()->X(), kWidth - 16);
    EXPECT_EQ(View().VerticalBar()->Width(), 16);
    EXPECT_EQ(View().HorizontalBar()->Y(), View().Height() - 16);
    EXPECT_EQ(View().HorizontalBar()->Height(), 16);
    EXPECT_EQ(View().HorizontalBar()->X(), 196);
}

TEST_F(SequenceEditorTest, SelectingARowFillsThePatternBoxWithItsPortsPatterns) {
    CPort* first = AddBass(40);
    CPort* second = AddBass(300);
    Patterns().CreatePattern(first, 16, "Verse");
    Patterns().CreatePattern(second, 8, "Other");
    Patterns().CreatePattern(first, 4, "Fill");
    Open();
    ASSERT_EQ(Song().Song().TrackCount(), 2);
    EXPECT_EQ(m_page->PatternBox()->Count(), 0);
    SelectRow(0);
    EXPECT_EQ(Song().SelectedRow(), 0);
    ASSERT_EQ(m_page->PatternBox()->Count(), 2);
    EXPECT_EQ(m_page->PatternBox()->EntryText(0), "Verse");
    EXPECT_EQ(m_page->PatternBox()->EntryText(1), "Fill");
    EXPECT_EQ(m_page->PatternBox()->Selection(), 0); // the first became the row's chosen pattern

    // Choosing in the box sets what a click places; selecting the row again keeps the choice.
    QComboBox* combo = m_page->PatternBox()->Combo();
    combo->setCurrentIndex(1); // as the user picks it
    emit combo->activated(1);
    EXPECT_STREQ(Song().ChosenPattern()->Name(), "Fill");
    SelectRow(1);
    ASSERT_EQ(m_page->PatternBox()->Count(), 1);
    EXPECT_EQ(m_page->PatternBox()->EntryText(0), "Other");
    SelectRow(0);
    EXPECT_EQ(m_page->PatternBox()->Selection(), 1);

    // The selected row's label is highlighted; the other is not.
    const QRgb selected = Pixel(QPoint(3, grid::RowY(0, 0) + 3));
    const QRgb other = Pixel(QPoint(3, grid::RowY(1, 0) + 3));
    EXPECT_NE(selected, other);
    // A click below the last row selects nothing new.
    Press(QPoint(40, grid::RowY(5, 0) + 8));
    EXPECT_EQ(Song().SelectedRow(), 0);
}

TEST_F(SequenceEditorTest, ARowWithoutPatternsPlacesNothingAndAnUnselectedRowNeither) {
    CPort* first = AddBass(40);
    AddBass(300);
    Patterns().CreatePattern(first, 4, "A");
    Open();
    SelectRow(1);
    EXPECT_EQ(m_page->PatternBox()->Count(), 0);
    EXPECT_EQ(Song().ChosenPattern(), nullptr);
    Press(Cell(1, 0));
    EXPECT_TRUE(Starts(1).empty());
    // Row 0 has a pattern but is not the selected row.
    Press(Cell(0, 0));
    EXPECT_TRUE(Starts(0).empty());
    EXPECT_FALSE(m_undo.CanUndo());
}

TEST_F(SequenceEditorTest, ASixteenBeatPatternFitsAtBeat48OfA64BeatSongAndNotAt49) {
    CPort* port = AddBass();
    Patterns().CreatePattern(port, 16, "Long");
    Open();
    ASSERT_EQ(Song().Length(), 64);
    SelectRow(0);
    const QRgb ground = Pixel(Cell(0, 49));
    Press(Cell(0, 49));
    EXPECT_TRUE(Starts(0).empty());
    EXPECT_FALSE(m_undo.CanUndo());
    Press(Cell(0, 48));
    EXPECT_EQ(Starts(0), std::vector<int32_t>{48});
    EXPECT_EQ(m_undo.UndoText(), "Undo Place Pattern");
    // The box is drawn over the pattern's 16 beats, up to the song's end.
    EXPECT_NE(Pixel(Cell(0, 49)), ground);
    EXPECT_NE(Pixel(Cell(0, 63)), Pixel(Cell(0, 47)));
    // Overlapping the placement is refused.
    Press(Cell(0, 40));
    EXPECT_EQ(Starts(0), std::vector<int32_t>{48});

    // Undo takes it back and the grid follows the model's news.
    ASSERT_TRUE(m_undo.Undo());
    Tick();
    EXPECT_TRUE(Starts(0).empty());
    EXPECT_EQ(Pixel(Cell(0, 49)), ground);
    ASSERT_TRUE(m_undo.Redo());
    Tick();
    EXPECT_EQ(Starts(0), std::vector<int32_t>{48});
    EXPECT_NE(Pixel(Cell(0, 49)), ground);
}

TEST_F(SequenceEditorTest, ADragOverANeighbourHoldsThenJumpsPastItAndIsOneUndoStep) {
    CPort* port = AddBass();
    Pattern* moving = Patterns().CreatePattern(port, 8, "Move");
    Pattern* neighbour = Patterns().CreatePattern(port, 4, "Wall");
    Open();
    ASSERT_NE(Song().PlacePattern(moving, 0), nullptr);
    ASSERT_NE(Song().PlacePattern(neighbour, 12), nullptr); // beats 12..15
    Tick();
    QWidget* view = View().Widget();
    const QPoint press = Cell(0, 2);
    QTest::mousePress(view, Qt::LeftButton, {}, press);
    EXPECT_EQ(View().State(), CSequenceView::MouseState::kDrag);
    auto moveBy = [&](int beats, int extraPixels = 0) {
        QTest::mouseMove(view, press + QPoint(beats * grid::kBeatPixels + extraPixels, 0));
        return Song().Song().GetTrack(0)->entries[0]->start;
    };
    EXPECT_EQ(moveBy(0, 13), 0);  // 13 pixels are no beat yet
    EXPECT_EQ(moveBy(2), 2);
    EXPECT_EQ(moveBy(4), 4);      // ends right at the neighbour's start
    EXPECT_EQ(moveBy(5), 4);      // would overlap: holds
    EXPECT_EQ(moveBy(10), 4);
    EXPECT_EQ(moveBy(15), 4);
    EXPECT_EQ(moveBy(16), 16);    // fits right after the neighbour: jumps
    EXPECT_EQ(moveBy(60), 16);    // past the song's end: holds
    EXPECT_EQ(moveBy(20), 20);
    QTest::mouseRelease(view, Qt::LeftButton, {}, press + QPoint(20 * grid::kBeatPixels, 0));
    EXPECT_EQ(View().State(), CSequenceView::MouseState::kHover);
    EXPECT_EQ(Starts(0), (std::vector<int32_t>{20, 12}));

    // The whole drag is one step.
    EXPECT_EQ(m_undo.Count(), 1u);
    EXPECT_EQ(m_undo.UndoText(), "Undo Move Pattern");
    ASSERT_TRUE(m_undo.Undo());
    EXPECT_EQ(Starts(0), (std::vector<int32_t>{0, 12}));
    ASSERT_TRUE(m_undo.Redo());
    EXPECT_EQ(Starts(0), (std::vector<int32_t>{20, 12}));

    // Undone in the middle of a drag, the placement it held is gone: the drag ends and keeps no
    // step of its own; further moves move nothing.
    Tick();
    const QPoint middle = Cell(0, 21);
    QTest::mousePress(view, Qt::LeftButton, {}, middle);
    QTest::mouseMove(view, middle + QPoint(2 * grid::kBeatPixels, 0));
    EXPECT_EQ(Starts(0), (std::vector<int32_t>{22, 12}));
    ASSERT_TRUE(m_undo.Undo()); // the move to 22
    ASSERT_TRUE(m_undo.Undo()); // the first drag
    Tick();
    EXPECT_EQ(View().State(), CSequenceView::MouseState::kIdle);
    QTest::mouseMove(view, middle + QPoint(6 * grid::kBeatPixels, 0));
    QTest::mouseRelease(view, Qt::LeftButton, {}, middle + QPoint(6 * grid::kBeatPixels, 0));
    EXPECT_EQ(Starts(0), (std::vector<int32_t>{0, 12}));
    ASSERT_TRUE(m_undo.Redo());
    EXPECT_EQ(Starts(0), (std::vector<int32_t>{20, 12}));

    // A drag that comes back where it started keeps no step.
    Tick();
    const QPoint again = Cell(0, 21);
    QTest::mousePress(view, Qt::LeftButton, {}, again);
    QTest::mouseMove(view, again + QPoint(3 * grid::kBeatPixels, 0));
    QTest::mouseMove(view, again);
    QTest::mouseRelease(view, Qt::LeftButton, {}, again);
    EXPECT_EQ(Starts(0), (std::vector<int32_t>{20, 12}));
    EXPECT_EQ(m_undo.Count(), 1u);
}

TEST_F(SequenceEditorTest, HoverHighlightsThePlacementAndARightPressRemovesIt) {
    CPort* port = AddBass();
    Pattern* pattern = Patterns().CreatePattern(port, 4, "Hit");
    Open();
    ASSERT_NE(Song().PlacePattern(pattern, 8), nullptr);
    Tick();
    const QRgb plain = Pixel(Cell(0, 9));
    QTest::mouseMove(View().Widget(), Cell(0, 9));
    EXPECT_EQ(View().State(), CSequenceView::MouseState::kHover);
    EXPECT_NE(Pixel(Cell(0, 9)), plain);
    EXPECT_EQ(View().Widget()->cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseMove(View().Widget(), Cell(0, 2));
    EXPECT_EQ(View().State(), CSequenceView::MouseState::kIdle);
    EXPECT_EQ(Pixel(Cell(0, 9)), plain);
    EXPECT_EQ(View().Widget()->cursor().shape(), Qt::ArrowCursor);
    // Leaving the view over the placement ends the hover.
    QTest::mouseMove(View().Widget(), Cell(0, 9));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(View().Widget(), &leave);
    EXPECT_EQ(View().State(), CSequenceView::MouseState::kIdle);
    EXPECT_EQ(Pixel(Cell(0, 9)), plain);

    // A right press beside the placement removes nothing; on it, the placement.
    QTest::mousePress(View().Widget(), Qt::RightButton, {}, Cell(0, 12));
    EXPECT_EQ(Starts(0), std::vector<int32_t>{8});
    QTest::mousePress(View().Widget(), Qt::RightButton, {}, Cell(0, 11));
    EXPECT_TRUE(Starts(0).empty());
    EXPECT_EQ(m_undo.UndoText(), "Undo Remove Pattern From Song");
    Tick();
    EXPECT_NE(Pixel(Cell(0, 9)), plain);
    ASSERT_TRUE(m_undo.Undo());
    EXPECT_EQ(Starts(0), std::vector<int32_t>{8});
}

TEST_F(SequenceEditorTest, TheLengthFieldShortensTheSongThroughTheHistory) {
    CPort* port = AddBass();
    Pattern* pattern = Patterns().CreatePattern(port, 8, "Tail");
    Open();
    ASSERT_NE(Song().PlacePattern(pattern, 40), nullptr); // ends at beat 48
    Tick();
    QLineEdit* line = m_page->LengthField()->SpinBox()->findChild<QLineEdit*>();
    line->selectAll();
    QTest::keyClicks(line, "47");
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_EQ(Song().Length(), 47);
    EXPECT_TRUE(Starts(0).empty()); // no longer fits
    EXPECT_EQ(m_undo.UndoText(), "Undo Song Length");
    EXPECT_EQ(View().HorizontalBar()->Maximum(), 0); // 47 beats all fit in the view
    ASSERT_TRUE(m_undo.Undo());
    Tick();
    EXPECT_EQ(Song().Length(), 64);
    EXPECT_EQ(m_page->LengthField()->Value(), 64);
    EXPECT_EQ(Starts(0), std::vector<int32_t>{40});
}

TEST_F(SequenceEditorTest, TransportButtonsFollowTheSong) {
    Open();
    Click(m_page->PlayButton());
    EXPECT_TRUE(Song().IsPlaying());
    EXPECT_TRUE(m_page->PlayButton()->IsOn());
    Render(20);
    const int64_t later = Song().PositionSamples();
    EXPECT_GT(later, 0);
    // Play again while playing starts from the top.
    Click(m_page->PlayButton());
    EXPECT_EQ(Song().PositionSamples(), 0);
    Click(m_page->LoopButton());
    EXPECT_TRUE(Song().IsLooping());
    EXPECT_TRUE(m_page->LoopButton()->IsOn());
    Click(m_page->StopButton());
    EXPECT_FALSE(Song().IsPlaying());
    EXPECT_FALSE(m_page->PlayButton()->IsOn());
    EXPECT_TRUE(m_page->LoopButton()->IsOn());
    Click(m_page->LoopButton());
    EXPECT_FALSE(Song().IsLooping());

    // The song's end, met on the driver thread, brings the button up on the next refresh.
    Song().SetLength(1);
    Click(m_page->PlayButton());
    Render(static_cast<int>(Song().SongSamples() / kBuffer) + 2);
    EXPECT_FALSE(Song().IsPlaying());
    EXPECT_TRUE(m_page->PlayButton()->IsOn());
    Tick();
    EXPECT_FALSE(m_page->PlayButton()->IsOn());
}

// The picture a button shows, as the screen at density 2 gets it.
QImage Shown(const QIcon& icon) { return icon.pixmap(QSize(14, 14), 2.0).toImage().convertToFormat(QImage::Format_ARGB32); }

TEST_F(SequenceEditorTest, TransportButtonsShowTheEmbeddedPicturesOfTheirState) {
    Open();
    auto same = [](const QIcon& shown, int number) { return Shown(shown) == Shown(studio_icons::Icon(number)); };
    EXPECT_TRUE(same(m_page->PlayButton()->Icon(), studio_icons::kSongPlayOff));
    EXPECT_TRUE(same(m_page->RecordButton()->Icon(), studio_icons::kRecordOff));
    EXPECT_TRUE(same(m_page->StopButton()->Icon(), studio_icons::kSongStop));
    EXPECT_TRUE(same(m_page->LoopButton()->Icon(), studio_icons::kSongLoopOff));
    // The pictures are drawn at twice their size, so a dense screen gets all 28 pixels.
    EXPECT_EQ(m_page->PlayButton()->Icon().pixmap(QSize(14, 14), 2.0).size(), QSize(28, 28));
    Click(m_page->PlayButton());
    Click(m_page->LoopButton());
    ASSERT_TRUE(m_page->PlayButton()->IsOn());
    EXPECT_TRUE(same(m_page->PlayButton()->Icon(), studio_icons::kSongPlayOn));
    EXPECT_TRUE(same(m_page->LoopButton()->Icon(), studio_icons::kSongLoopOn));
    EXPECT_FALSE(same(m_page->PlayButton()->Icon(), studio_icons::kSongPlayOff));
    Click(m_page->StopButton());
    Click(m_page->LoopButton());
    EXPECT_TRUE(same(m_page->PlayButton()->Icon(), studio_icons::kSongPlayOff));
    EXPECT_TRUE(same(m_page->LoopButton()->Icon(), studio_icons::kSongLoopOff));
}

// ---- Record Song and the HD recorder ----

// What soxi says of a file for one option ("" when it failed).
std::string Soxi(const char* option, const fs::path& file) {
    const std::string command = std::string("soxi ") + option + " '" + file.string() + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    if (pclose(pipe) != 0) return "";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

bool HaveSoxi() {
    return std::system("command -v soxi >/dev/null 2>&1") == 0;
}

class RecordSongTest : public SequenceEditorTest {
protected:
    // Two HD recorder rows with files, each fed by a BassHead, into the master.
    void ArmTwoRows() {
        for (int i = 0; i < 2; ++i) {
            CMachineContainer* track = Add("QX HD Recorder Track (Stereo)", 300, 60 + 140 * i);
            ASSERT_TRUE(Studio().Connect(track->FindConnector("Line Out"),
                                         Studio().MasterFrame()->FindConnector("Line In")));
            CHDTrack* row = static_cast<CHDTrackMachine*>(track->Machine())->Row();
            m_files[i] = m_root / (i == 0 ? "first.wav" : "second.wav");
            row->ChooseFile(m_files[i].string(), i == 0 ? kWavFormatFloat : kWavFormatPcm);
            m_rows[i] = row;
        }
    }
    void ExpectValidWav(const fs::path& file, int channels, int bits, int64_t minFrames, int64_t maxFrames) {
        ASSERT_TRUE(fs::exists(file)) << file;
        EXPECT_EQ(Soxi("-t", file), "wav") << file;
        EXPECT_EQ(Soxi("-c", file), std::to_string(channels));
        EXPECT_EQ(Soxi("-r", file), "44100");
        EXPECT_EQ(Soxi("-b", file), std::to_string(bits));
        const std::string frames = Soxi("-s", file);
        ASSERT_FALSE(frames.empty()) << file;
        const int64_t count = std::stoll(frames);
        EXPECT_GE(count, minFrames) << file;
        EXPECT_LE(count, maxFrames) << file;
        // The header's data size agrees with the bytes the file holds.
        const int64_t dataBytes = count * channels * bits / 8;
        EXPECT_EQ(static_cast<int64_t>(fs::file_size(file)), 44 + dataBytes) << file;
    }

    CHDTrack* m_rows[2] = {nullptr, nullptr};
    fs::path m_files[2];
};

TEST_F(RecordSongTest, RecordSongWritesEveryArmedRowAndClosesTheFilesAtTheSongsEnd) {
    if (!HaveSoxi()) GTEST_SKIP() << "soxi is not installed (sox, tools/install-deps.sh)";
    ArmTwoRows();
    Open();
    Song().SetLength(4);
    const int64_t songSamples = Song().SongSamples();
    ASSERT_GT(songSamples, 0);
    Click(m_page->RecordButton());
    EXPECT_TRUE(m_page->RecordButton()->IsOn());
    EXPECT_TRUE(m_page->PlayButton()->IsOn());
    EXPECT_TRUE(m_rows[0]->IsRecording());
    EXPECT_TRUE(m_rows[1]->IsRecording());
    int buffers = 0;
    while (Song().IsPlaying() && buffers < 10000) {
        Render(1);
        ++buffers;
    }
    ASSERT_FALSE(Song().IsPlaying());
    EXPECT_EQ(buffers, static_cast<int>((songSamples + kBuffer - 1) / kBuffer));
    // The files close on the page's next refresh, off the driver thread.
    Tick();
    EXPECT_FALSE(m_rows[0]->IsRecording());
    EXPECT_FALSE(m_rows[1]->IsRecording());
    EXPECT_FALSE(m_page->RecordButton()->IsOn());
    EXPECT_FALSE(m_page->PlayButton()->IsOn());
    const int64_t rendered = static_cast<int64_t>(buffers) * kBuffer;
    ExpectValidWav(m_files[0], 2, 32, songSamples, rendered);
    ExpectValidWav(m_files[1], 2, 16, songSamples, rendered);
}

TEST_F(RecordSongTest, StopAndReleasingRecordSongCloseTheFilesComplete) {
    if (!HaveSoxi()) GTEST_SKIP() << "soxi is not installed (sox, tools/install-deps.sh)";
    ArmTwoRows();
    Open();
    Click(m_page->RecordButton());
    Render(10);
    Click(m_page->StopButton());
    EXPECT_FALSE(Song().IsPlaying());
    EXPECT_FALSE(m_page->RecordButton()->IsOn());
    EXPECT_FALSE(m_rows[0]->IsRecording());
    ExpectValidWav(m_files[0], 2, 32, 10 * kBuffer, 10 * kBuffer);
    ExpectValidWav(m_files[1], 2, 16, 10 * kBuffer, 10 * kBuffer);

    // Releasing the button stops the song as well; the files start anew.
    Click(m_page->RecordButton());
    Render(3);
    Click(m_page->RecordButton());
    EXPECT_FALSE(Song().IsPlaying());
    EXPECT_FALSE(m_page->PlayButton()->IsOn());
    ExpectValidWav(m_files[0], 2, 32, 3 * kBuffer, 3 * kBuffer);
    ExpectValidWav(m_files[1], 2, 16, 3 * kBuffer, 3 * kBuffer);
}

// ---- the play marker ----

TEST_F(SequenceEditorTest, MarkerAppearsAtThePositionsColumnAndRepaintsOnlyWhenItMoves) {
    AddBass();
    // A step is rate x 4 / BPM samples: at 30 BPM 5880, a beat 23520, a pixel 1680.
    Studio().SetTempo(30.0f);
    Song().SetLength(256); // room to scroll
    Open();
    EXPECT_EQ(View().MarkerColumn(), -1);
    const QPoint probe(196 + 8 * grid::kBeatPixels + 1, 6); // in the ruler, where no text is drawn
    const QRgb before = Pixel(probe);

    Click(m_page->PlayButton());
    Tick();
    EXPECT_EQ(View().MarkerColumn(), 196);
    // Eight beats are 188160 samples: 734 buffers reach 187904, two more 188416.
    Render(734);
    Tick();
    EXPECT_EQ(View().MarkerColumn(), 196 + 8 * 14 - 1);
    Render(2);
    Tick();
    EXPECT_EQ(View().MarkerColumn(), 196 + 8 * 14);
    EXPECT_NE(Pixel(probe), before); // inverted
    EXPECT_NE(Pixel(probe + QPoint(2, 0)), Pixel(probe + QPoint(3, 0)));

    // A buffer moves the song by 256 samples, less than a pixel: the model reports each move,
    // the view does not repaint until the column changes (at 189840 samples).
    const int repaints = View().MarkerRepaints();
    const int renders = View().Renders();
    for (int i = 0; i < 5; ++i) {
        Render(1);
        Tick();
    }
    EXPECT_EQ(View().MarkerColumn(), 196 + 8 * 14);
    EXPECT_EQ(View().MarkerRepaints(), repaints);
    EXPECT_EQ(View().Renders(), renders);
    Render(1);
    Tick();
    EXPECT_EQ(View().MarkerColumn(), 196 + 8 * 14 + 1);
    EXPECT_EQ(View().MarkerRepaints(), repaints + 1);
    EXPECT_EQ(View().Renders(), renders + 1);

    // Scrolled past the position, the marker is not drawn, and the view is not pulled back.
    View().ScrollTo(12, 0);
    EXPECT_EQ(View().MarkerColumn(), -1);
    Render(8);
    Tick();
    EXPECT_EQ(View().FirstBeat(), 12);
    EXPECT_EQ(View().MarkerColumn(), -1);
    View().ScrollTo(0, 0);
    Click(m_page->StopButton());
    Tick();
    EXPECT_EQ(View().MarkerColumn(), -1);
    EXPECT_EQ(Pixel(probe), before);
}

TEST_F(SequenceEditorTest, ViewFollowsThePlayingSongAPageAtATime) {
    Studio().SetTempo(960.0f); // a beat is 735 samples
    Song().SetLength(256);
    Open();
    const int32_t visible = grid::VisibleBeats(kWidth);
    ASSERT_EQ(visible, 70);
    View().ScrollTo(100, 0);
    // Play starts from the top: the view goes there.
    Click(m_page->PlayButton());
    EXPECT_EQ(View().FirstBeat(), 0);
    EXPECT_EQ(View().MarkerColumn(), 196);
    // The grid ends at pixel 1184, within beat 70; past it the view turns to the group of beat 68.
    Render(69 * 735 / kBuffer);
    Tick();
    EXPECT_EQ(View().FirstBeat(), 0);
    Render(6); // beat 71.05

    Tick();
    EXPECT_EQ(View().FirstBeat(), 68);
    EXPECT_EQ(View().HorizontalBar()->Value(), 68);
    EXPECT_GT(View().MarkerColumn(), 196);
    EXPECT_LT(View().MarkerColumn(), 196 + 4 * 14);
}

TEST_F(SequenceEditorTest, WheelScrollsRowsAndShiftWheelScrollsBeats) {
    for (int i = 0; i < 12; ++i)
        AddBass(40 + 20 * i);
    Open(kWidth, 60 + 16 + 16 + 5 * 16); // five rows show
    Song().SetLength(4096);
    Tick();
    EXPECT_EQ(View().VerticalBar()->Maximum(), 12 - 5);
    EXPECT_EQ(View().HorizontalBar()->Maximum(), 4096 - grid::VisibleBeats(kWidth));
    auto wheel = [&](QPoint delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(300, 40), QPointF(300, 40), QPoint(), delta, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(View().Widget(), &event);
    };
    wheel(QPoint(0, -120), Qt::NoModifier);
    EXPECT_EQ(View().FirstRow(), 3);
    EXPECT_EQ(View().VerticalBar()->Value(), 3);
    wheel(QPoint(0, -480), Qt::NoModifier);
    EXPECT_EQ(View().FirstRow(), 7); // held at the end
    wheel(QPoint(0, -240), Qt::ShiftModifier);
    EXPECT_EQ(View().FirstBeat(), 8);
    EXPECT_EQ(View().FirstRow(), 7);
    EXPECT_EQ(View().HorizontalBar()->Value(), 8);
    wheel(QPoint(0, 480), Qt::ShiftModifier);
    EXPECT_EQ(View().FirstBeat(), 0);

    // A press lands on the cell as scrolled: the second visible row is row 8.
    CPort* port = Song().Song().GetTrack(8)->port;
    Patterns().CreatePattern(port, 4, "Low");
    View().ScrollTo(100, 7);
    SelectRow(8);
    EXPECT_EQ(Song().SelectedRow(), 8);
    Press(Cell(8, 102, 7, 100));
    EXPECT_EQ(Starts(8), std::vector<int32_t>{102});
    // The scroll bar's thumb, dragged by the user, scrolls the view.
    View().HorizontalBar()->Bar()->setValue(40);
    EXPECT_EQ(View().FirstBeat(), 40);
}

TEST_F(SequenceEditorTest, ScreenshotOfTheDemoSongWithItsMarkerMidSong) {
    m_application->Project().Open(Demo());
    Open(kWidth, 360);
    ASSERT_GT(Song().Song().TrackCount(), 0);
    ASSERT_GT(Song().Song().EntryCount(), 0);
    SelectRow(0);
    Click(m_page->PlayButton());
    // Halfway through the song, quickly: at a fast tempo, then back (the place in the song stays).
    const float tempo = Studio().Host()->GetBPM();
    Studio().SetTempo(1000.0f);
    Render(static_cast<int>(Song().SongSamples() / 2 / kBuffer));
    Studio().SetTempo(tempo);
    Render(1);
    Tick();
    EXPECT_NEAR(Song().DisplayPosition(), Song().Length() * 4 / 2.0f, 4.0f);
    EXPECT_GT(View().MarkerColumn(), 196);
    m_stage.Settle();
    gui_test::Screenshot(m_window->Widget(), "sequence_editor_demo");
    Click(m_page->StopButton());
}

// ---- in the main window ----

class MainWindowSequenceTest : public SequenceEditorTest {
protected:
    void OpenMain() {
        m_recent = std::make_unique<CRecentProjects>(m_root / "recent.txt");
        m_main = std::make_unique<main_window::CMainWindow>(WindowModels(*m_application, m_recent.get()));
        m_main->Build(1280, 700);
        m_main->Open(false);
        m_stage.Settle();
    }
    void TearDown() override {
        m_main.reset();
        SequenceEditorTest::TearDown();
    }
    std::unique_ptr<CRecentProjects> m_recent;
    std::unique_ptr<main_window::CMainWindow> m_main;
};

TEST_F(MainWindowSequenceTest, TheSequenceEditorPageEditsThroughTheWindowsHistory) {
    CPort* port = AddBass();
    Patterns().CreatePattern(port, 4, "Main");
    OpenMain();
    CSequenceEditorPage* page = m_main->SequenceEditor();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(m_main->PageControl(main_window::CMainWindow::kSequenceEditor), page);
    m_main->ShowPage(main_window::CMainWindow::kSequenceEditor);
    m_stage.Settle();
    EXPECT_TRUE(page->IsVisible());
    QWidget* view = page->View()->Widget();
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(40, grid::RowY(0, 0) + 8));
    QTest::mouseClick(view, Qt::LeftButton, {}, Cell(0, 4));
    EXPECT_EQ(Starts(0), std::vector<int32_t>{4});
    EXPECT_EQ(m_main->UndoHistory().UndoText(), "Undo Place Pattern");
    ASSERT_TRUE(m_main->UndoHistory().Undo());
    EXPECT_TRUE(Starts(0).empty());
    // The window's own timer keeps the page's display going: Space plays, the marker shows.
    QTest::keyClick(m_main->Widget(), Qt::Key_Space);
    EXPECT_TRUE(Song().IsPlaying());
    m_stage.clock.Advance(main_window::CMainWindow::kTickMs);
    EXPECT_TRUE(page->PlayButton()->IsOn());
    EXPECT_EQ(page->View()->MarkerColumn(), 196);
}

TEST_F(MainWindowSequenceTest, AProjectOpenedShowsOnTheSongPage) {
    OpenMain();
    CSequenceEditorPage* page = m_main->SequenceEditor();
    ASSERT_NE(page, nullptr);
    m_stage.dialogs.openFiles.push_back(QString::fromStdString(Demo().string()));
    m_main->OpenProject();
    m_stage.clock.Advance(sequence_editor::kRefreshIntervalMs);
    EXPECT_EQ(page->LengthField()->Value(), 196);
    EXPECT_EQ(page->View()->VerticalBar()->Maximum(), 0); // four rows fit
    EXPECT_GT(page->View()->HorizontalBar()->Maximum(), 0);
    m_main->ShowPage(main_window::CMainWindow::kSequenceEditor);
    m_stage.Settle();
    QTest::mouseClick(page->View()->Widget(), Qt::LeftButton, {}, QPoint(40, grid::RowY(0, 0) + 8));
    EXPECT_GT(page->PatternBox()->Count(), 0);
}

TEST_F(MainWindowSequenceTest, ToolsMenuOpensTheBankExplorerOverTheHostsBanks) {
    OpenMain();
    EXPECT_EQ(m_main->BankExplorerWindow(), nullptr);
    QAction* entry = m_main->MenuAction("Bank Explorer...");
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    bank_explorer::CBankExplorerWindow* window = m_main->BankExplorerWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->IsVisible());
    EXPECT_EQ(window->Title(), "Bank Explorer");
    EXPECT_EQ(window->Explorer().Width(), window->Width());
    // Opened again, it is the same window.
    entry->trigger();
    EXPECT_EQ(m_main->BankExplorerWindow(), window);

    const char* const timgm = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (!fs::exists(timgm)) GTEST_SKIP() << timgm << " is not installed (tools/install-deps.sh)";
    m_stage.dialogs.openFiles.push_back(timgm);
    QTest::mouseClick(window->Explorer().ToolBar()->Button(0)->Widget(), Qt::LeftButton, {}, QPoint(8, 8));
    m_stage.Settle();
    ASSERT_EQ(window->Explorer().Banks()->Count(), 1);
    EXPECT_EQ(window->Explorer().Banks()->EntryText(0), "TimGM6mb1.sf2");
    EXPECT_GT(window->Explorer().Presets()->Count(), 100);
    // The explorer works on the host's own server: the bank is there for every machine.
    CHostBankServer* server = nullptr;
    ASSERT_EQ(Studio().Host()->GetBankServer(&server), 0);
    EXPECT_EQ(server->BankCount(), 1);
    window->Explorer().Presets()->SetSelection(0);
    m_stage.Settle();
    gui_test::Screenshot(window->Widget(), "bank_explorer_timgm6mb");
}

} // namespace
