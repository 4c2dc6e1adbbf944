// What the project document's tests stand on: a folder of the running test's own with the
// configuration and state folders below it, a studio with its sequencer and project, the scripted
// questions and the document over them.
#pragma once

#include "engine/studio.h"
#include "sequencer/sequencer.h"
#include "studio_ui/document/project_document.h"
#include "studio_ui/document/recent_projects.h"
#include "tests/studio_ui/scripted_questions.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace document_test {

// Sets an environment variable for the life of the object.
class CScopedVariable {
public:
    CScopedVariable(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~CScopedVariable() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }
    CScopedVariable(const CScopedVariable&) = delete;
    CScopedVariable& operator=(const CScopedVariable&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// prefix + the running test's name under the test binary folder, emptied, with "songs" in it.
inline fs::path FreshFolder(const std::string& prefix) {
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) /
                            (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder / "songs");
    return folder;
}

// A new project in a studio of test machines, and its document; the recent-projects list in the
// configuration folder. The folder goes with the rig.
class CDocumentRig {
public:
    explicit CDocumentRig(const std::string& prefix)
        : m_folder(FreshFolder(prefix)), m_config("XDG_CONFIG_HOME", (m_folder / "config").string()),
          m_state("XDG_STATE_HOME", (m_folder / "state").string()), m_sequencer(m_studio.m_host.get()),
          m_project(m_studio.m_studio.get(), &m_sequencer), m_recent(),
          m_document(m_project, m_questions, m_recent) {
        m_studio.m_studio->AttachSequencer(&m_sequencer);
        m_project.New();
    }
    ~CDocumentRig() {
        m_studio.m_studio->Clear();
        fs::remove_all(m_folder);
    }
    CDocumentRig(const CDocumentRig&) = delete;
    CDocumentRig& operator=(const CDocumentRig&) = delete;

    CStudio& Studio() { return *m_studio.m_studio; }

    fs::path m_folder;
    CScopedVariable m_config;
    CScopedVariable m_state;
    CStudioFixture m_studio;
    CSequencer m_sequencer;
    CProject m_project;
    CScriptedQuestions m_questions;
    CRecentProjects m_recent;
    CProjectDocument m_document;
};

} // namespace document_test
