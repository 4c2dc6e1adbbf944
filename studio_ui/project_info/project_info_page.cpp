#include "studio_ui/project_info/project_info_page.h"

#include "engine/studio.h"
#include "gui/color_manager.h"
#include "gui/dialog_service.h"
#include "persistence/project_file.h"
#include "studio_ui/undo/undo_commands.h"
#include "studio_ui/undo_view/typing_gesture.h"

#include <QPalette>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <exception>

namespace project_info {

CProjectInfoPage::CProjectInfoPage(CProject& project, CStudio& studio, CUndoStack* history, const UndoContext* target)
    : m_project(project), m_studio(studio), m_history(target ? history : nullptr), m_target(history ? target : nullptr) {}

CProjectInfoPage::~CProjectInfoPage() {
    m_typing.reset();
    m_studio.Observer().RemoveListener(this);
}

void CProjectInfoPage::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "Project Info", x, y, width, height, false);
    m_editor = new QPlainTextEdit(Widget());
    m_editor->setObjectName("ProjectInfoText");
    QPalette palette = m_editor->palette();
    palette.setColor(QPalette::Base, Colors().Color(gui::kSlotFieldBackground));
    palette.setColor(QPalette::Text, Colors().Color(gui::kSlotButtonText));
    m_editor->setPalette(palette);
    m_editor->setFont(gui::MakeFont(gui::kDefaultFace, 10, false));
    m_editor->setPlaceholderText("Notes on this project: who plays what, the key, the tempo changes, ideas...");
    QObject::connect(m_editor, &QPlainTextEdit::textChanged, [this] {
        if (m_loading) return;
        const std::string text = m_editor->toPlainText().toStdString();
        if (!m_history) {
            m_project.SetInfo(text);
            return;
        }
        try {
            m_history->Do(UndoCommands::SetProjectText(*m_target, text));
        } catch (const std::exception& error) {
            gui::ShowError(Widget(), QString::fromStdString(error.what()));
        }
    });
    if (m_history) {
        m_editor->setUndoRedoEnabled(false);
        m_typing = std::make_unique<undo_view::CTypingGesture>(*m_history, m_editor);
    }
    SizeChanged(width, height);
    m_studio.Observer().AddListener(this);
    Reload();
}

void CProjectInfoPage::Reload() {
    if (!m_editor) return;
    const QString text = QString::fromStdString(m_project.Info());
    if (text == m_editor->toPlainText()) return;
    m_loading = true;
    m_editor->setPlainText(text);
    m_editor->moveCursor(QTextCursor::End);
    m_loading = false;
}

void CProjectInfoPage::SizeChanged(int width, int height) {
    gui::CControl::SizeChanged(width, height);
    if (m_editor) m_editor->setGeometry(4, 4, std::max(0, width - 12), std::max(0, height - 12));
}

} // namespace project_info
