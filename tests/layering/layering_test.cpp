// The layering checker itself, on small trees made for each test: it must pass a tree that keeps
// its floors and catch each way of breaking them.
#include "tests/layering/layering_rules.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;

class LayeringCheckerTest : public ::testing::Test {
protected:
    LayeringCheckerTest() {
        m_root = fs::path(TAMBOREL_TEST_BINARY_DIR) /
                 ("tree-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_root);
        // A tree that follows the rules, including an allowed sideways exception.
        Write("platform/clock.h", "#pragma once\n#include <cstdint>\n");
        Write("machine_interface/machine.h", "#include \"platform/clock.h\"\n");
        Write("engine/studio.h", "#include \"machine_interface/machine.h\"\n#include \"engine/volume.h\"\n");
        Write("engine/dsp/volume.cpp", "#include \"platform/clock.h\"\n");
        Write("sequencer/sequencer.h", "#include \"engine/studio_sequencer.h\"\n");
        Write("gui/knob.h", "#include <QWidget>\n#include \"engine/studio.h\"\n");
        Write("studio_ui/studio/view.cpp", "#include <QtWidgets/QPushButton>\n#include \"gui/knob.h\"\n");
        Write("app/main.cpp", "#include \"studio_ui/studio/view.h\"\n#include <QApplication>\n");
        Write("tests/engine/anything.cpp", "#include <QTest>\n#include \"app/main.h\"\n");
        Write("engine/notes.txt", "#include <QWidget>\n");
    }
    ~LayeringCheckerTest() override { fs::remove_all(m_root); }

    void Write(const std::string& relative, const std::string& text) {
        const fs::path path = m_root / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::app) << text;
    }
    std::vector<std::string> Found() {
        std::vector<std::string> found;
        for (const auto& violation : layering::Check(m_root))
            found.push_back(layering::Describe(violation));
        return found;
    }

    fs::path m_root;
};

TEST_F(LayeringCheckerTest, ATreeThatKeepsItsFloorsPasses) {
    EXPECT_EQ(Found(), std::vector<std::string>{});
}

TEST_F(LayeringCheckerTest, AQtIncludeBelowTheViewsFails) {
    Write("engine/studio.cpp", "#include \"engine/studio.h\"\n\n  #  include <QObject>\n");
    Write("machine_interface/port.h", "#include <QtCore/QString>\n");
    Write("platform/files.h", "#include <QString.h>\n");
    EXPECT_EQ(Found(), (std::vector<std::string>{
                           "engine/studio.cpp:3: QObject: Qt header below gui/ and studio_ui/",
                           "machine_interface/port.h:1: QtCore/QString: Qt header below gui/ and studio_ui/",
                           "platform/files.h:1: QString.h: Qt header below gui/ and studio_ui/",
                       }));
}

TEST_F(LayeringCheckerTest, UpwardAndSidewaysIncludesFailUnlessListed) {
    Write("platform/thread.h", "#include \"machine_interface/mutex.h\"\n");
    Write("engine/studio.cpp", "#include \"sequencer/pattern.h\"\n#include \"gui/knob.h\"\n");
    Write("machines/drum/drum.cpp", "#include \"host_machines/wav/wav_file.h\"\n");
    Write("gui/panel.cpp", "#include \"studio_ui/studio/view.h\"\n");
    // A listed exception covers that one header only.
    Write("sequencer/pattern.cpp", "#include \"engine/studio.h\"\n");
    EXPECT_EQ(Found(),
              (std::vector<std::string>{
                  "engine/studio.cpp:1: sequencer/pattern.h: engine/ may not include sequencer/",
                  "engine/studio.cpp:2: gui/knob.h: engine/ may not include gui/",
                  "gui/panel.cpp:1: studio_ui/studio/view.h: gui/ may not include studio_ui/",
                  "machines/drum/drum.cpp:1: host_machines/wav/wav_file.h: machines/ may not include "
                  "host_machines/",
                  "platform/thread.h:1: machine_interface/mutex.h: platform/ may not include "
                  "machine_interface/",
                  "sequencer/pattern.cpp:1: engine/studio.h: sequencer/ may not include engine/",
              }));
}

TEST_F(LayeringCheckerTest, TheOptionsFilePointsAtTheDriversAndTheViewsStandOnTheModels) {
    Write("persistence/options_file.h", "#include \"audio_out/driver_options.h\"\n");
    Write("studio_ui/pattern_editor/pattern_grid_geometry.h", "#include \"sequencer/pattern_editor.h\"\n");
    EXPECT_EQ(Found(), std::vector<std::string>{});
    Write("audio_out/driver_manager.h", "#include \"persistence/options_file.h\"\n");
    Write("host_machines/hd_recorder/stems.cpp", "#include \"engine/studio.h\"\n");
    Write("sequencer/pattern_editor.cpp", "#include \"studio_ui/pattern_editor/pattern_grid_geometry.h\"\n");
    EXPECT_EQ(Found(),
              (std::vector<std::string>{
                  "audio_out/driver_manager.h:1: persistence/options_file.h: audio_out/ may not include "
                  "persistence/",
                  "host_machines/hd_recorder/stems.cpp:1: engine/studio.h: host_machines/ may not include "
                  "engine/",
                  "sequencer/pattern_editor.cpp:1: studio_ui/pattern_editor/pattern_grid_geometry.h: "
                  "sequencer/ may not include studio_ui/",
              }));
}

TEST_F(LayeringCheckerTest, TheLibraryBuildsMachinesAndPanelsButNotTheProgram) {
    Write("library/entry.cpp",
          "#include \"machines/stock.h\"\n#include \"gui/knob.h\"\n#include <QWidget>\n");
    EXPECT_EQ(Found(), std::vector<std::string>{});
    Write("library/entry.cpp", "#include \"engine/studio.h\"\n");
    EXPECT_EQ(Found(), std::vector<std::string>{
                           "library/entry.cpp:4: engine/studio.h: library/ may not include engine/"});
}

TEST_F(LayeringCheckerTest, PicturesInsideGuiStayQtFreeAndBuildOnThePlatformOnly) {
    Write("gui/picture/png_reader.cpp",
          "#include \"gui/picture/picture.h\"\n#include \"platform/error.h\"\n#include <zlib.h>\n");
    Write("gui/panel.cpp", "#include \"gui/picture/picture.h\"\n#include <QImage>\n");
    Write("library/skin.cpp", "#include \"gui/picture/picture.h\"\n");
    EXPECT_EQ(Found(), std::vector<std::string>{});

    Write("gui/picture/picture.cpp",
          "#include <QImage>\n#include \"gui/knob.h\"\n#include \"machine_interface/machine.h\"\n");
    Write("machines/drum/drum.cpp", "#include \"gui/picture/picture.h\"\n");
    EXPECT_EQ(Found(), (std::vector<std::string>{
                           "gui/picture/picture.cpp:1: QImage: Qt header in gui/picture/, which stays Qt-free",
                           "gui/picture/picture.cpp:2: gui/knob.h: gui/picture/ may not include gui/",
                           "gui/picture/picture.cpp:3: machine_interface/machine.h: gui/picture/ may not include "
                           "machine_interface/",
                           "machines/drum/drum.cpp:1: gui/picture/picture.h: machines/ may not include gui/picture/",
                       }));
}

} // namespace
