// Debian's real plug-ins (lsp-plugins-vst, dragonfly-reverb-vst: well over 50 libraries in the
// default folders): a project with one of them loads that library and no other, and the machine
// listing shows every plug-in's own name, vendor and category from the cache. Skips when the
// packages are missing. Each test runs in a process of its own (ctest), so the libraries this
// process has mapped are the ones the test loaded.
#include "tests/app/cli_helpers.h"

#include "app/application.h"
#include "host_machines/vst/vst_adapter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const fs::path kRoomReverb = "/usr/lib/lxvst/DragonflyRoomReverb-vst.so";

fs::path FreshConfig(const std::string& name) {
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    unsetenv("VST_PATH");
    return folder;
}

// A project file written byte by byte: the master and one plug-in machine cabled into it (the
// plug-in's first output port, index 1 behind its input), an empty song of 4 beats.
std::vector<uint8_t> OneMachineProject(const char identifier[10], const std::string& name) {
    std::vector<uint8_t> bytes{' ', 'P', 'B', 'T', 2, 1};
    auto int32 = [&bytes](uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    auto field = [&bytes](const char* text, size_t size) {
        std::vector<uint8_t> block(1024, 0);
        std::memcpy(block.data(), text, size);
        bytes.insert(bytes.end(), block.begin(), block.end());
    };
    auto record = [&](const std::string& instance, const char* type, size_t typeSize) {
        field(instance.c_str(), instance.size());
        field(type, typeSize);
        int32(32), int32(32), int32(0), int32(0);
        bytes.push_back(0);
    };
    int32(0x430c0000); // 140.0f
    int32(2);
    record("Master", "Master", 6);
    record(name, identifier, 10);
    int32(24), int32(1), int32(1), int32(1), int32(0), int32(0), int32(0x3f800000); // cable into the master
    int32(4), int32(0);                                                             // no patterns
    int32(4), int32(0), int32(4), int32(0);
    int32(8), int32(4), int32(0); // the song
    int32(1);
    bytes.push_back(0);
    return bytes;
}

std::set<std::string> MappedPluginLibraries() {
    std::set<std::string> mapped;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const size_t path = line.find('/');
        if (path == std::string::npos) continue;
        const std::string file = line.substr(path);
        if (file.rfind("/usr/lib/vst/", 0) == 0 || file.rfind("/usr/lib/lxvst/", 0) == 0) mapped.insert(file);
    }
    return mapped;
}

} // namespace

TEST(RealVSTStartUp, ARenderLoadsOnlyTheLibraryItsProjectUses) {
    if (!fs::exists(kRoomReverb) || !fs::exists("/usr/lib/vst/lsp-plugins"))
        GTEST_SKIP() << "lsp-plugins-vst or dragonfly-reverb-vst is not installed";
    const fs::path folder = FreshConfig("real-vst-start-up");
    std::string identifier(10, '\0');
    {
        // The first start learns every installed plug-in in child processes and loads none.
        CApplication application(CApplication::Settings{});
        int plugins = 0;
        for (int32_t i = 0; i < application.Registry()->Count(); ++i)
            if (auto* info = dynamic_cast<CVSTAdapterInfo*>(application.Registry()->At(i).info)) {
                ++plugins;
                if (info->LibraryPath() == kRoomReverb.string()) identifier.assign(info->m_identifier, 10);
            }
        EXPECT_GE(plugins, 50);
        ASSERT_NE(identifier[0], '\0');
    }
    EXPECT_EQ(CVSTAdapterInfo::LoadedLibraryCount(), 0);
    EXPECT_TRUE(MappedPluginLibraries().empty());
    WriteBytes(folder / "reverb.tbp", OneMachineProject(identifier.data(), "Room"));

    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Offline;
    settings.newProject = false;
    std::ostringstream messages;
    settings.messages = &messages;
    const auto started = std::chrono::steady_clock::now();
    const std::unique_ptr<CApplication> application = OpenWithMachines(settings, folder / "reverb.tbp");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::vector<float> left(256), right(256);
    float* channels[2] = {left.data(), right.data()};
    for (int buffer = 0; buffer < 20; ++buffer)
        application->Offline()->Render(channels, 2, 256);
    ASSERT_NE(application->Studio()->FindFrame("Room"), nullptr);

    EXPECT_EQ(CVSTAdapterInfo::LoadedLibraryCount(), 1);
    EXPECT_EQ(MappedPluginLibraries(), std::set<std::string>{kRoomReverb.string()});
    std::printf("start-up with the project loaded: %.3f s (sanitizer build)\n", seconds);
    EXPECT_LT(seconds, 10.0); // a generous bound: the figure that counts is in the benchmark results
}

TEST(RealVSTStartUp, TheMachineListShowsEveryPluginsNameVendorAndCategory) {
    if (!fs::exists(kRoomReverb) || !fs::exists("/usr/lib/vst/lsp-plugins"))
        GTEST_SKIP() << "lsp-plugins-vst or dragonfly-reverb-vst is not installed";
    const fs::path folder = FreshConfig("real-vst-machines");
    const Result result = RunCommand("env -u DISPLAY XDG_CONFIG_HOME='" + folder.string() + "' " +
                                     std::string(TAMBOREL_BIN_DIR) + "/tamborel machines --json 2>/dev/null");
    ASSERT_EQ(result.status, 0);
    const auto list = nlohmann::json::parse(result.out);
    int plugins = 0;
    const nlohmann::json* room = nullptr;
    for (const auto& machine : list) {
        if (!machine.contains("vst")) continue;
        ++plugins;
        SCOPED_TRACE(machine.dump());
        EXPECT_FALSE(machine["name"].get<std::string>().empty());
        EXPECT_FALSE(machine["vendor"].get<std::string>().empty());
        EXPECT_FALSE(machine["category"].get<std::string>().empty());
        EXPECT_TRUE(machine["parameterCount"].is_number_integer());
        if (machine["file"] == kRoomReverb.string()) room = &machine;
    }
    EXPECT_GE(plugins, 50);
    ASSERT_NE(room, nullptr);
    EXPECT_EQ((*room)["name"], "Dragonfly Room Reverb");
    EXPECT_EQ((*room)["vendor"], "Michael Willis");
    EXPECT_EQ((*room)["type"], "DragonflyRoomReverb-vst");
    EXPECT_EQ((*room)["category"], "effect");
}
