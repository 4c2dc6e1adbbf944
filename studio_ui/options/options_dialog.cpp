#include "studio_ui/options/options_dialog.h"

#include "gui/dialog_service.h"
#include "persistence/options_file.h"
#include "studio_ui/options/audio_output_page.h"
#include "studio_ui/options/options_icons.h"
#include "studio_ui/options/vst_paths_page.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QListWidget>
#include <QWidget>

namespace options {

namespace {
constexpr int kMargin = 8;
constexpr int kListWidth = 104;
constexpr int kButtonWidth = 76;
constexpr int kButtonHeight = 24;
} // namespace

COptionsDialog::COptionsDialog(Options& options, COutputDriverManager* drivers, Hooks hooks)
    : m_options(options), m_drivers(drivers), m_hooks(std::move(hooks)) {}

COptionsDialog::~COptionsDialog() = default;

void COptionsDialog::Build(gui::CControl* owner) {
    const int x = owner ? owner->X() + 60 : 120;
    const int y = owner ? owner->Y() + 60 : 120;
    CreateWindow(owner, "Options", x, y, kWidth, kHeight, false);
    Widget()->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Widget()->setGeometry(x, y, kWidth, kHeight);
    Widget()->setFixedSize(kWidth, kHeight);

    const int bottom = kHeight - kMargin - kButtonHeight;
    const int areaHeight = bottom - 2 * kMargin;
    m_pages.CreateIconList(this, kMargin, kMargin, kListWidth, areaHeight, 32);
    // One column of pages, top to bottom.
    m_pages.List()->setFlow(QListView::TopToBottom);
    m_pages.List()->setWrapping(false);
    // Each caption gets the list's whole width, so "Audio Output" is not shortened.
    const QFontMetrics metrics = m_pages.List()->fontMetrics();
    m_pages.List()->setGridSize(QSize(kListWidth - 8, 32 + metrics.height() + 16));
    m_pages.AddIcon(AudioOutputIcon(), "Audio Output");
    m_pages.AddIcon(VstPathsIcon(), "VST Paths");
    m_pages.Show();

    const int pageX = 2 * kMargin + kListWidth;
    const int pageWidth = kWidth - pageX - kMargin;
    m_audio =
        std::make_unique<CAudioOutputPage>(m_options, m_drivers, m_hooks.switchDriver, m_hooks.driverProblem);
    m_audio->Build(this, pageX, kMargin, pageWidth, areaHeight);
    m_audio->SetChangeHook([this] { PageChanged(); });
    m_vst = std::make_unique<CVSTPaths>(m_options);
    m_vst->Build(this, pageX, kMargin, pageWidth, areaHeight);
    m_vst->SetChangeHook([this] { PageChanged(); });

    const int closeX = kWidth - kMargin - kButtonWidth;
    m_apply.CreateButton(this, "Apply", closeX - kMargin / 2 - kButtonWidth, bottom, kButtonWidth,
                         kButtonHeight);
    m_close.CreateButton(this, "Close", closeX, bottom, kButtonWidth, kButtonHeight);
    m_apply.SetToolTip("Use the changed settings now and save them");
    m_apply.SetEnabled(false);
    m_apply.Show();
    m_close.Show();
    ShowPage(kAudioOutput);
}

void COptionsDialog::Open() {
    if (IsVisible()) {
        // Already open: the pending changes stay as they are (the record holds them already).
        Widget()->activateWindow();
        return;
    }
    m_audio->Reload();
    m_vst->Reload();
    m_apply.SetEnabled(false);
    ShowPage(m_page);
    Show();
    Widget()->activateWindow();
}

void COptionsDialog::Close() {
    if (HasChanges()) Apply();
    ShowWith(gui::ShowCommand::kHide);
}

bool COptionsDialog::HasChanges() const {
    return (m_audio && m_audio->HasChanges()) || (m_vst && m_vst->HasChanges());
}

bool COptionsDialog::Apply() {
    bool ok = true;
    for (int page = 0; page < 2; ++page) {
        COptionsPage* changed = PageAt(page);
        if (changed->HasChanges() && !changed->Apply()) ok = false;
    }
    m_apply.SetEnabled(false);
    if (m_hooks.saveOptions && !m_hooks.saveOptions()) {
        gui::Dialogs().Message(Widget(), gui::MessageKind::kError,
                               QString("The options could not be saved to '%1'.")
                                   .arg(QString::fromStdString(OptionsFilePath().string())));
        ok = false;
    }
    return ok;
}

COptionsPage* COptionsDialog::PageAt(int page) const {
    if (page == kVstPaths) return m_vst.get();
    return m_audio.get();
}

void COptionsDialog::ShowPage(int page) {
    m_page = page == kVstPaths ? kVstPaths : kAudioOutput;
    m_audio->ShowWith(m_page == kAudioOutput ? gui::ShowCommand::kShow : gui::ShowCommand::kHide);
    m_vst->ShowWith(m_page == kVstPaths ? gui::ShowCommand::kShow : gui::ShowCommand::kHide);
    if (m_pages.Selection() != m_page) m_pages.SetSelection(m_page);
}

void COptionsDialog::PageChanged() {
    m_apply.SetEnabled(true);
}

void COptionsDialog::ButtonClicked(gui::CButton* button) {
    if (button == &m_apply)
        Apply();
    else if (button == &m_close)
        Close();
}

void COptionsDialog::ChildChanged(gui::CControl* child) {
    if (child == &m_pages && m_pages.Selection() >= 0) ShowPage(m_pages.Selection());
}

bool COptionsDialog::KeyPressed(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Close();
        return true;
    }
    return false;
}

bool COptionsDialog::CloseRequested() {
    // The window hides itself after applying, so the window system need not close it.
    Close();
    return false;
}

} // namespace options
