#include "studio_ui/sequence_editor/sequence_editor_page.h"

#include "gui/combo_box.h"
#include "gui/label.h"
#include "gui/tool_bar.h"
#include "gui/ui_clock.h"
#include "gui/up_down.h"
#include "sequencer/pattern.h"
#include "sequencer/sequencer.h"
#include "studio_ui/hd_recorder/hd_recorder_view.h"
#include "studio_ui/icons/studio_icons.h"
#include "studio_ui/sequence_editor/sequence_view.h"
#include "studio_ui/undo/undo_commands.h"
#include "studio_ui/undo/undo_stack.h"

#include <QComboBox>
#include <QDoubleSpinBox>

#include <algorithm>

namespace sequence_editor {

namespace {

constexpr int kButtonSize = gui::CToolBar::kButtonSize;
constexpr int kButtonTop = (kToolBarHeight - kButtonSize) / 2;

// A tool bar whose fields tell the page (their parent's parent) of the user's changes.
class CPageToolBar : public gui::CToolBar {
public:
    void ChildChanged(gui::CControl* child) override {
        if (Parent()) Parent()->ChildChanged(child);
    }
    void ComboChanged(gui::CComboBox* combo) override {
        if (Parent()) Parent()->ComboChanged(combo);
    }
};

} // namespace

CSequenceEditorPage::CSequenceEditorPage(CSequencer& sequencer, CUndoStack& undo, const UndoContext& context)
    : m_sequencer(sequencer), m_song(sequencer.Song()), m_undo(undo), m_context(context) {}

CSequenceEditorPage::~CSequenceEditorPage() {
    m_timer.reset();
    if (m_listening) {
        m_song.RemoveListener(this);
        m_sequencer.Patterns().RemoveListener(this);
    }
}

void CSequenceEditorPage::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "SequenceEditor", x, y, width, height, false);

    m_transportBar = std::make_unique<CPageToolBar>();
    m_transportBar->Create(this, 0, 0, width, kToolBarHeight);
    int left = 4;
    auto toggle = [&](std::unique_ptr<hd_recorder::CToggleIconButton>& button, const QIcon& off, const QIcon& on,
                      const char* tip, void (CSequenceEditorPage::*press)()) {
        button = std::make_unique<hd_recorder::CToggleIconButton>();
        button->CreateToggle(m_transportBar.get(), off, on, tip, left, kButtonTop, kButtonSize,
                             [this, press] { (this->*press)(); });
        left += kButtonSize + gui::CToolBar::kGap;
    };
    // The transport's pictures, idle and lit while the state holds; record is the HD recorder's.
    using studio_icons::Icon;
    toggle(m_play, Icon(studio_icons::kSongPlayOff), Icon(studio_icons::kSongPlayOn), "Play Pattern",
           &CSequenceEditorPage::PressPlay);
    toggle(m_record, Icon(studio_icons::kRecordOff), Icon(studio_icons::kRecordOn), "Record Song",
           &CSequenceEditorPage::PressRecord);
    toggle(m_stop, Icon(studio_icons::kSongStop), Icon(studio_icons::kSongStop), "Stop Pattern",
           &CSequenceEditorPage::PressStop);
    toggle(m_loop, Icon(studio_icons::kSongLoopOff), Icon(studio_icons::kSongLoopOn), "Loop Pattern",
           &CSequenceEditorPage::PressLoop);
    left += 12;
    m_lengthLabel = std::make_unique<gui::CLabel>();
    m_lengthLabel->CreateLabel(m_transportBar.get(), "Length:", left, (kToolBarHeight - kLengthLabelHeight) / 2,
                               kLengthLabelWidth, kLengthLabelHeight, Qt::AlignRight | Qt::AlignVCenter);
    left += kLengthLabelWidth + 4;
    m_length = std::make_unique<gui::CUpDown>();
    m_length->CreateUpDown(m_transportBar.get(), left, (kToolBarHeight - kLengthFieldHeight) / 2, kLengthFieldWidth,
                           kLengthFieldHeight, kMinSongLength, kMaxSongLength, 1, m_song.Length());
    m_length->SetToolTip("Sequence Length");

    m_patternBar = std::make_unique<CPageToolBar>();
    m_patternBar->Create(this, 0, kToolBarHeight, width, kToolBarHeight);
    m_patternBox = std::make_unique<gui::CComboBox>();
    m_patternBox->CreateComboBox(m_patternBar.get(), 4, (kToolBarHeight - 22) / 2, kPatternBoxWidth, 22);
    m_patternBox->Combo()->setObjectName("PatternCombo");
    m_patternBox->Combo()->setToolTip("Select Pattern");
    m_rowNote = std::make_unique<gui::CLabel>();
    m_rowNote->CreateLabel(m_patternBar.get(), "", 4 + kPatternBoxWidth + 10, 0, std::max(0, width - 140),
                           kToolBarHeight - 1, Qt::AlignLeft | Qt::AlignVCenter);

    m_view = std::make_unique<CSequenceView>(m_song, m_undo, m_context);
    m_view->Build(this, 0, kViewTop, width, std::max(1, height - kViewTop));
    m_view->SetEditedCallback([this] { ApplyNews(); });

    m_song.AddListener(this);
    m_sequencer.Patterns().AddListener(this);
    m_listening = true;
    Note(kNewsAll);
    ApplyNews();

    m_timer = gui::UiClock().MakeTimer([this] { Tick(); });
    m_timer->Start(kRefreshIntervalMs);
}

void CSequenceEditorPage::Show() {
    gui::CControl::Show();
    for (gui::CControl* control : std::initializer_list<gui::CControl*>{
             m_transportBar.get(), m_patternBar.get(), m_play.get(), m_record.get(), m_stop.get(), m_loop.get(),
             m_lengthLabel.get(), m_length.get(), m_patternBox.get(), m_rowNote.get(), m_view.get()})
        control->Show();
}

void CSequenceEditorPage::SizeChanged(int width, int height) {
    gui::CControl::SizeChanged(width, height);
    if (!m_view) return;
    m_transportBar->MoveResize(0, 0, width, kToolBarHeight);
    m_patternBar->MoveResize(0, kToolBarHeight, width, kToolBarHeight);
    m_rowNote->MoveResize(m_rowNote->X(), 0, std::max(0, width - m_rowNote->X() - 4), kToolBarHeight - 1);
    m_view->MoveResize(0, kViewTop, width, std::max(1, height - kViewTop));
}

// ----- news -----

void CSequenceEditorPage::SequenceEditorChanged(SequenceEditorChange change) {
    switch (change) {
    case SequenceEditorChange::Rows:
        Note(kNewsRows | kNewsPatternBox);
        break;
    case SequenceEditorChange::Entries:
        Note(kNewsEntries);
        break;
    case SequenceEditorChange::PatternBox:
        Note(kNewsPatternBox);
        break;
    case SequenceEditorChange::Transport:
        Note(kNewsTransport | kNewsMarker);
        break;
    case SequenceEditorChange::PlayMarker:
        Note(kNewsMarker);
        break;
    }
}

void CSequenceEditorPage::PatternEditorChanged(PatternEditorChange change) {
    // Patterns renamed, made, removed or resized: the box's names and the placements' boxes.
    if (change == PatternEditorChange::Machines || change == PatternEditorChange::Selection)
        Note(kNewsPatternBox | kNewsEntries);
}

void CSequenceEditorPage::Tick() {
    m_song.RefreshDisplay();
    ApplyNews();
}

void CSequenceEditorPage::ApplyNews() {
    if (!m_view) return;
    const uint32_t news = m_news.exchange(0, std::memory_order_acq_rel);
    if (news == 0) return;
    if (news & kNewsPatternBox) FillPatternBox();
    if (news & kNewsEntries) {
        if (static_cast<int32_t>(m_length->Value()) != m_song.Length()) m_length->SetValue(m_song.Length());
    }
    if (news & kNewsTransport) ShowTransport();
    if (news & (kNewsRows | kNewsEntries | kNewsPatternBox))
        m_view->SongChanged();
    if (news & kNewsMarker) m_view->MoveMarker(m_song.DisplayPosition());
}

void CSequenceEditorPage::FillPatternBox() {
    const std::vector<Pattern*> patterns = m_song.PatternBox();
    const Pattern* chosen = m_song.ChosenPattern();
    m_patternBox->Clear();
    int selection = -1;
    for (size_t i = 0; i < patterns.size(); ++i) {
        m_patternBox->AddEntry(QString::fromUtf8(patterns[i]->Name()));
        if (patterns[i] == chosen) selection = static_cast<int>(i);
    }
    m_patternBox->SetSelection(selection);
    const int32_t row = m_song.SelectedRow();
    QString note;
    if (row < 0)
        note = "Click a row's name to choose what it plays.";
    else if (patterns.empty())
        note = QString("%1 has no patterns yet.").arg(QString::fromStdString(m_song.RowLabel(row)));
    else
        note = QString("Click in %1's row to place the pattern; drag to move, right-click to remove.")
                   .arg(QString::fromStdString(m_song.RowLabel(row)));
    m_rowNote->SetText(note);
}

void CSequenceEditorPage::ShowTransport() {
    m_play->SetOn(m_song.IsPlayDown());
    m_record->SetOn(m_song.IsRecordDown());
    m_loop->SetOn(m_song.IsLooping());
}

// ----- the user's changes -----

void CSequenceEditorPage::PressPlay() {
    m_song.PlaySong();
    ApplyNews();
}

void CSequenceEditorPage::PressRecord() {
    m_song.SetRecordSong(!m_song.IsRecordDown());
    ApplyNews();
}

void CSequenceEditorPage::PressStop() {
    m_song.StopSong();
    ApplyNews();
}

void CSequenceEditorPage::PressLoop() {
    m_song.SetLoop(!m_song.IsLooping());
    ApplyNews();
}

void CSequenceEditorPage::ComboChanged(gui::CComboBox* combo) {
    if (combo != m_patternBox.get()) return;
    m_song.ChoosePattern(m_patternBox->Selection());
    ApplyNews();
}

void CSequenceEditorPage::ChildChanged(gui::CControl* child) {
    if (child != m_length.get()) return;
    const int32_t beats = static_cast<int32_t>(m_length->Value());
    if (beats != m_song.Length()) m_undo.Do(UndoCommands::SetSongLength(m_context, beats));
    // The field shows the model's length again (the same unless the edit was refused).
    Note(kNewsEntries);
    ApplyNews();
}

} // namespace sequence_editor
