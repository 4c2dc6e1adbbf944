#include "gui/dialog_service.h"

#include <algorithm>

#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

namespace gui {
namespace {

class CQtDialogs : public CDialogService {
public:
    std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& label,
                                   const QString& current) override {
        bool ok = false;
        QString text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, current, &ok);
        if (!ok) return std::nullopt;
        return text;
    }
    std::optional<QString> OpenFile(QWidget* parent, const QString& title, const QString& filter,
                                    const QString& folder) override {
        return Chosen(QFileDialog::getOpenFileName(parent, title, folder, filter));
    }
    std::optional<QString> SaveFile(QWidget* parent, const QString& title, const QString& filter,
                                    const QString& suggestion) override {
        return Chosen(QFileDialog::getSaveFileName(parent, title, suggestion, filter));
    }
    std::optional<QString> SaveFileOfType(QWidget* parent, const QString& title, const QStringList& filters,
                                          int preselected, const QString& defaultSuffix, const QString& suggestion,
                                          int* chosenFilter) override {
        QFileDialog dialog(parent, title, suggestion);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(filters);
        dialog.setDefaultSuffix(defaultSuffix);
        if (preselected >= 0 && preselected < filters.size()) dialog.selectNameFilter(filters[preselected]);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        if (chosenFilter) *chosenFilter = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
        return Chosen(dialog.selectedFiles().front());
    }
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& title, const QString& folder) override {
        return Chosen(QFileDialog::getExistingDirectory(parent, title, folder));
    }
    MessageAnswer Message(QWidget* parent, MessageKind kind, const QString& text) override {
        switch (kind) {
        case MessageKind::kInformation:
            QMessageBox::information(parent, kMessageCaption, text);
            return MessageAnswer::kOk;
        case MessageKind::kWarning:
            QMessageBox::warning(parent, kMessageCaption, text);
            return MessageAnswer::kOk;
        case MessageKind::kError:
            QMessageBox::critical(parent, kMessageCaption, text);
            return MessageAnswer::kOk;
        case MessageKind::kQuestion:
            break;
        }
        const auto button = QMessageBox::question(parent, kMessageCaption, text,
                                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                                  QMessageBox::Yes);
        if (button == QMessageBox::Yes) return MessageAnswer::kYes;
        if (button == QMessageBox::No) return MessageAnswer::kNo;
        return MessageAnswer::kCancel;
    }

    std::optional<int> PopUpMenu(QWidget* parent, QPoint position, const std::vector<MenuEntry>& entries) override {
        QMenu menu(parent);
        std::vector<QAction*> actions;
        for (const MenuEntry& entry : entries) {
            QAction* action = entry.separator ? menu.addSeparator() : menu.addAction(entry.text);
            action->setEnabled(entry.enabled && !entry.separator);
            actions.push_back(action);
        }
        QAction* chosen = menu.exec(parent ? parent->mapToGlobal(position) : position);
        for (size_t i = 0; i < actions.size(); ++i)
            if (actions[i] == chosen) return static_cast<int>(i);
        return std::nullopt;
    }

private:
    static std::optional<QString> Chosen(const QString& path) {
        if (path.isEmpty()) return std::nullopt;
        return path;
    }
};

CDialogService* g_installed = nullptr;

template <typename T>
T TakeNext(std::deque<T>& queue, T whenEmpty) {
    if (queue.empty()) return whenEmpty;
    T next = queue.front();
    queue.pop_front();
    return next;
}

// Texts are taken apart from the generic case: they are copied out of the optional only when
// one is there.
std::optional<QString> TakeNext(std::deque<std::optional<QString>>& queue, std::optional<QString>) {
    if (queue.empty()) return std::nullopt;
    const bool given = queue.front().has_value();
    const QString text = given ? *queue.front() : QString();
    queue.pop_front();
    if (!given) return std::nullopt;
    return text;
}

} // namespace

std::optional<QString> CDialogService::SaveFileOfType(QWidget* parent, const QString& title, const QStringList& filters,
                                                      int preselected, const QString& /*defaultSuffix*/,
                                                      const QString& suggestion, int* chosenFilter) {
    if (chosenFilter) *chosenFilter = preselected;
    return SaveFile(parent, title, filters.join(";;"), suggestion);
}

CDialogService& Dialogs() {
    static CQtDialogs qt;
    return g_installed ? *g_installed : qt;
}

void SetDialogs(CDialogService* service) { g_installed = service; }

void ShowError(QWidget* parent, const QString& text) { Dialogs().Message(parent, MessageKind::kError, text); }

std::optional<QString> CScriptedDialogs::AskText(QWidget*, const QString& title, const QString&, const QString&) {
    asked.push_back("text: " + title);
    return TakeNext(texts, std::optional<QString>{});
}
std::optional<QString> CScriptedDialogs::OpenFile(QWidget*, const QString& title, const QString&, const QString&) {
    asked.push_back("open: " + title);
    return TakeNext(openFiles, std::optional<QString>{});
}
std::optional<QString> CScriptedDialogs::SaveFile(QWidget*, const QString& title, const QString&, const QString&) {
    asked.push_back("save: " + title);
    return TakeNext(saveFiles, std::optional<QString>{});
}
std::optional<QString> CScriptedDialogs::SaveFileOfType(QWidget*, const QString& title, const QStringList&,
                                                        int preselected, const QString& defaultSuffix, const QString&,
                                                        int* chosenFilter) {
    asked.push_back("save: " + title);
    const int filter = TakeNext(saveFilters, preselected);
    std::optional<QString> path = TakeNext(saveFiles, std::optional<QString>{});
    if (!path) return std::nullopt;
    if (chosenFilter) *chosenFilter = filter;
    const QString name = path->section('/', -1);
    if (!defaultSuffix.isEmpty() && !name.contains('.')) *path += "." + defaultSuffix;
    return path;
}
std::optional<QString> CScriptedDialogs::ChooseFolder(QWidget*, const QString& title, const QString&) {
    asked.push_back("folder: " + title);
    return TakeNext(folders, std::optional<QString>{});
}
MessageAnswer CScriptedDialogs::Message(QWidget*, MessageKind kind, const QString& text) {
    static const char* const kKinds[] = {"information", "warning", "error", "question"};
    asked.push_back(QString(kKinds[static_cast<int>(kind)]) + ": " + text);
    return TakeNext(answers, kind == MessageKind::kQuestion ? MessageAnswer::kCancel : MessageAnswer::kOk);
}

} // namespace gui

namespace gui {

std::optional<int> CScriptedDialogs::PopUpMenu(QWidget*, QPoint position, const std::vector<MenuEntry>& entries) {
    lastMenu.clear();
    for (const MenuEntry& entry : entries)
        lastMenu.push_back(entry.separator ? QString("-") : entry.enabled ? entry.text : entry.text + " (greyed)");
    lastMenuPosition = position;
    asked.push_back("menu: " + (entries.empty() ? QString() : entries.front().text));
    const std::optional<int> choice = TakeNext(menuChoices, std::optional<int>{});
    if (!choice || *choice < 0 || *choice >= static_cast<int>(entries.size())) return std::nullopt;
    const MenuEntry& entry = entries[static_cast<size_t>(*choice)];
    if (entry.separator || !entry.enabled) return std::nullopt;
    return choice;
}

} // namespace gui
