#include "studio_ui/pattern_editor/pattern_editor_page.h"

#include "engine/machine_container.h"
#include "engine/studio.h"
#include "gui/color_manager.h"
#include "gui/combo_box.h"
#include "gui/dialog_service.h"
#include "gui/label.h"
#include "gui/scroll_bar.h"
#include "gui/size_bar.h"
#include "gui/ui_clock.h"
#include "machine_interface/machine.h"
#include "machine_interface/port.h"
#include "sequencer/pattern.h"
#include "studio_ui/pattern_editor/control_lanes.h"
#include "studio_ui/pattern_editor/note_grid.h"
#include "studio_ui/icons/studio_icons.h"
#include "studio_ui/pattern_editor/pattern_grid_geometry.h"

#include <QComboBox>
#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace pattern_editor {

namespace {

constexpr int kBoxHeight = 22;
constexpr int kGap = 4;
constexpr int kBeatPixels = 4 * pattern_grid::kStepPixels;

unsigned Bit(PatternEditorChange change) { return 1u << static_cast<unsigned>(change); }

} // namespace

// ----- Tool bar parts -----

void CToggleToolButton::SetDown(bool down) {
    if (down == m_down) return;
    m_down = down;
    if (Widget()) Refresh();
}

void CToggleToolButton::Render(QPainter& painter) {
    if (m_down) {
        // A button held down: sunken, on the highlight behind selected entries.
        QColor glow = Colors().Color(23);
        glow.setAlpha(90);
        painter.fillRect(0, 0, Width(), Height(), Colors().Brush(gui::kSlotFace));
        gui::CToolBarButton::Render(painter);
        painter.fillRect(1, 1, Width() - 2, Height() - 2, glow);
        gui::DrawBevel(painter, 0, 0, Width(), Height(), gui::Bevel::kSunken, Colors());
        return;
    }
    gui::CToolBarButton::Render(painter);
}

void CPageToolBar::ComboChanged(gui::CComboBox* combo) {
    if (Parent()) Parent()->ComboChanged(combo);
}

void CPageToolBar::ChildChanged(gui::CControl* child) {
    if (Parent()) Parent()->ChildChanged(child);
}

// ----- The page -----

CPatternEditorPage::CPatternEditorPage(CPatternEditor& editor, CUndoStack& undo, const UndoContext& context)
    : m_editor(editor), m_edits(editor, undo, context) {}

CPatternEditorPage::~CPatternEditorPage() {
    if (m_timer) m_timer->Stop();
    m_editor.RemoveListener(this);
}

void CPatternEditorPage::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "PatternEditor", x, y, width, height, false);
    BuildToolBars();
    const PageLayout layout = Layout();
    m_grid = std::make_unique<CNoteGrid>(m_edits);
    m_grid->Build(this, 0, layout.grid, width, layout.gridHeight);
    m_grid->scrollBeats = [this](int beats) { m_horizontal->SetValue(m_horizontal->Value() + beats); ChildChanged(m_horizontal.get()); };
    m_grid->showBeat = [this](int beat) { ScrollToBeat(beat); };
    m_grid->cursorMoved = [this] { ShowEntryState(); };
    m_sizeBar = std::make_unique<gui::CSizeBar>();
    m_sizeBar->CreateSizeBar(this, gui::SizeBarDirection::kUpDown, 0, layout.sizeBar, width, kSizeBarHeight);
    m_lanes = std::make_unique<CControlLanes>(m_edits);
    m_lanes->Build(this, 0, layout.lanes, width, layout.lanesHeight);
    m_horizontal = std::make_unique<gui::CScrollBar>();
    m_horizontal->Create(this, "BeatScroll", 0, layout.scrollBar, width, kScrollBarSize, false);
    for (gui::CControl* control : std::initializer_list<gui::CControl*>{
             m_toolBars[0].get(), m_toolBars[1].get(), m_toolBars[2].get(), m_grid.get(), m_sizeBar.get(),
             m_lanes.get(), m_horizontal.get()})
        control->Show();
    m_editor.AddListener(this);
    m_news = ~0u;
    CatchUp();
    LayOut();
    m_timer = gui::UiClock().MakeTimer([this] { m_editor.RefreshDisplay(); });
    m_timer->Start(kMarkerTickMs);
}

gui::CComboBox* CPatternEditorPage::AddBox(CPageToolBar& bar, const char* name, const char* tip, int width) {
    auto box = std::make_unique<gui::CComboBox>();
    box->CreateComboBox(&bar, bar.NextX(), (kToolBarHeight - kBoxHeight) / 2, width, kBoxHeight);
    box->Widget()->setObjectName(name);
    box->Widget()->setToolTip(tip);
    box->Show();
    bar.AddSpace(width + kGap);
    gui::CComboBox* made = box.get();
    if (std::string(name) == "MachineCombo") m_machineBox = std::move(box);
    else if (std::string(name) == "PatternCombo") m_patternBox = std::move(box);
    else if (std::string(name) == "PortCombo") m_portBox = std::move(box);
    else if (std::string(name) == "LengthCombo") m_lengthBox = std::move(box);
    else if (std::string(name) == "NoteLengthCombo") m_noteLengthBox = std::move(box);
    else m_propertyBox = std::move(box);
    return made;
}

gui::CLabel* CPatternEditorPage::AddCaption(CPageToolBar& bar, const QString& text, int width) {
    auto label = std::make_unique<gui::CLabel>();
    label->CreateLabel(&bar, text, bar.NextX(), (kToolBarHeight - kBoxHeight) / 2, width, kBoxHeight);
    label->Show();
    bar.AddSpace(width + kGap);
    m_captions.push_back(std::move(label));
    return m_captions.back().get();
}

void CPatternEditorPage::BuildToolBars() {
    for (auto& bar : m_toolBars) {
        bar = std::make_unique<CPageToolBar>();
        bar->Create(this, 0, 0, Width(), kToolBarHeight);
    }
    auto toggle = [](CPageToolBar& bar, int command, int icon, const char* tip) {
        auto button = std::make_unique<CToggleToolButton>();
        button->Create(&bar, command, studio_icons::Image(icon), tip, bar.NextX(), (kToolBarHeight - gui::CToolBar::kButtonSize) / 2,
                       gui::CToolBar::kButtonSize, gui::CToolBar::kButtonSize);
        button->Show();
        bar.AddSpace(gui::CToolBar::kButtonSize + gui::CToolBar::kGap);
        return button;
    };

    CPageToolBar& first = *m_toolBars[0];
    AddBox(first, "MachineCombo", "Select Machine", 180);
    AddBox(first, "PatternCombo", "Select Pattern", 120);
    AddBox(first, "PortCombo", "Select Port", 120);
    first.AddButton(kAddPattern, studio_icons::Image(studio_icons::kAddPattern), "Add Pattern");
    first.AddButton(kRemovePattern, studio_icons::Image(studio_icons::kRemovePattern), "Remove Pattern");
    first.AddSpace(kGap * 2);
    AddBox(first, "LengthCombo", "Pattern Length", 60);
    m_play = toggle(first, kPlayPattern, studio_icons::kPatternPlay, "Play Pattern");
    // The stop button sits between the two toggles; AddButton places it after them, so it is
    // placed by hand like them.
    const int stopX = first.NextX();
    first.AddSpace(gui::CToolBar::kButtonSize + gui::CToolBar::kGap);
    m_loop = toggle(first, kLoopPattern, studio_icons::kPatternLoop, "Loop Pattern");
    first.AddSpace(kGap * 2);
    first.AddButton(kDuplicatePattern, studio_icons::Image(studio_icons::kDuplicatePattern), "Duplicate Pattern");
    first.AddButton(kRenamePattern, studio_icons::Image(studio_icons::kRenamePattern), "Rename Pattern");
    first.AddButton(kStopPattern, studio_icons::Image(studio_icons::kPatternStop), "Stop Pattern");
    gui::CToolBarButton* stop = first.Button(first.ButtonCount() - 1);
    stop->Move(stopX, (kToolBarHeight - gui::CToolBar::kButtonSize) / 2);
    for (int i = 0; i < first.ButtonCount(); ++i) first.Button(i)->Show();

    CPageToolBar& second = *m_toolBars[1];
    AddCaption(second, "Note Length", 76);
    AddBox(second, "NoteLengthCombo", "Select Note Length", 60);
    second.AddSpace(kGap * 2);
    m_entry = AddCaption(second, "", 420);
    m_entry->Widget()->setToolTip("Step entry: Z-M and Q-U write notes at the cursor, Page Up/Down change the octave");

    CPageToolBar& third = *m_toolBars[2];
    AddCaption(third, "Property", 60);
    AddBox(third, "PropertyCombo", "Select Property", 180);
    third.AddButton(kAddControlTrack, studio_icons::Image(studio_icons::kAddControlTrack), "Add Control Track");
    third.AddButton(kRemoveControlTrack, studio_icons::Image(studio_icons::kRemoveControlTrack), "Remove Control Track");
    for (int i = 0; i < third.ButtonCount(); ++i) third.Button(i)->Show();

    for (int beats : kPatternLengths) m_lengthBox->AddEntry(QString::number(beats * 4));
    for (int steps = 1; steps <= kMaxNoteLength; ++steps) m_noteLengthBox->AddEntry(QString::number(steps));
}

gui::CToolBarButton* CPatternEditorPage::Button(Command command) const {
    if (command == kPlayPattern) return m_play.get();
    if (command == kLoopPattern) return m_loop.get();
    for (const auto& bar : m_toolBars)
        for (int i = 0; i < bar->ButtonCount(); ++i)
            if (bar->Button(i)->Command() == command) return bar->Button(i);
    return nullptr;
}

// ----- Layout -----

void CPatternEditorPage::SetRatio(float ratio) {
    m_ratio = ClampRatio(ratio);
    LayOut();
}

void CPatternEditorPage::LayOut() {
    if (!m_horizontal) return;
    const int width = Width(), height = Height();
    const PageLayout layout = Layout();
    m_toolBars[0]->MoveResize(0, 0, width, kToolBarHeight);
    m_toolBars[1]->MoveResize(0, kToolBarHeight, width, kToolBarHeight);
    m_grid->MoveResize(0, layout.grid, width, layout.gridHeight);
    const int shared = std::max(0, height - kFixedRoom);
    m_sizeBar->MoveResize(0, layout.sizeBar, width, kSizeBarHeight);
    m_sizeBar->SetLimits(60 + static_cast<int>(static_cast<float>(shared) * kMinimumRatio),
                         60 + static_cast<int>(static_cast<float>(shared) * kMaximumRatio));
    m_sizeBar->SetPosition(layout.sizeBar);
    m_toolBars[2]->MoveResize(0, layout.toolBar3, width, kToolBarHeight);
    m_lanes->MoveResize(0, layout.lanes, width, layout.lanesHeight);
    m_horizontal->MoveResize(0, layout.scrollBar, width, kScrollBarSize);
    UpdateHorizontalRange();
}

void CPatternEditorPage::SizeChanged(int width, int height) {
    gui::CControl::SizeChanged(width, height);
    LayOut();
}

void CPatternEditorPage::UpdateHorizontalRange() {
    const Pattern* pattern = m_editor.CurrentPattern();
    const int beats = pattern ? pattern->Length() : 0;
    const int fully = std::max(1, (m_grid->Width() - kScrollBarSize - kKeyColumn) / kBeatPixels);
    m_horizontal->SetRange(0, std::max(0, beats - fully));
    m_horizontal->SetPage(fully);
    if (m_horizontal->Value() != m_grid->FirstBeat()) ChildChanged(m_horizontal.get());
}

void CPatternEditorPage::ScrollToBeat(int beat) {
    const int first = m_horizontal->Value();
    const int fully = std::max(1, m_horizontal->Page());
    if (beat < first) m_horizontal->SetValue(beat);
    else if (beat >= first + fully) m_horizontal->SetValue(beat - fully + 1);
    else return;
    ChildChanged(m_horizontal.get());
}

// ----- News from the model -----

void CPatternEditorPage::PatternEditorChanged(PatternEditorChange change) {
    m_news.fetch_or(Bit(change), std::memory_order_acq_rel);
    MarkDirty();
}

void CPatternEditorPage::Refresh() { CatchUp(); }

void CPatternEditorPage::CatchUp() {
    if (!m_horizontal) return;
    const unsigned news = m_news.exchange(0, std::memory_order_acq_rel);
    if (news == 0) return;
    const bool boxes = news & (Bit(PatternEditorChange::Machines) | Bit(PatternEditorChange::Selection));
    if (boxes) FillBoxes();
    if (m_shownPattern != m_editor.CurrentPattern()) {
        m_shownPattern = m_editor.CurrentPattern();
        m_horizontal->SetValue(0);
        m_grid->SetFirstBeat(0);
        m_lanes->SetFirstBeat(0);
        m_lanes->SetScrollY(0);
        m_grid->PatternShown();
        UpdateHorizontalRange();
        m_lanes->ModelChanged();
    } else if (news & (Bit(PatternEditorChange::Notes) | Bit(PatternEditorChange::Selection) |
                       Bit(PatternEditorChange::ControlTracks) | Bit(PatternEditorChange::ControlSteps))) {
        UpdateHorizontalRange();
        m_grid->ModelChanged();
        m_lanes->ModelChanged();
    }
    if (news & (Bit(PatternEditorChange::Transport) | Bit(PatternEditorChange::Selection))) {
        m_play->SetDown(m_editor.IsPlayPatternDown());
        m_loop->SetDown(m_editor.IsLoopPatternDown());
    }
    if (news & (Bit(PatternEditorChange::PlayMarker) | Bit(PatternEditorChange::Selection) |
                Bit(PatternEditorChange::Transport))) {
        m_position = m_editor.SelectedMachine() ? m_editor.DisplayPosition() : -1.0f;
        m_grid->SetPlayPosition(m_position);
    }
    UpdateButtons();
    ShowEntryState();
}

void CPatternEditorPage::FillBoxes() {
    CStudio& studio = m_edits.Context().studio;
    m_machineBox->Clear();
    int chosen = -1;
    const std::vector<CMachine*>& machines = m_editor.Machines();
    for (size_t i = 0; i < machines.size(); ++i) {
        const CMachineContainer* frame = studio.FindFrame(machines[i]);
        m_machineBox->AddEntry(QString::fromStdString(frame ? frame->m_name : std::string("Machine")));
        if (machines[i] == m_editor.SelectedMachine()) chosen = static_cast<int>(i);
    }
    m_machineBox->SetSelection(chosen);

    m_portBox->Clear();
    chosen = -1;
    const std::vector<CPort*>& ports = m_editor.Ports();
    for (size_t i = 0; i < ports.size(); ++i) {
        m_portBox->AddEntry(QString::fromUtf8(ports[i]->m_name ? ports[i]->m_name : ""));
        if (ports[i] == m_editor.SelectedPort()) chosen = static_cast<int>(i);
    }
    m_portBox->SetSelection(chosen);

    m_patternBox->Clear();
    chosen = -1;
    const std::vector<Pattern*> patterns = m_editor.MachinePatterns();
    for (size_t i = 0; i < patterns.size(); ++i) {
        m_patternBox->AddEntry(QString::fromUtf8(patterns[i]->Name()));
        if (patterns[i] == m_editor.CurrentPattern()) chosen = static_cast<int>(i);
    }
    m_patternBox->SetSelection(chosen);

    m_propertyBox->Clear();
    for (const std::string& name : m_editor.PropertyNames()) m_propertyBox->AddEntry(QString::fromStdString(name));
    chosen = -1;
    if (m_editor.HasProperty()) {
        const std::vector<int32_t>& parameters = m_editor.Parameters();
        const auto found = std::find(parameters.begin(), parameters.end(), m_editor.SelectedParameter());
        if (found != parameters.end()) chosen = static_cast<int>(found - parameters.begin());
    }
    m_propertyBox->SetSelection(chosen);

    const auto length = std::find(std::begin(kPatternLengths), std::end(kPatternLengths), m_editor.NewPatternLength());
    m_lengthBox->SetSelection(length == std::end(kPatternLengths) ? -1
                                                                  : static_cast<int>(length - std::begin(kPatternLengths)));
    m_noteLengthBox->SetSelection(m_editor.NoteLength() - 1);
}

void CPatternEditorPage::UpdateButtons() {
    const bool machine = m_editor.SelectedMachine() && m_editor.SelectedPort();
    const bool pattern = m_editor.CurrentPattern() != nullptr;
    Button(kAddPattern)->SetEnabled(machine);
    for (Command command : {kRemovePattern, kPlayPattern, kStopPattern, kLoopPattern, kDuplicatePattern, kRenamePattern})
        Button(command)->SetEnabled(pattern);
    Button(kAddControlTrack)->SetEnabled(pattern && m_editor.HasProperty());
    Button(kRemoveControlTrack)->SetEnabled(pattern && m_editor.HasProperty());
}

void CPatternEditorPage::ShowEntryState() {
    if (!m_entry) return;
    const Pattern* pattern = m_editor.CurrentPattern();
    if (!pattern) {
        m_entry->SetText("No pattern");
        return;
    }
    const int step = m_grid->CursorStep();
    const QString at = QString("Cursor: beat %1.%2, %3")
                           .arg(step / 4 + 1)
                           .arg(step % 4 + 1)
                           .arg(QString::fromStdString(m_editor.NoteLabel(m_editor.NoteForRow(m_grid->CursorRow()))));
    m_entry->SetText(QString("Octave %1    %2").arg(m_grid->Octave()).arg(at));
}

// ----- The user's choices -----

void CPatternEditorPage::ComboChanged(gui::CComboBox* combo) {
    const int index = combo->Selection();
    if (combo == m_machineBox.get()) {
        const std::vector<CMachine*>& machines = m_editor.Machines();
        if (index >= 0 && index < static_cast<int>(machines.size())) m_editor.SelectMachine(machines[index]);
    } else if (combo == m_portBox.get()) {
        m_editor.SelectPort(index);
    } else if (combo == m_patternBox.get()) {
        m_editor.SelectPattern(index);
    } else if (combo == m_lengthBox.get()) {
        if (index >= 0 && index < static_cast<int>(std::size(kPatternLengths)))
            m_editor.SetNewPatternLength(kPatternLengths[index]);
    } else if (combo == m_noteLengthBox.get()) {
        m_editor.SetNoteLength(index + 1);
    } else if (combo == m_propertyBox.get()) {
        m_editor.SelectProperty(index);
    }
    CatchUp();
}

void CPatternEditorPage::ChildChanged(gui::CControl* child) {
    if (child == m_sizeBar.get()) {
        SetRatio(RatioForSizeBar(m_sizeBar->Position(), Height()));
    } else if (child == m_horizontal.get()) {
        m_grid->SetFirstBeat(m_horizontal->Value());
        m_lanes->SetFirstBeat(m_horizontal->Value());
        m_grid->SetPlayPosition(m_position);
    }
}

void CPatternEditorPage::ToolBarButtonClicked(gui::CToolBarButton* button) {
    RunCommand(static_cast<Command>(button->Command()));
}

void CPatternEditorPage::RunCommand(Command command) {
    Pattern* current = m_editor.CurrentPattern();
    const UndoContext& context = m_edits.Context();
    switch (command) {
    case kAddPattern:
        if (m_editor.SelectedMachine() && m_editor.SelectedPort())
            m_edits.Apply(UndoCommands::AddSelectedPattern(context), false);
        break;
    case kRemovePattern:
        if (current) m_edits.Apply(UndoCommands::RemovePattern(context, current), false);
        break;
    case kPlayPattern:
        m_editor.SetPlayPattern(!m_editor.IsPlayPatternDown());
        break;
    case kStopPattern:
        m_editor.StopPattern();
        break;
    case kLoopPattern:
        m_editor.SetLoopPattern(!m_editor.IsLoopPatternDown());
        break;
    case kDuplicatePattern:
        DuplicatePattern();
        break;
    case kRenamePattern:
        RenamePattern();
        break;
    case kAddControlTrack:
        if (current && m_editor.HasProperty()) {
            CPatternEditor& editor = m_editor;
            const bool added = m_edits.Edit("Add Control Track", [&editor](Pattern&) { editor.AddControlTrack(); });
            CatchUp();
            if (added) m_lanes->ScrollToBottom();
        }
        break;
    case kRemoveControlTrack:
        if (current && m_editor.HasProperty()) {
            CPatternEditor& editor = m_editor;
            m_edits.Edit("Remove Control Track", [&editor](Pattern&) { editor.RemoveControlTrack(); });
        }
        break;
    }
    CatchUp();
}

void CPatternEditorPage::DuplicatePattern() {
    Pattern* current = m_editor.CurrentPattern();
    if (!current) return;
    const std::vector<Pattern*> before = m_editor.MachinePatterns();
    const int index = static_cast<int>(std::find(before.begin(), before.end(), current) - before.begin());
    if (!m_edits.Apply(UndoCommands::DuplicatePattern(m_edits.Context(), current), false)) return;
    // The copy is listed right after the original: it becomes the pattern shown.
    m_editor.SelectPattern(index + 1);
    CatchUp();
}

void CPatternEditorPage::RenamePattern() {
    Pattern* current = m_editor.CurrentPattern();
    if (!current) return;
    const std::optional<QString> name =
        gui::Dialogs().AskText(Widget(), "Rename Pattern", "Pattern name:", QString::fromUtf8(current->Name()));
    if (!name) return;
    const QString trimmed = name->trimmed();
    if (trimmed.isEmpty() || trimmed == QString::fromUtf8(current->Name())) return;
    m_edits.Apply(UndoCommands::RenamePattern(m_edits.Context(), current, trimmed.toStdString()));
    CatchUp();
}

} // namespace pattern_editor
