// CDialog: a dialog window with OK and Cancel buttons at its bottom right. Subclasses place their
// fields in the area above the buttons (ContentHeight) and may refuse OK while a field is wrong.
// Exec shows it modal and returns the answer when the user has given one; Open shows it without
// blocking and the answer arrives through Finished. Enter answers OK (unless a button with the
// focus takes it), Escape and the window's close box answer Cancel.
//
// Threads: user-interface thread only. Exec runs a nested event loop: never call it while holding
// the studio's lock.
#pragma once

#include "gui/button.h"
#include "gui/window.h"

class QEventLoop;

namespace gui {

enum class DialogAnswer { kNone, kOk, kCancel };

class CDialog : public CWindow {
public:
    ~CDialog() override;
    // width and height are the client area's; owner may be null.
    void CreateDialog(CControl* owner, const QString& title, int width, int height);
    // The room above the buttons for the subclass's fields.
    int ContentHeight() const;

    // Shows the dialog modal and waits (in its own event loop) for the answer. A second Exec while
    // one runs answers kCancel at once. The dialog must outlive its Exec: whoever answers it may
    // not destroy it from inside the loop.
    DialogAnswer Exec();
    // Shows the dialog without blocking; Finished reports the answer.
    void Open();
    // OK: closes with kOk when Accepting agrees. Cancel: closes with kCancel.
    void Accept();
    void Reject();
    // The last answer; kNone while open or before the first.
    DialogAnswer Answer() const { return m_answer; }
    bool IsOpen() const { return m_open; }
    CButton& OkButton() { return m_ok; }
    CButton& CancelButton() { return m_cancel; }

    void ButtonClicked(CButton* button) override;
    bool KeyPressed(QKeyEvent* event) override;
    bool CloseRequested() override;

protected:
    // Asked before OK closes the dialog; false keeps it open (a field is wrong, say).
    virtual bool Accepting();
    // The dialog has closed with this answer.
    virtual void Finished(DialogAnswer answer);

private:
    void Finish(DialogAnswer answer);

    CButton m_ok;
    CButton m_cancel;
    DialogAnswer m_answer = DialogAnswer::kNone;
    bool m_open = false;
    QEventLoop* m_loop = nullptr;
};

} // namespace gui
