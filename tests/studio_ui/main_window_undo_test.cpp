// Undo and redo in the real main window over the demo song: every kind of edit the studio
// surface, the tempo field and the project text make goes through the history, Ctrl+Z and
// Ctrl+Shift+Z walk it back and forth to the exact project bytes, the Edit menu names the steps
// and greys what cannot be done, and the title's mark follows the history.
#include "app/application.h"
#include "app/window_models.h"
#include "engine/connector.h"
#include "engine/machine_container.h"
#include "engine/studio.h"
#include "gui/up_down.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "studio_ui/main_window/main_window.h"
#include "studio_ui/project_info/project_info_page.h"
#include "studio_ui/studio_view/connector_view.h"
#include "studio_ui/studio_view/machine_frame.h"
#include "studio_ui/studio_view/studio_view.h"
#include "tests/gui/gui_test_support.h"
#include "tests/studio_ui/studio_test_support.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using main_window::CMainWindow;
using studio_view::CMachineFrame;

class MainWindowUndoTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = studio_test::FreshTestFolder("main-window-undo-");
        CApplication::Settings settings = studio_test::OfflineSettings(m_messages);
        m_application = std::make_unique<CApplication>(settings);
        m_recent = std::make_unique<CRecentProjects>(m_root / "recent.txt");

        m_window = std::make_unique<CMainWindow>(WindowModels(*m_application, m_recent.get()));
        m_window->Build(1280, 760);
        m_window->Open(false);
        // The menu's shortcuts answer only in the active window.
        QApplication::setActiveWindow(m_window->Widget());
        m_stage.Settle();
    }
    void TearDown() override {
        m_window.reset();
        m_application.reset();
        fs::remove_all(m_root);
    }

    CStudio& Studio() { return *m_application->Studio(); }
    CProject& Project() { return m_application->Project(); }
    studio_view::CStudioView& View() { return m_window->StudioView(); }
    std::string Title() { return m_window->Title().toStdString(); }
    bool Marked() { return Title().find('*') != std::string::npos; }
    std::vector<QString> Asked(const QString& kind) {
        std::vector<QString> found;
        for (const QString& question : m_stage.dialogs.asked)
            if (question.startsWith(kind)) found.push_back(question);
        return found;
    }

    void OpenDemo() {
        m_stage.dialogs.openFiles.push_back(QString::fromStdString(
            (fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp").string()));
        QTest::keyClick(m_window->Widget(), Qt::Key_O, Qt::ControlModifier);
        m_stage.Settle();
        ASSERT_TRUE(Asked("error").empty());
        ASSERT_FALSE(Project().Path().empty());
    }
    // Ctrl+Z / Ctrl+Shift+Z on whatever has the keyboard focus in the window.
    QWidget* KeyTarget() {
        QWidget* focus = QApplication::focusWidget();
        return focus ? focus : m_window->Widget();
    }
    void PressUndo() {
        QTest::keyClick(KeyTarget(), Qt::Key_Z, Qt::ControlModifier);
        m_stage.Settle();
    }
    void PressRedo() {
        QTest::keyClick(KeyTarget(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        m_stage.Settle();
    }
    // The window takes the keys back, as a press on the empty surface does.
    void FocusWindow() {
        m_window->Widget()->setFocus();
        m_stage.Settle();
    }
    // A point of the surface with room for a new frame and its move that no frame covers, in view
    // coordinates (cables may cross it).
    QPoint EmptySpot() {
        QWidget* surface = View().Widget();
        for (int y = 40; y < surface->height() - 120; y += 10)
            for (int x = 40; x < surface->width() - 200; x += 10) {
                const QRect room(x - 40, y - 10, 220, 120);
                bool free = true;
                for (const auto& frame : View().Frames())
                    if (room.intersects(frame->Widget()->geometry())) free = false;
                if (free) return {x, y};
            }
        ADD_FAILURE() << "no free place on the surface";
        return {};
    }
    int AddableIndex(const char* displayName) {
        const auto types = m_application->Registry()->AddableMachines();
        for (size_t i = 0; i < types.size(); ++i)
            if (std::string(types[i]->m_displayName) == displayName) return static_cast<int>(i);
        ADD_FAILURE() << displayName;
        return 0;
    }
    // The frame's first connector of an audio port in that direction.
    studio_view::CConnectorView* AudioConnector(CMachineContainer* container, bool input) {
        CMachineFrame* frame = View().FrameOf(container);
        for (int32_t c = 0; c < container->ConnectorCount(); ++c) {
            const CPort* port = container->Connector(c)->m_port;
            if (port->IsAudio() && (input ? port->IsInput() : port->IsOutput()))
                return frame->ViewOf(container->Connector(c));
        }
        return nullptr;
    }
    // A press, moves in steps and a release, from one widget's point to a surface point.
    void Drag(QWidget* widget, QPoint from, QPoint toOnSurface, int steps = 4) {
        QWidget* surface = View().Widget();
        QTest::mousePress(widget, Qt::LeftButton, {}, from);
        const QPoint start = widget->mapTo(surface, from);
        for (int i = 1; i <= steps; ++i)
            QTest::mouseMove(widget, widget->mapFrom(surface, start + (toOnSurface - start) * i / steps));
        QTest::mouseRelease(widget, Qt::LeftButton, {}, widget->mapFrom(surface, toOnSurface));
        m_stage.Settle();
    }
    void TypeTempo(const QString& text) {
        QDoubleSpinBox* spin = m_window->TempoField().SpinBox();
        spin->setFocus();
        m_stage.Settle();
        QLineEdit* line = spin->findChild<QLineEdit*>();
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, Qt::Key_Return);
    }
    void TypeProjectText(const QString& text) {
        m_window->ShowPage(CMainWindow::kProjectInfo);
        QPlainTextEdit* editor = m_window->ProjectInfo().Editor();
        editor->setFocus();
        m_stage.Settle();
        QTest::keyClicks(editor, text);
        m_stage.Settle();
    }
    // Every frame window stands where its machine does.
    void ExpectFramesFollowTheStudio() {
        ASSERT_EQ(View().Frames().size(), Studio().Frames().size());
        for (CMachineContainer* container : Studio().Frames()) {
            CMachineFrame* frame = View().FrameOf(container);
            ASSERT_NE(frame, nullptr) << container->Name();
            EXPECT_EQ(frame->X(), container->m_x - View().ScrollOffset().x()) << container->Name();
            EXPECT_EQ(frame->Y(), container->m_y - View().ScrollOffset().y()) << container->Name();
        }
    }

    gui_test::Stage m_stage;
    fs::path m_root;
    std::ostringstream m_messages;
    std::unique_ptr<CApplication> m_application;
    std::unique_ptr<CRecentProjects> m_recent;
    std::unique_ptr<CMainWindow> m_window;
};

TEST_F(MainWindowUndoTest, EveryKindOfEditOnTheDemoSongUndoesToTheStartAndRedoesToTheEnd) {
    OpenDemo();
    const std::vector<uint8_t> start = Project().Bytes();
    CUndoStack& history = m_window->UndoHistory();
    std::vector<std::string> steps;
    auto expectStep = [&](const char* text) {
        steps.push_back(text);
        EXPECT_EQ(history.Index(), steps.size()) << text;
        EXPECT_EQ(m_window->UndoAction()->text().toStdString(), std::string("Undo ") + text);
    };

    // Add a machine from the surface's menu at an empty place.
    const QPoint spot = EmptySpot();
    m_stage.dialogs.menuChoices = {AddableIndex("QX Stomp")};
    QTest::mouseClick(View().Widget(), Qt::RightButton, {}, spot);
    m_stage.Settle();
    CMachineContainer* added = Studio().Frames().back();
    ASSERT_EQ(added->Info()->m_displayName, std::string("QX Stomp"));
    expectStep("Add Machine");

    // Move it by its title: a drag of several steps is one step of the history.
    CMachineFrame* frame = View().FrameOf(added);
    ASSERT_NE(frame, nullptr);
    const QPoint title = frame->TitleArea().center();
    Drag(frame->Widget(), title, frame->Widget()->mapTo(View().Widget(), title) + QPoint(-30, 24), 5);
    EXPECT_EQ(added->m_x, spot.x() + View().ScrollOffset().x() - 30);
    EXPECT_EQ(added->m_y, spot.y() + View().ScrollOffset().y() + 24);
    expectStep("Move Machine");

    // Cable it into the master by a drag from its output.
    studio_view::CConnectorView* output = AudioConnector(added, false);
    studio_view::CConnectorView* masterIn = AudioConnector(Studio().MasterFrame(), true);
    ASSERT_TRUE(output && masterIn);
    const int masterCables = masterIn->Connector()->m_connections.Count();
    Drag(output->Widget(), QPoint(10, 6),
         masterIn->Widget()->mapTo(View().Widget(), QPoint(masterIn->Width() / 2, masterIn->Height() / 2)));
    ASSERT_EQ(masterIn->Connector()->m_connections.Count(), masterCables + 1);
    CConnection* cable = masterIn->Connector()->m_connections[masterCables];
    expectStep("Connect");

    // Its volume through the pop-up: down and up again, one step.
    std::optional<studio_view::DrawnCable> drawn;
    for (const auto& candidate : View().Cables())
        if (candidate.connection == cable) drawn = candidate;
    ASSERT_TRUE(drawn);
    const QPoint arrow(surface::Centroid(drawn->arrow).x, surface::Centroid(drawn->arrow).y);
    QTest::mousePress(View().Widget(), Qt::LeftButton, {}, arrow);
    ASSERT_NE(View().VolumeSlider(), nullptr);
    QTest::mouseMove(View().Widget(), arrow + QPoint(0, 60));
    QTest::mouseMove(View().Widget(), arrow + QPoint(0, 30));
    QTest::mouseRelease(View().Widget(), Qt::LeftButton, {}, arrow + QPoint(0, 30));
    EXPECT_LT(cable->TargetVolume(), 1.0f);
    expectStep("Cable Volume");

    // Disconnect one of the demo song's own cables from its menu.
    std::optional<studio_view::DrawnCable> demoCable;
    for (const auto& candidate : View().Cables())
        if (candidate.connection != cable) demoCable = candidate;
    ASSERT_TRUE(demoCable);
    const size_t cablesBefore = View().Cables().size();
    const QPoint on((demoCable->segment.from.x * 3 + demoCable->segment.to.x) / 4,
                    (demoCable->segment.from.y * 3 + demoCable->segment.to.y) / 4);
    m_stage.dialogs.menuChoices = {0};
    QTest::mouseClick(View().Widget(), Qt::RightButton, {}, on);
    m_stage.Settle();
    EXPECT_EQ(View().Cables().size(), cablesBefore - 1);
    expectStep("Disconnect");

    // Rename a demo machine through its frame's menu.
    CMachineContainer* renamed = nullptr;
    CMachineContainer* doomed = nullptr;
    for (CMachineContainer* container : Studio().Frames()) {
        if (container == Studio().MasterFrame() || container == added) continue;
        if (!renamed)
            renamed = container;
        else if (!doomed && container->ConnectorCount() > 0)
            doomed = container;
    }
    ASSERT_TRUE(renamed && doomed);
    const std::string oldName = renamed->Name();
    CMachineFrame* renamedFrame = View().FrameOf(renamed);
    m_stage.dialogs.menuChoices = {studio_view::kMenuRename};
    m_stage.dialogs.texts = {QString("Lead Line")};
    QTest::mouseClick(renamedFrame->Widget(), Qt::LeftButton, {}, renamedFrame->MenuButtonArea().center());
    m_stage.Settle();
    EXPECT_EQ(renamed->Name(), "Lead Line");
    expectStep("Rename Machine");

    // Delete another with the Delete key after a click on its title.
    const std::string doomedName = doomed->Name();
    CMachineFrame* doomedFrame = View().FrameOf(doomed);
    QTest::mouseClick(doomedFrame->Widget(), Qt::LeftButton, {}, doomedFrame->TitleArea().center());
    QTest::keyClick(m_window->Widget(), Qt::Key_Delete);
    m_stage.Settle();
    EXPECT_EQ(Studio().FindFrame(doomedName.c_str()), nullptr);
    expectStep("Delete Machine");

    // The tempo: typed, then stepped twice with the arrow key, all one step while the field has
    // the keys.
    TypeTempo("90");
    QTest::keyClick(m_window->TempoField().SpinBox(), Qt::Key_Up);
    QTest::keyClick(m_window->TempoField().SpinBox(), Qt::Key_Up);
    EXPECT_EQ(Studio().Host()->GetBPM(), 92.0f);
    FocusWindow();
    expectStep("Tempo");

    // The project text: typing (after the demo's own text) is one step.
    const std::string demoText = Project().Info();
    TypeProjectText(" Bass through the delay.");
    const std::string endText = demoText + " Bass through the delay.";
    EXPECT_EQ(Project().Info(), endText);
    FocusWindow();
    expectStep("Edit Project Info");
    m_window->ShowPage(CMainWindow::kStudio);
    m_stage.Settle();

    const std::vector<uint8_t> end = Project().Bytes();
    ASSERT_NE(end, start);
    EXPECT_TRUE(Marked());

    for (size_t i = 0; i < steps.size(); ++i) PressUndo();
    EXPECT_TRUE(Asked("error").empty()) << Asked("error").front().toStdString();
    EXPECT_FALSE(history.CanUndo());
    EXPECT_EQ(Project().Bytes(), start);
    EXPECT_FALSE(Marked()) << Title(); // the project equals its file again
    EXPECT_NE(Studio().FindFrame(oldName.c_str()), nullptr);
    EXPECT_EQ(Studio().FindFrame("Lead Line"), nullptr);
    EXPECT_NE(Studio().FindFrame(doomedName.c_str()), nullptr);
    EXPECT_EQ(Studio().Host()->GetBPM(), 32.0f);
    EXPECT_EQ(m_window->TempoField().Value(), 32);
    EXPECT_EQ(Project().Info(), demoText);
    EXPECT_EQ(m_window->ProjectInfo().Editor()->toPlainText().toStdString(), demoText);
    ExpectFramesFollowTheStudio();
    gui_test::Screenshot(m_window->Widget(), "main_window_undone");

    for (size_t i = 0; i < steps.size(); ++i) PressRedo();
    EXPECT_TRUE(Asked("error").empty());
    EXPECT_FALSE(history.CanRedo());
    EXPECT_EQ(Project().Bytes(), end);
    EXPECT_TRUE(Marked());
    EXPECT_EQ(m_window->TempoField().Value(), 92);
    EXPECT_EQ(m_window->ProjectInfo().Editor()->toPlainText().toStdString(), endText);
    EXPECT_NE(Studio().FindFrame("Lead Line"), nullptr);
    EXPECT_EQ(Studio().FindFrame(doomedName.c_str()), nullptr);
    ExpectFramesFollowTheStudio();
    gui_test::Screenshot(m_window->Widget(), "main_window_redone");
}

TEST_F(MainWindowUndoTest, TheEditMenuNamesTheStepsGreysWhatCannotBeDoneAndNewForgetsTheHistory) {
    // "Edit" follows "File" in the menu bar.
    const QList<QAction*> menus = m_window->MenuBar()->actions();
    ASSERT_GE(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Edit");
    EXPECT_EQ(menus[1]->menu()->actions(), (QList<QAction*>{m_window->UndoAction(), m_window->RedoAction()}));
    EXPECT_EQ(m_window->UndoAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(m_window->RedoAction()->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}));

    auto expectMenu = [&](const char* undo, bool canUndo, const char* redo, bool canRedo) {
        EXPECT_EQ(m_window->UndoAction()->text().toStdString(), undo);
        EXPECT_EQ(m_window->UndoAction()->isEnabled(), canUndo) << undo;
        EXPECT_EQ(m_window->RedoAction()->text().toStdString(), redo);
        EXPECT_EQ(m_window->RedoAction()->isEnabled(), canRedo) << redo;
    };
    expectMenu("Undo", false, "Redo", false);
    // Greyed entries and their keys do nothing.
    PressUndo();
    PressRedo();
    expectMenu("Undo", false, "Redo", false);

    const float before = Studio().Host()->GetBPM();
    TypeTempo("100");
    FocusWindow();
    expectMenu("Undo Tempo", true, "Redo", false);
    m_window->UndoAction()->trigger(); // chosen from the menu
    EXPECT_EQ(Studio().Host()->GetBPM(), before);
    EXPECT_EQ(m_window->TempoField().Value(), std::round(before));
    expectMenu("Undo", false, "Redo Tempo", true);
    QTest::keyClick(m_window->Widget(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Studio().Host()->GetBPM(), 100.0f);
    expectMenu("Undo Tempo", true, "Redo", false);

    // The open menu, for people to look at: one entry named, one greyed.
    QMenu* edit = menus[1]->menu();
    edit->popup(m_window->MenuBar()->mapToGlobal(m_window->MenuBar()->actionGeometry(menus[1]).bottomLeft()));
    m_stage.Settle();
    gui_test::Screenshot(edit, "main_window_edit_menu");
    edit->close();
    m_stage.Settle();

    // A new project starts with an empty history.
    m_stage.dialogs.answers.push_back(gui::MessageAnswer::kNo);
    m_window->NewProject();
    EXPECT_EQ(Asked("question").size(), 1u);
    expectMenu("Undo", false, "Redo", false);
    EXPECT_EQ(m_window->UndoHistory().Count(), 0u);
}

TEST_F(MainWindowUndoTest, AnEditAndItsUndoLeaveNoMarkAndNoQuestionWhileTheSavedStepCounts) {
    // An added machine, taken back: the project is as new.
    m_stage.dialogs.menuChoices = {AddableIndex("QX Stomp")};
    QTest::mouseClick(View().Widget(), Qt::RightButton, {}, QPoint(300, 300));
    m_stage.Settle();
    EXPECT_TRUE(Marked()) << Title();
    PressUndo();
    EXPECT_FALSE(Marked()) << Title();
    m_window->NewProject();
    EXPECT_TRUE(Asked("question").empty());

    // Saved after an edit: the saved step is the unchanged one, before and after it are not.
    ASSERT_NE(Studio().Host()->GetBPM(), 150.0f);
    TypeTempo("150");
    FocusWindow();
    m_stage.dialogs.saveFiles.push_back(QString::fromStdString((m_root / "song").string()));
    m_window->SaveProjectAs();
    ASSERT_TRUE(fs::exists(m_root / "song.tbp"));
    EXPECT_FALSE(Marked()) << Title();
    PressUndo();
    EXPECT_TRUE(Marked()) << Title(); // differs from the file
    m_stage.dialogs.answers.push_back(gui::MessageAnswer::kCancel);
    m_window->NewProject();
    EXPECT_EQ(Asked("question").size(), 1u);
    PressRedo();
    EXPECT_FALSE(Marked()) << Title();
    m_window->NewProject();
    EXPECT_EQ(Asked("question").size(), 1u); // no second question: the file holds the project
}

TEST_F(MainWindowUndoTest, TypingInAFieldMergesUntilItLosesTheKeysAndCtrlZThereUndoesTheProjectStep) {
    CUndoStack& history = m_window->UndoHistory();
    TypeProjectText("First idea");
    EXPECT_EQ(history.Index(), 1u);
    // Ctrl+Z in the text box takes back the history's step, not the box's own typing.
    ASSERT_EQ(QApplication::focusWidget(), m_window->ProjectInfo().Editor());
    PressUndo();
    EXPECT_EQ(Project().Info(), "");
    EXPECT_EQ(m_window->ProjectInfo().Editor()->toPlainText(), "");
    EXPECT_EQ(history.Index(), 0u);
    EXPECT_EQ(m_window->RedoAction()->text(), "Redo Edit Project Info");
    PressRedo();
    EXPECT_EQ(m_window->ProjectInfo().Editor()->toPlainText(), "First idea");

    // Typed again, left, typed once more: two steps.
    TypeProjectText(", second");
    FocusWindow();
    TypeProjectText(", third");
    FocusWindow();
    EXPECT_EQ(Project().Info(), "First idea, second, third");
    EXPECT_EQ(history.Index(), 3u);
    PressUndo();
    EXPECT_EQ(Project().Info(), "First idea, second");

    // The tempo field: a typed value and arrow steps are one step, as are its keys there.
    const float before = Studio().Host()->GetBPM();
    TypeTempo("90");
    QTest::keyClick(m_window->TempoField().SpinBox(), Qt::Key_Down);
    EXPECT_EQ(Studio().Host()->GetBPM(), 89.0f);
    EXPECT_EQ(history.Index(), 3u);
    PressUndo(); // in the field
    EXPECT_EQ(Studio().Host()->GetBPM(), before);
    EXPECT_EQ(m_window->TempoField().Value(), std::round(before));
}

TEST_F(MainWindowUndoTest, EditsThatChangeNothingOrAreRefusedLeaveNoStep) {
    CMachineContainer* first = Studio().AddMachine(m_application->Registry()->FindByName("QX Stomp"), 60, 60);
    CMachineContainer* second = Studio().AddMachine(m_application->Registry()->FindByName("QX Stomp"), 60, 260);
    m_stage.Settle();
    CUndoStack& history = m_window->UndoHistory();

    // A frame dragged away and back to where it started.
    CMachineFrame* frame = View().FrameOf(first);
    const QPoint title = frame->TitleArea().center();
    const QPoint home = frame->Widget()->mapTo(View().Widget(), title);
    QTest::mousePress(frame->Widget(), Qt::LeftButton, {}, title);
    QTest::mouseMove(frame->Widget(), title + QPoint(50, 20));
    QTest::mouseMove(frame->Widget(), frame->Widget()->mapFrom(View().Widget(), home));
    QTest::mouseRelease(frame->Widget(), Qt::LeftButton, {}, frame->Widget()->mapFrom(View().Widget(), home));
    m_stage.Settle();
    EXPECT_EQ(first->m_x, 60);
    EXPECT_EQ(history.Count(), 0u);

    // Output to output: the graph refuses the cable.
    Drag(AudioConnector(first, false)->Widget(), QPoint(10, 6),
         AudioConnector(second, false)->Widget()->mapTo(View().Widget(), QPoint(20, 6)));
    EXPECT_EQ(history.Count(), 0u);

    // A name another machine has: the error box, and both keep their names.
    const std::string firstName = first->Name();
    const std::string secondName = second->Name();
    CMachineFrame* secondFrame = View().FrameOf(second);
    m_stage.dialogs.menuChoices = {studio_view::kMenuRename};
    m_stage.dialogs.texts = {QString::fromStdString(firstName)};
    QTest::mouseClick(secondFrame->Widget(), Qt::LeftButton, {}, secondFrame->MenuButtonArea().center());
    m_stage.Settle();
    ASSERT_EQ(Asked("error").size(), 1u);
    EXPECT_EQ(Asked("error").front().toStdString(), "error: Machine '" + firstName + "' Already Exists");
    EXPECT_EQ(second->Name(), secondName);
    EXPECT_EQ(history.Count(), 0u);
    EXPECT_FALSE(m_window->UndoAction()->isEnabled());
}

TEST_F(MainWindowUndoTest, AnUndoThatCannotFindWhatItNamesShowsTheErrorAndKeepsItsPlace) {
    m_stage.dialogs.menuChoices = {AddableIndex("QX Stomp")};
    QTest::mouseClick(View().Widget(), Qt::RightButton, {}, QPoint(300, 300));
    m_stage.Settle();
    CMachineContainer* added = Studio().Frames().back();
    const std::string name = added->Name();
    ASSERT_EQ(m_window->UndoHistory().Index(), 1u);
    // Renamed around the history (as a machine's own panel could): the step no longer finds it.
    Studio().Rename(added, "Elsewhere");
    PressUndo();
    const auto errors = Asked("error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors.front().toStdString(), "error: Machine '" + name + "' Not Found");
    EXPECT_EQ(m_window->UndoHistory().Index(), 1u);
    EXPECT_EQ(m_window->UndoAction()->text(), "Undo Add Machine");
    EXPECT_EQ(Studio().FindFrame("Elsewhere"), added);
    EXPECT_TRUE(Marked());
}

} // namespace
