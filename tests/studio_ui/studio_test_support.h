// What the window tests over a whole application share: a folder of the running test's own, with
// the configuration and state folders below it, and the settings of an offline application that
// loads QX Stockrack and no VST plug-ins.
#pragma once

#include "app/application.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace studio_test {

// An empty folder named prefix + the running test's name under the test binary folder;
// XDG_CONFIG_HOME and XDG_STATE_HOME point below it, so options, recovery files and recent
// projects stay inside.
inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
    const std::filesystem::path root = std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) /
                                       (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
    return root;
}

// An offline application's settings: QX Stockrack from the build, no VST folders, start-up
// messages to the stream.
inline CApplication::Settings OfflineSettings(std::ostream& messages) {
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Offline;
    settings.pluginFolder = std::filesystem::path(TAMBOREL_BIN_DIR) / "PlugIns";
    settings.vstFolders = std::vector<std::filesystem::path>{};
    settings.messages = &messages;
    return settings;
}

} // namespace studio_test
