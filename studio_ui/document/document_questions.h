// CDocumentQuestions: what the project document asks the user while it carries out New, Open,
// Save, Save As and Quit, and how it tells of errors. The studio window answers with its dialogs
// (a message box captioned "Tamborel", the platform's file dialogs); tests answer from a script.
// Called on the user-interface thread, from inside the document's commands, with no studio or
// sequencer lock held, so a dialog may stay open while the audio plays on.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

class CDocumentQuestions {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~CDocumentQuestions() = default;

    // "Save changes to '<name>'?" with Yes, No and Cancel; name is the file name or "Untitled".
    virtual Answer AskSaveChanges(const std::string& projectName) = 0;
    // The file-open dialog ("Tamborel Project (*.tbp)"); nothing when cancelled.
    virtual std::optional<std::filesystem::path> AskOpenPath() = 0;
    // The file-save dialog, starting at the suggestion; nothing when cancelled.
    virtual std::optional<std::filesystem::path> AskSavePath(const std::filesystem::path& suggestion) = 0;
    // Whether to load the recovery file the autosave wrote (at savedAt, wall-clock time) in place
    // of the project's own file. Declining removes it.
    virtual bool AskRecover(const std::filesystem::path& recoveryFile,
                            std::chrono::system_clock::time_point savedAt) = 0;
    // An error text, shown alone ("%s").
    virtual void ShowError(const std::string& text) = 0;
};
