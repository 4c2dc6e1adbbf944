// The project document's questions answered from a script, for the document's tests: each
// question is noted in `asked`, and one the script did not expect fails the test.
#pragma once

#include "studio_ui/document/document_questions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace document_test {

namespace fs = std::filesystem;
using Answer = CDocumentQuestions::Answer;

class CScriptedQuestions : public CDocumentQuestions {
public:
    Answer AskSaveChanges(const std::string& projectName) override {
        asked.push_back("save changes " + projectName);
        if (saveChanges.empty()) {
            ADD_FAILURE() << "unexpected \"Save changes?\" for " << projectName;
            return Answer::Cancel;
        }
        const Answer answer = saveChanges.front();
        saveChanges.pop_front();
        return answer;
    }
    std::optional<fs::path> AskOpenPath() override {
        asked.push_back("open path");
        return Next(openPaths, "open");
    }
    std::optional<fs::path> AskSavePath(const fs::path& suggestion) override {
        asked.push_back("save path " + suggestion.string());
        return Next(savePaths, "save");
    }
    bool AskRecover(const fs::path& recoveryFile, std::chrono::system_clock::time_point savedAt) override {
        asked.push_back("recover " + recoveryFile.string());
        recoverySavedAt = savedAt;
        if (recover.empty()) {
            ADD_FAILURE() << "unexpected recovery offer for " << recoveryFile;
            return false;
        }
        const bool answer = recover.front();
        recover.pop_front();
        return answer;
    }
    void ShowError(const std::string& text) override { errors.push_back(text); }

    // Every question was asked that the script expected.
    bool Spent() const { return saveChanges.empty() && openPaths.empty() && savePaths.empty() && recover.empty(); }

    std::deque<Answer> saveChanges;
    std::deque<std::optional<fs::path>> openPaths;
    std::deque<std::optional<fs::path>> savePaths;
    std::deque<bool> recover;
    std::vector<std::string> asked;
    std::vector<std::string> errors;
    std::chrono::system_clock::time_point recoverySavedAt;

private:
    static std::optional<fs::path> Next(std::deque<std::optional<fs::path>>& script, const char* dialog) {
        if (script.empty()) {
            ADD_FAILURE() << "unexpected " << dialog << " dialog";
            return std::nullopt;
        }
        std::optional<fs::path> answer = script.front();
        script.pop_front();
        return answer;
    }
};

} // namespace document_test
