// The dialogs the views open: rename, file open and save, folder choice and message boxes. The
// views ask through this service; the program installs the Qt dialogs, tests install a scripted
// service that answers from a list and records every question.
//
// Threads: user-interface thread only. Never called while the studio mutex is held: a dialog
// runs its own event loop for as long as the user takes.
#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace gui {

// One entry of a pop-up menu. A greyed entry is shown but cannot be chosen.
struct MenuEntry {
    QString text;
    bool enabled = true;
    bool separator = false;
};

enum class MessageKind { kInformation, kWarning, kError, kQuestion };
enum class MessageAnswer { kOk, kYes, kNo, kCancel };

class CDialogService {
public:
    virtual ~CDialogService() = default;
    // A one-line text, started with `current`. Empty optional when cancelled.
    virtual std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& label,
                                           const QString& current) = 0;
    // filter as Qt writes it: "SoundFont Banks (*.sf2)".
    virtual std::optional<QString> OpenFile(QWidget* parent, const QString& title, const QString& filter,
                                            const QString& folder) = 0;
    virtual std::optional<QString> SaveFile(QWidget* parent, const QString& title, const QString& filter,
                                            const QString& suggestion) = 0;
    // A save dialog offering several file types (Qt's filter texts, "WAV PCM 16-bit Integer (*.WAV)").
    // `preselected` is the index of the type shown first; *chosenFilter receives the index of the
    // type the user confirmed with. A name typed without an extension gets `defaultSuffix`; an
    // existing file is only chosen after the user agreed to overwrite it. This default asks
    // through SaveFile and reports the preselected type.
    virtual std::optional<QString> SaveFileOfType(QWidget* parent, const QString& title, const QStringList& filters,
                                                  int preselected, const QString& defaultSuffix,
                                                  const QString& suggestion, int* chosenFilter);
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title, const QString& folder) = 0;
    // A box captioned "Tamborel". kQuestion offers Yes, No and Cancel; the others only Ok.
    virtual MessageAnswer Message(QWidget* parent, MessageKind kind, const QString& text) = 0;
    // A pop-up menu at `position` (parent's coordinates); the index of the chosen entry (counting
    // separators), or empty when the user chose nothing.
    virtual std::optional<int> PopUpMenu(QWidget* parent, QPoint position, const std::vector<MenuEntry>& entries) = 0;
};

// The service the views use: Qt's dialogs unless a test installed another.
CDialogService& Dialogs();
// Installs a service (null: back to Qt's dialogs). The caller keeps it alive while installed.
void SetDialogs(CDialogService* service);

// The caption of every message box.
inline constexpr const char* kMessageCaption = "Tamborel";

// Shows an error text in the error box; what the window does with every thrown error text.
void ShowError(QWidget* parent, const QString& text);

// Answers from a script. Each question takes the next queued answer of its kind; with none
// queued it answers "cancelled" (or Cancel). Every question is recorded as
// "<kind>: <title or text>" for the test to read.
class CScriptedDialogs : public CDialogService {
public:
    std::deque<std::optional<QString>> texts, openFiles, saveFiles, folders;
    // The file type each SaveFileOfType answer was confirmed with (none queued: the preselected).
    std::deque<int> saveFilters;
    std::deque<MessageAnswer> answers;
    std::deque<std::optional<int>> menuChoices;
    std::vector<QString> asked;
    // The entries of the last menu shown, greyed ones marked "(greyed)", separators as "-".
    std::vector<QString> lastMenu;

    std::optional<QString> AskText(QWidget*, const QString& title, const QString&, const QString&) override;
    std::optional<QString> OpenFile(QWidget*, const QString& title, const QString&, const QString&) override;
    std::optional<QString> SaveFile(QWidget*, const QString& title, const QString&, const QString&) override;
    // Records "save: <title>" and takes the next of saveFiles and saveFilters; a chosen path
    // without an extension gets the default suffix, as the real dialog adds it.
    std::optional<QString> SaveFileOfType(QWidget*, const QString& title, const QStringList& filters, int preselected,
                                          const QString& defaultSuffix, const QString&, int* chosenFilter) override;
    std::optional<QString> ChooseFolder(QWidget*, const QString& title, const QString&) override;
    MessageAnswer Message(QWidget*, MessageKind kind, const QString& text) override;
    // A choice of a greyed entry or a separator is refused, as the real menu would.
    std::optional<int> PopUpMenu(QWidget*, QPoint position, const std::vector<MenuEntry>& entries) override;
    QPoint lastMenuPosition;
};

} // namespace gui
