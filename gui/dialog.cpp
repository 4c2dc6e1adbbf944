#include "gui/dialog.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>

namespace gui {

namespace {
constexpr int kButtonWidth = 76;
constexpr int kButtonHeight = 24;
constexpr int kMargin = 8;
} // namespace

CDialog::~CDialog() {
    if (m_loop) m_loop->quit();
}

void CDialog::CreateDialog(CControl* owner, const QString& title, int width, int height) {
    const int x = owner ? owner->X() + 40 : 100;
    const int y = owner ? owner->Y() + 40 : 100;
    CreateWindow(owner, title, x, y, width, height, false);
    Widget()->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Widget()->setGeometry(x, y, width, height);
    const int top = height - kMargin - kButtonHeight;
    const int cancelX = width - kMargin - kButtonWidth;
    m_ok.CreateButton(this, "OK", cancelX - kMargin / 2 - kButtonWidth, top, kButtonWidth, kButtonHeight);
    m_cancel.CreateButton(this, "Cancel", cancelX, top, kButtonWidth, kButtonHeight);
    m_ok.Show();
    m_cancel.Show();
}

int CDialog::ContentHeight() const { return std::max(Height() - 2 * kMargin - kButtonHeight, 0); }

DialogAnswer CDialog::Exec() {
    if (m_loop) return DialogAnswer::kCancel;
    Widget()->setWindowModality(Qt::ApplicationModal);
    Open();
    QEventLoop loop;
    m_loop = &loop;
    // The answer may already be in (an event handled while the window was being shown).
    if (m_open) loop.exec(QEventLoop::DialogExec);
    m_loop = nullptr;
    Widget()->setWindowModality(Qt::NonModal);
    return m_answer;
}

void CDialog::Open() {
    m_answer = DialogAnswer::kNone;
    m_open = true;
    Show();
    Widget()->activateWindow();
}

void CDialog::Accept() {
    if (!m_open || !Accepting()) return;
    Finish(DialogAnswer::kOk);
}

void CDialog::Reject() {
    if (!m_open) return;
    Finish(DialogAnswer::kCancel);
}

void CDialog::Finish(DialogAnswer answer) {
    m_answer = answer;
    m_open = false;
    ShowWith(ShowCommand::kHide);
    if (m_loop) m_loop->quit();
    Finished(answer);
}

void CDialog::ButtonClicked(CButton* button) {
    if (button == &m_ok) Accept();
    else if (button == &m_cancel) Reject();
}

bool CDialog::KeyPressed(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Accept();
        return true;
    case Qt::Key_Escape:
        Reject();
        return true;
    default:
        return false;
    }
}

bool CDialog::CloseRequested() {
    // The close box is Cancel; the dialog hides itself, so the window system need not close it.
    Reject();
    return false;
}

bool CDialog::Accepting() { return true; }

void CDialog::Finished(DialogAnswer) {}

} // namespace gui
