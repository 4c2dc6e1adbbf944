#include "gui/dialog_service.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

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
    // Moved into the parameter rather than a new local: GCC 12 at -O3 takes a fresh
    // std::optional<QString> for uninitialised (-Wmaybe-uninitialized).
    whenEmpty = std::move(queue.front());
    queue.pop_front();
    return whenEmpty;
}

} // namespace

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
