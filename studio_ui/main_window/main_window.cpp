#include "studio_ui/main_window/main_window.h"

#include "audio_out/audio_output_driver.h"
#include "audio_out/driver_manager.h"
#include "engine/machine_container.h"
#include "engine/studio.h"
#include "engine/volume.h"
#include "gui/color_manager.h"
#include "gui/dialog_service.h"
#include "gui/peak_meter.h"
#include "gui/slider.h"
#include "gui/tab_control.h"
#include "gui/ui_clock.h"
#include "gui/up_down.h"
#include "host_machines/hd_recorder/hd_track.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/sequencer.h"
#include "studio_ui/bank_explorer/bank_explorer_window.h"
#include "studio_ui/hd_recorder/hd_recorder_view.h"
#include "studio_ui/pattern_editor/pattern_editor_page.h"
#include "studio_ui/main_window/tool_bar_icons.h"
#include "studio_ui/project_info/project_info_page.h"
#include "studio_ui/sequence_editor/sequence_editor_page.h"
#include "studio_ui/studio_view/machine_frame.h"
#include "studio_ui/studio_view/studio_view.h"
#include "studio_ui/undo/undo_commands.h"
#include "studio_ui/undo_view/typing_gesture.h"

#include <QApplication>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPalette>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <exception>

namespace main_window {

namespace {

constexpr const char* kProjectFilter = "Tamborel Project (*.tbp)";
// The timer looks after the output driver every this many ticks (a few times a second).
constexpr int kWatchEveryTicks = 10;

QString FromPath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

} // namespace

// ---- the tool bar's own controls ----

void CClipLamp::CreateLamp(gui::CControl* parent, int x, int y, int size, std::function<void()> clicked) {
    Create(parent, "ClipLight", x, y, size, size, true);
    m_clicked = std::move(clicked);
    Widget()->setToolTip(QStringLiteral("Clip (click to clear)"));
}

void CClipLamp::SetLit(bool lit) {
    if (lit == m_lit) return;
    m_lit = lit;
    Refresh();
}

void CClipLamp::LeftButtonUp(int x, int y) {
    if (x >= 0 && y >= 0 && x < Width() && y < Height() && m_clicked) m_clicked();
}

void CClipLamp::Render(QPainter& painter) {
    painter.fillRect(0, 0, Width(), Height(), Colors().Brush(BackgroundSlot()));
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QColor(60, 60, 60));
    painter.setBrush(m_lit ? QColor(235, 40, 40) : QColor(90, 30, 30));
    painter.drawEllipse(QRectF(1.5, 1.5, Width() - 3.0, Height() - 3.0));
}

void CClickableLabel::LeftButtonUp(int x, int y) {
    if (x >= 0 && y >= 0 && x < Width() && y < Height() && m_clicked) m_clicked();
}

void CMainToolBar::ChildChanged(gui::CControl* child) {
    if (Parent()) Parent()->ChildChanged(child);
}

// ---- the document's questions, answered with the dialog service ----

class CMainWindow::CQuestions : public CDocumentQuestions {
public:
    explicit CQuestions(CMainWindow& window) : m_window(window) {}

    Answer AskSaveChanges(const std::string& projectName) override {
        const QString text = QString("Save changes to '%1'?").arg(QString::fromStdString(projectName));
        switch (gui::Dialogs().Message(Parent(), gui::MessageKind::kQuestion, text)) {
        case gui::MessageAnswer::kYes:
            return Answer::Yes;
        case gui::MessageAnswer::kNo:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }
    std::optional<std::filesystem::path> AskOpenPath() override {
        const auto& current = m_window.m_models.project;
        const QString folder = current && !current->Path().empty() ? FromPath(current->Path().parent_path()) : "";
        const auto chosen = gui::Dialogs().OpenFile(Parent(), "Open Project", kProjectFilter, folder);
        if (!chosen || chosen->isEmpty()) return std::nullopt;
        return std::filesystem::path(chosen->toStdString());
    }
    std::optional<std::filesystem::path> AskSavePath(const std::filesystem::path& suggestion) override {
        const auto chosen = gui::Dialogs().SaveFile(Parent(), "Save Project As", kProjectFilter, FromPath(suggestion));
        if (!chosen || chosen->isEmpty()) return std::nullopt;
        std::filesystem::path path(chosen->toStdString());
        // A name typed without a type gets the project's.
        if (!path.has_extension()) path += ".tbp";
        return path;
    }
    bool AskRecover(const std::filesystem::path& recoveryFile, std::chrono::system_clock::time_point savedAt) override {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(savedAt.time_since_epoch()).count();
        const QString when = QDateTime::fromSecsSinceEpoch(seconds).toString("yyyy-MM-dd hh:mm:ss");
        const QString text = QString("Edits that were never saved were kept in '%1' at %2.\n\nRecover them?")
                                 .arg(FromPath(recoveryFile), when);
        return gui::Dialogs().Message(Parent(), gui::MessageKind::kQuestion, text) == gui::MessageAnswer::kYes;
    }
    void ShowError(const std::string& text) override { gui::ShowError(Parent(), QString::fromStdString(text)); }

private:
    QWidget* Parent() const { return m_window.Widget(); }
    CMainWindow& m_window;
};

// ---- which machine frame was clicked last ----

class CMainWindow::CClickWatcher : public QObject {
public:
    explicit CClickWatcher(CMainWindow& window) : m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
            // A press travels up the parents when a widget leaves it; only its first stop counts.
            const auto* press = static_cast<QMouseEvent*>(event);
            if (event != m_lastEvent || press->timestamp() != m_lastTime) {
                m_lastEvent = event;
                m_lastTime = press->timestamp();
                m_window.NoticePress(static_cast<QWidget*>(watched));
            }
        }
        return false;
    }

private:
    CMainWindow& m_window;
    const QEvent* m_lastEvent = nullptr;
    quint64 m_lastTime = 0;
};

// ---- the window ----

CMainWindow::CMainWindow(Models models) : m_models(std::move(models)) {
    m_questions = std::make_unique<CQuestions>(*this);
    m_document = std::make_unique<CProjectDocument>(*m_models.project, *m_questions, *m_models.recent);
    if (m_models.sequencer)
        m_undoContext.emplace(UndoContext{*m_models.studio, *m_models.sequencer, *m_models.project});
    m_document->SetHistory(&m_undo);
}

CMainWindow::~CMainWindow() {
    if (m_clickWatcher && qApp) qApp->removeEventFilter(m_clickWatcher.get());
    m_timer.reset();
    m_undo.SetChangedCallback({});
    m_document->SetHistory(nullptr);
    m_tempoTyping.reset();
    m_models.studio->Observer().RemoveListener(this);
    // The pages go before the window's widget takes their widgets with it.
    m_optionsDialog.reset();
    m_projectInfo.reset();
    m_bankExplorer.reset();
    m_sequenceEditor.reset();
    m_hdRecorder.reset();
    m_patternEditor.reset();
    m_studioView.reset();
}

void CMainWindow::Build(int width, int height) {
    CreateWindow(nullptr, "Tamborel Studio", 0, 0, width, height, false);
    BuildMenu();
    BuildToolBar();
    BuildPages();
    m_undo.SetChangedCallback([this] { HistoryChanged(); });
    UpdateEditMenu();
    m_models.studio->Observer().AddListener(this);
    m_clickWatcher = std::make_unique<CClickWatcher>(*this);
    qApp->installEventFilter(m_clickWatcher.get());
    ShowTempo();
    m_volume->SetValue(volume::MasterVolumeToSlider(m_models.studio->MasterVolume()));
    LayOut();
    UpdateTitle();
}

void CMainWindow::BuildMenu() {
    m_menuBar = new QMenuBar(Widget());
    m_menuBar->setNativeMenuBar(false);
    // The menus wear the studio's face colours, like every control under them.
    QPalette palette = m_menuBar->palette();
    palette.setColor(QPalette::Window, Colors().Color(gui::kSlotFace));
    palette.setColor(QPalette::Base, Colors().Color(gui::kSlotFace));
    palette.setColor(QPalette::Button, Colors().Color(gui::kSlotFace));
    palette.setColor(QPalette::WindowText, Colors().Color(gui::kSlotButtonText));
    palette.setColor(QPalette::ButtonText, Colors().Color(gui::kSlotButtonText));
    palette.setColor(QPalette::Text, Colors().Color(gui::kSlotButtonText));
    palette.setColor(QPalette::Disabled, QPalette::Text, Colors().Color(gui::kSlotDisabledText));
    palette.setColor(QPalette::Disabled, QPalette::WindowText,
                     Colors().Color(gui::kSlotDisabledText));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText,
                     Colors().Color(gui::kSlotDisabledText));
    m_menuBar->setPalette(palette);
    m_menuBar->setAutoFillBackground(true);
    m_menuBar->setFont(Font());
    QMenu* file = m_menuBar->addMenu("&File");
    file->setPalette(palette);
    auto add = [&](const QString& text, const QKeySequence& keys, std::function<void()> command) {
        QAction* action = file->addAction(text);
        if (!keys.isEmpty()) action->setShortcut(keys);
        QObject::connect(action, &QAction::triggered, m_menuBar, [command] { command(); });
        return action;
    };
    add("&New", QKeySequence(Qt::CTRL | Qt::Key_N), [this] { NewProject(); });
    add("&Open...", QKeySequence(Qt::CTRL | Qt::Key_O), [this] { OpenProject(); });
    m_recentMenu = file->addMenu("Open &Recent");
    m_recentMenu->setPalette(palette);
    QObject::connect(m_recentMenu, &QMenu::aboutToShow, m_menuBar, [this] { FillRecentMenu(); });
    FillRecentMenu();
    file->addSeparator();
    add("&Save", QKeySequence(Qt::CTRL | Qt::Key_S), [this] { SaveProject(); });
    add("Save &As...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [this] { SaveProjectAs(); });
    file->addSeparator();
    QAction* options = add("O&ptions...", QKeySequence(), [this] { OpenOptions(); });
    options->setEnabled(m_models.options != nullptr);
    file->addSeparator();
    add("&Quit", QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { QuitProgram(); });

    QMenu* edit = m_menuBar->addMenu("&Edit");
    edit->setPalette(palette);
    m_undoAction = edit->addAction("Undo");
    m_undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QObject::connect(m_undoAction, &QAction::triggered, m_menuBar, [this] { UndoStep(); });
    m_redoAction = edit->addAction("Redo");
    m_redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    QObject::connect(m_redoAction, &QAction::triggered, m_menuBar, [this] { RedoStep(); });

    QMenu* tools = m_menuBar->addMenu("&Tools");
    tools->setPalette(palette);
    QAction* banks = tools->addAction("&Bank Explorer...");
    QObject::connect(banks, &QAction::triggered, m_menuBar, [this] { OpenBankExplorer(); });
}

void CMainWindow::UpdateEditMenu() {
    if (!m_undoAction) return;
    m_undoAction->setText(QString::fromStdString(m_undo.UndoText()));
    m_undoAction->setEnabled(m_undo.CanUndo());
    m_redoAction->setText(QString::fromStdString(m_undo.RedoText()));
    m_redoAction->setEnabled(m_undo.CanRedo());
}

void CMainWindow::HistoryChanged() {
    UpdateEditMenu();
    UpdateTitle();
    // The project text has no news of its own; the page shows it again when it differs.
    if (m_projectInfo) m_projectInfo->Reload();
}

void CMainWindow::FillRecentMenu() {
    m_recentMenu->clear();
    const auto& entries = m_document->Recent().Entries();
    if (entries.empty()) {
        m_recentMenu->addAction("(No Recent Projects)")->setEnabled(false);
        return;
    }
    for (const auto& entry : entries) {
        QAction* action = m_recentMenu->addAction(FromPath(entry));
        QObject::connect(action, &QAction::triggered, m_menuBar, [this, entry] { OpenRecent(entry); });
    }
}

QAction* CMainWindow::MenuAction(const QString& text) const {
    for (QAction* top : m_menuBar->actions()) {
        if (!top->menu()) continue;
        for (QAction* action : top->menu()->actions()) {
            QString plain = action->text();
            plain.remove('&');
            if (plain == text) return action;
        }
    }
    return nullptr;
}

void CMainWindow::BuildToolBar() {
    m_toolBar = std::make_unique<CMainToolBar>();
    m_toolBar->Create(this, 0, 0, Width(), kToolBarHeight);
    m_toolBar->AddButton(kNew, NewProjectIcon(), "New Project");
    m_toolBar->AddButton(kOpen, OpenProjectIcon(), "Open Project");
    m_toolBar->AddButton(kSave, SaveProjectIcon(), "Save Project");
    m_toolBar->AddSpace(12);

    auto centred = [](int height) { return (kToolBarHeight - height) / 2; };
    int x = m_toolBar->NextX();
    m_bpmLabel = std::make_unique<gui::CLabel>();
    m_bpmLabel->CreateLabel(m_toolBar.get(), "BPM:", x, centred(20), 36, 20, Qt::AlignRight | Qt::AlignVCenter);
    x += 40;
    m_tempo = std::make_unique<gui::CUpDown>();
    m_tempo->CreateUpDown(m_toolBar.get(), x, centred(22), 64, 22, 1, 1000, 1, 120);
    m_tempo->SetToolTip("Beats Per Minute");
    if (m_undoContext) m_tempoTyping = std::make_unique<undo_view::CTypingGesture>(m_undo, m_tempo->SpinBox());
    x += 64 + 14;
    m_volume = std::make_unique<gui::CVolumeSlider>();
    m_volume->Create(m_toolBar.get(), x, centred(20), 120, 20);
    x += 120 + 10;
    m_meter = std::make_unique<gui::CPeakMeter>();
    m_meter->Create(m_toolBar.get(), "MasterMeter", x, centred(gui::CPeakMeter::kDefaultHeight),
                    &m_models.studio->PeakMeter());
    x += gui::CPeakMeter::kDefaultWidth + 4;
    m_clip = std::make_unique<CClipLamp>();
    m_clip->CreateLamp(m_toolBar.get(), x, centred(14), 14, [this] {
        m_models.studio->ClipLight().Reset();
        RefreshReadOuts();
    });
    x += 14 + 16;
    m_cpu = std::make_unique<gui::CLabel>();
    m_cpu->CreateLabel(m_toolBar.get(), "CPU 0%", x, centred(20), 72, 20);
    m_cpu->Widget()->setToolTip("Share of each buffer's time the studio took to render it");
    x += 72 + 6;
    m_xruns = std::make_unique<CClickableLabel>();
    m_xruns->CreateLabel(m_toolBar.get(), "Xruns: 0", x, centred(20), 96, 20);
    m_xruns->Widget()->setToolTip("Buffers the sound device missed (click to reset)");
    m_xruns->SetClicked([this] {
        if (CAudioOutputDriver* driver = m_models.currentDriver ? m_models.currentDriver() : nullptr)
            driver->ResetXruns();
        RefreshReadOuts();
    });
    RefreshReadOuts();
}

void CMainWindow::BuildPages() {
    m_tabs = std::make_unique<gui::CTabControl>();
    m_tabs->CreateTabControl(this, 0, 0, Width(), kTabHeight);
    for (const char* caption : {"Studio", "Pattern Editor", "Sequence Editor", "HD Recorder", "Project Info"})
        m_tabs->AddPage(caption);

    CUndoStack* history = m_undoContext ? &m_undo : nullptr;
    const UndoContext* target = m_undoContext ? &*m_undoContext : nullptr;
    m_studioView = std::make_unique<studio_view::CStudioView>(*m_models.studio, *m_models.registry, history, target);
    m_studioView->Build(this, 0, 0, Width(), Height());
    if (m_undoContext) {
        m_patternEditor = std::make_unique<pattern_editor::CPatternEditorPage>(m_models.sequencer->Patterns(), m_undo,
                                                                               *m_undoContext);
        m_patternEditor->Build(this, 0, 0, Width(), Height());
    } else {
        m_patternPage = std::make_unique<gui::CLabel>();
        m_patternPage->CreateLabel(this, "The pattern editor needs a sequencer.", 0, 0, Width(), Height(),
                                   Qt::AlignCenter);
    }
    if (m_undoContext) {
        m_sequenceEditor = std::make_unique<sequence_editor::CSequenceEditorPage>(*m_models.sequencer, m_undo,
                                                                                  *m_undoContext);
        m_sequenceEditor->Build(this, 0, 0, Width(), Height());
    } else {
        m_sequencePage = std::make_unique<gui::CLabel>();
        m_sequencePage->CreateLabel(this, "Without a sequencer there is no song to edit.", 0, 0, Width(), Height(),
                                    Qt::AlignCenter);
    }
    m_hdRecorder = std::make_unique<hd_recorder::CHDRecorder>(*m_models.recorderRows, *m_models.studio);
    m_hdRecorder->Build(this, 0, 0, Width(), Height());
    m_projectInfo =
        std::make_unique<project_info::CProjectInfoPage>(*m_models.project, *m_models.studio, history, target);
    m_projectInfo->Build(this, 0, 0, Width(), Height());
}

gui::CControl* CMainWindow::PageControl(int page) const {
    switch (page) {
    case kStudio:
        return m_studioView.get();
    case kPatternEditor:
        return m_patternEditor ? static_cast<gui::CControl*>(m_patternEditor.get()) : m_patternPage.get();
    case kSequenceEditor:
        if (m_sequenceEditor) return m_sequenceEditor.get();
        return m_sequencePage.get();
    case kHDRecorder:
        return m_hdRecorder.get();
    case kProjectInfo:
        return m_projectInfo.get();
    default:
        return nullptr;
    }
}

void CMainWindow::LayOut() {
    if (!m_tabs) return;
    const int menuHeight = m_menuBar->sizeHint().height();
    m_menuBar->setGeometry(0, 0, Width(), menuHeight);
    m_toolBar->MoveResize(0, menuHeight, Width(), kToolBarHeight);
    m_tabs->MoveResize(0, menuHeight + kToolBarHeight, Width(), kTabHeight);
    const int top = menuHeight + kToolBarHeight + kTabHeight;
    for (int page = 0; page < kPageCount; ++page)
        PageControl(page)->MoveResize(0, top, Width(), std::max(0, Height() - top));
}

void CMainWindow::SizeChanged(int width, int height) {
    gui::CWindow::SizeChanged(width, height);
    LayOut();
}

void CMainWindow::ShowPage(int page) {
    if (page < 0 || page >= kPageCount) return;
    m_page = page;
    if (m_tabs->Page() != page) m_tabs->SetPage(page);
    if (!IsVisible()) return;
    for (int other = 0; other < kPageCount; ++other)
        if (other != page) PageControl(other)->ShowWith(gui::ShowCommand::kHide);
    PageControl(page)->Show();
}

void CMainWindow::Open(bool maximised) {
    ShowWith(maximised ? gui::ShowCommand::kShowMaximized : gui::ShowCommand::kShow);
    m_menuBar->show();
    m_toolBar->Show();
    for (gui::CControl* control : std::initializer_list<gui::CControl*>{
             m_bpmLabel.get(), m_tempo.get(), m_volume.get(), m_meter.get(), m_clip.get(), m_cpu.get(), m_xruns.get()})
        control->Show();
    for (int button = 0; button < m_toolBar->ButtonCount(); ++button)
        m_toolBar->Button(button)->Show();
    m_tabs->Show();
    ShowPage(m_page);
    // Space and Delete go to the window, not to the first field of the tool bar.
    Widget()->setFocusPolicy(Qt::StrongFocus);
    Widget()->setFocus();
    if (!m_timer) {
        m_lastClock = gui::UiClock().Now();
        m_timer = gui::UiClock().MakeTimer([this] { Tick(); });
        m_timer->Start(kTickMs);
    }
}

void CMainWindow::Start(const std::optional<std::filesystem::path>& project) {
    RunCommand([&] { m_document->Start(project); });
    TellDriverProblem();
}

void CMainWindow::TellDriverProblem() {
    if (m_driverProblemTold || !m_models.driverProblem) return;
    const std::string problem = m_models.driverProblem();
    if (problem.empty()) return;
    m_driverProblemTold = true;
    QString driver = "(none)", device = "(none)";
    if (CAudioOutputDriver* current = m_models.currentDriver ? m_models.currentDriver() : nullptr) {
        driver = QString::fromUtf8(current->GetName());
        device = QString::fromStdString(current->GetDeviceName());
    }
    const QString text = QString("The audio output could not be started; the studio plays silently.\n\n"
                                 "Driver: %1\nDevice: %2\nReason: %3\n\n"
                                 "Choose another driver or device in File > Options... (Audio Output).")
                             .arg(driver, device, QString::fromStdString(problem));
    gui::Dialogs().Message(Widget(), gui::MessageKind::kWarning, text);
}

// ---- commands ----

void CMainWindow::RunCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        gui::ShowError(Widget(), QString::fromStdString(error.what()));
    }
    ShowTempo();
    UpdateTitle();
}

void CMainWindow::NewProject() { RunCommand([this] { m_document->New(); }); }
void CMainWindow::OpenProject() { RunCommand([this] { m_document->Open(); }); }
void CMainWindow::OpenRecent(const std::filesystem::path& path) {
    RunCommand([this, path] { m_document->Open(path); });
}
void CMainWindow::SaveProject() { RunCommand([this] { m_document->Save(); }); }
void CMainWindow::SaveProjectAs() { RunCommand([this] { m_document->SaveAs(); }); }

void CMainWindow::OpenOptions() {
    if (!m_models.options) return;
    RunCommand([this] {
        if (!m_optionsDialog) {
            m_optionsDialog =
                std::make_unique<options::COptionsDialog>(*m_models.options, m_models.drivers, m_models.optionHooks);
            m_optionsDialog->Build(this);
        }
        m_optionsDialog->Open();
    });
}

void CMainWindow::OpenBankExplorer() {
    RunCommand([this] {
        if (!m_bankExplorer) {
            m_bankExplorer = std::make_unique<bank_explorer::CBankExplorerWindow>(m_models.studio->Host());
            m_bankExplorer->Build();
        }
        m_bankExplorer->Open();
    });
}

void CMainWindow::QuitProgram() {
    if (Widget()) Widget()->close();
}

bool CMainWindow::CloseRequested() {
    if (m_closing) return true;
    bool mayClose = false;
    RunCommand([&] { mayClose = m_document->Quit(); });
    if (!mayClose) return false;
    m_closing = true;
    if (m_timer) m_timer->Stop();
    if (m_optionsDialog && m_optionsDialog->IsVisible()) m_optionsDialog->Close();
    if (m_bankExplorer && m_bankExplorer->IsVisible()) m_bankExplorer->ShowWith(gui::ShowCommand::kHide);
    return true;
}

void CMainWindow::PlayOrStop() {
    if (!m_models.sequencer) return;
    CSequenceEditor& song = m_models.sequencer->Song();
    if (song.IsPlaying())
        song.StopSong();
    else
        song.PlaySong();
}

studio_view::CMachineFrame* CMainWindow::SelectedFrame() const {
    if (m_selectedSerial == 0 || !m_studioView || m_studioView->IsRemoved(m_selectedSerial)) return nullptr;
    for (const auto& frame : m_studioView->Frames())
        if (frame->Serial() == m_selectedSerial) return frame.get();
    return nullptr;
}

void CMainWindow::DeleteSelectedMachine() {
    studio_view::CMachineFrame* frame = SelectedFrame();
    if (!frame || frame->Container() == m_models.studio->MasterFrame()) return;
    m_selectedSerial = 0;
    RunCommand([&] { m_studioView->DeleteFrame(frame); });
}

void CMainWindow::UndoStep() {
    if (!m_undo.CanUndo()) return;
    RunCommand([this] { m_undo.Undo(); });
    // The studio tells of machines, names and cables, not of places on the surface.
    m_studioView->FollowFramePlaces();
}

void CMainWindow::RedoStep() {
    if (!m_undo.CanRedo()) return;
    RunCommand([this] { m_undo.Redo(); });
    m_studioView->FollowFramePlaces();
}

void CMainWindow::NoticePress(QWidget* target) {
    if (!Widget() || target->window() != Widget()) return;
    // A press on the surface takes the keys back from a tool bar field, unless it lands in a
    // field of a frame's own (a program list, a panel's control).
    const auto takeKeys = [&] {
        if (target->focusPolicy() == Qt::NoFocus && QApplication::focusWidget() &&
            !m_studioView->Widget()->isAncestorOf(QApplication::focusWidget()))
            Widget()->setFocus();
    };
    for (QWidget* widget = target; widget && widget != Widget(); widget = widget->parentWidget()) {
        gui::CControl* control = gui::CControl::FromWidget(widget);
        if (!control) continue;
        if (auto* frame = dynamic_cast<studio_view::CMachineFrame*>(control)) {
            m_selectedSerial = frame->Serial();
            takeKeys();
            return;
        }
        if (control == m_studioView.get()) {
            m_selectedSerial = 0; // the empty surface
            takeKeys();
            return;
        }
    }
}

// ---- events ----

void CMainWindow::ToolBarButtonClicked(gui::CToolBarButton* button) {
    switch (button->Command()) {
    case kNew:
        NewProject();
        break;
    case kOpen:
        OpenProject();
        break;
    case kSave:
        SaveProject();
        break;
    default:
        break;
    }
}

void CMainWindow::ChildChanged(gui::CControl* child) {
    if (child == m_tabs.get()) {
        ShowPage(m_tabs->Page());
    } else if (child == m_tempo.get()) {
        const auto bpm = static_cast<float>(m_tempo->Value());
        if (m_undoContext)
            RunCommand([&] { m_undo.Do(UndoCommands::SetTempo(*m_undoContext, bpm)); });
        else
            m_models.studio->SetTempo(bpm);
        UpdateTitle();
    } else if (child == m_volume.get()) {
        m_models.studio->SetMasterVolume(m_volume->Target());
    }
}

bool CMainWindow::KeyPressed(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (event->key() == Qt::Key_Space) {
        PlayOrStop();
        return true;
    }
    if (event->key() == Qt::Key_Delete) {
        DeleteSelectedMachine();
        return true;
    }
    return false;
}

// ---- the timer ----

void CMainWindow::Tick() {
    const uint32_t now = gui::UiClock().Now();
    m_steadyMs += static_cast<uint32_t>(now - m_lastClock);
    m_lastClock = now;
    m_models.studio->DeliverNotifications();
    if (m_models.watchDriver && ++m_ticksSinceWatch >= kWatchEveryTicks) {
        m_ticksSinceWatch = 0;
        m_models.watchDriver();
    }
    RefreshReadOuts();
    // A tempo typed into the field stays until it is committed.
    if (!m_tempo->SpinBox()->hasFocus()) ShowTempo();
    // The autosave may tell of a failure in a message box, whose own event loop runs this timer.
    if (!m_inAutosave) {
        m_inAutosave = true;
        m_document->Tick(m_steadyMs);
        m_inAutosave = false;
    }
    UpdateTitle();
}

void CMainWindow::ShowTempo() {
    if (!m_tempo) return;
    const double bpm = m_models.studio->Host()->GetBPM();
    if (m_tempo->Value() != std::clamp(std::round(bpm), 1.0, 1000.0)) m_tempo->SetValue(bpm);
}

void CMainWindow::RefreshReadOuts() {
    const int cpu = static_cast<int>(std::lround(m_models.studio->CpuLoad().Load() * 100.0f));
    if (cpu != m_shownCpu) {
        m_shownCpu = cpu;
        m_cpu->SetText(QString("CPU %1%").arg(cpu));
    }
    CAudioOutputDriver* driver = m_models.currentDriver ? m_models.currentDriver() : nullptr;
    const uint64_t xruns = driver ? driver->GetXruns() : 0;
    if (xruns != m_shownXruns) {
        m_shownXruns = xruns;
        m_xruns->SetText(QString("Xruns: %1").arg(xruns));
        m_xruns->SetTextSlot(xruns > 0 ? 37 : 4);
    }
    m_clip->SetLit(m_models.studio->ClipLight().IsLit());
}

void CMainWindow::UpdateTitle() {
    const QString title = QString::fromStdString(m_document->WindowTitle());
    if (Title() != title) SetTitle(title);
}

} // namespace main_window
