// The command line, run as a separate process exactly as a user would run it.
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    int status;
    std::string out;
};

Result RunTamborel(const std::string& arguments) {
    // No display: the command line must never need one.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + std::string(TAMBOREL_BIN_DIR) + "/tamborel " +
                                arguments + " 2>/dev/null";
    Result result{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.out.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace

TEST(MachinesCommand, JsonListsHostMachinesFirstWithPortsAndParameters) {
    const Result result = RunTamborel("machines --json");
    ASSERT_EQ(result.status, 0);
    const auto list = nlohmann::json::parse(result.out);
    ASSERT_TRUE(list.is_array());
    ASSERT_GE(list.size(), 5u);
    EXPECT_EQ(list[0]["name"], "Master");
    EXPECT_EQ(list[0]["id"], "Master");
    EXPECT_EQ(list[0]["generator"], false);
    ASSERT_EQ(list[0]["ports"].size(), 1u);
    EXPECT_EQ(list[0]["ports"][0]["name"], "Line In");
    EXPECT_EQ(list[0]["ports"][0]["flags"], 0x111);
    EXPECT_EQ(list[1]["name"], "QX MIDI Input");
    EXPECT_EQ(list[1]["id"], "");
    EXPECT_EQ(list[1]["ports"][0]["flags"], 0x022);
    EXPECT_EQ(list[3]["name"], "QX HD Recorder Track (Mono)");
    EXPECT_EQ(list[3]["ports"][1]["flags"], 0x021);
    EXPECT_EQ(list[4]["name"], "QX HD Recorder Track (Stereo)");
    EXPECT_EQ(list[4]["ports"][0]["flags"], 0x111);
    for (const auto& machine : list) {
        EXPECT_TRUE(machine.contains("parameters"));
        for (const auto& parameter : machine["parameters"]) {
            EXPECT_TRUE(parameter["index"].is_number_integer());
            EXPECT_TRUE(parameter["name"].is_string());
            EXPECT_TRUE(parameter["display"].is_string());
        }
    }
}

TEST(MachinesCommand, TextListingAndErrors) {
    const Result text = RunTamborel("machines");
    ASSERT_EQ(text.status, 0);
    EXPECT_EQ(text.out.rfind("Master", 0), 0u);
    EXPECT_NE(text.out.find("QX HD Recorder Track (Stereo)"), std::string::npos);
    EXPECT_NE(RunTamborel("machines --bogus").status, 0);
    EXPECT_NE(RunTamborel("frobnicate").status, 0);
}
