// What the tests of the two editor pages share: an offline application with an undo history over
// its studio, sequencer and project, and the page under test alone in a window of its own.
#pragma once

#include "app/application.h"
#include "gui/window.h"
#include "studio_ui/undo/edit_snapshots.h"
#include "studio_ui/undo/undo_stack.h"
#include "tests/gui/gui_test_support.h"
#include "tests/studio_ui/studio_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

namespace studio_test {

template <class Page> class EditorPageTest : public ::testing::Test {
protected:
    // The application, in a fresh folder named prefix + the running test's name; a buffer size of
    // 0 keeps the settings' own.
    void MakeApplication(const std::string& prefix, int32_t bufferSize = 0) {
        m_root = FreshTestFolder(prefix);
        CApplication::Settings settings = OfflineSettings(m_messages);
        if (bufferSize > 0) settings.bufferSize = bufferSize;
        m_application = std::make_unique<CApplication>(settings);
        m_context.emplace(UndoContext{*m_application->Studio(), *m_application->Sequencer(), m_application->Project()});
    }
    void TearDown() override {
        m_page.reset();
        m_window.reset();
        m_application.reset();
        std::filesystem::remove_all(m_root);
    }
    // The page over the given model and the history, built over the whole client area and shown.
    template <class Model> void OpenPage(const char* title, Model& model, int width, int height) {
        m_window = std::make_unique<gui::CWindow>();
        m_window->CreateWindow(nullptr, title, 0, 0, width, height, false);
        m_page = std::make_unique<Page>(model, m_undo, *m_context);
        m_page->Build(m_window.get(), 0, 0, width, height);
        m_window->Show();
        m_page->Show();
        m_stage.Settle();
    }

    gui_test::Stage m_stage;
    std::filesystem::path m_root;
    std::ostringstream m_messages;
    std::unique_ptr<CApplication> m_application;
    std::optional<UndoContext> m_context;
    CUndoStack m_undo;
    std::unique_ptr<gui::CWindow> m_window;
    std::unique_ptr<Page> m_page;
};

} // namespace studio_test
