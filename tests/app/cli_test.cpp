// The command line, run as a separate process exactly as a user would run it.
#include "tests/app/cli_helpers.h"

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
    EXPECT_EQ(list[1]["id"], "QX MIDI Input");
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

TEST(MachinesCommand, JsonListsTheStockMachinesWithPortsAndParameters) {
    const Result result = RunTamborel("machines --json");
    ASSERT_EQ(result.status, 0);
    const auto list = nlohmann::json::parse(result.out);
    auto find = [&](const std::string& name) -> const nlohmann::json* {
        for (const auto& machine : list)
            if (machine["name"] == name) return &machine;
        return nullptr;
    };
    struct Expected {
        const char* name;
        const char* id;
        bool generator;
        std::vector<std::pair<const char*, int>> ports;
        size_t parameters;
        std::vector<std::pair<size_t, const char*>> names;
    };
    const std::vector<Expected> expected = {
        {"QX AntiAlias", "VeskPlug::QX AntiAlias", false, {{"Line In", 0x111}, {"Line Out", 0x121}}, 1,
         {{0, "Oversampling"}}},
        {"QX BassHead", "VeskPlug::QX BassHead", true, {{"Control In", 0x012}, {"Line Out", 0x121}}, 73,
         {{0, "Amp Attack"}, {34, "Filter Routing"}, {72, "LFO3 Amp 3"}}},
        {"QX DGenR8", "VeskPlug::QX DGenR8", true, {{"Control In", 0x012}, {"Line Out", 0x121}}, 38,
         {{0, "BD Tune"}, {37, "RC Decay"}}},
        {"QX QuadDelay", "VeskPlug::QX QuadDelay", false, {{"Line In", 0x111}, {"Line Out", 0x121}}, 32,
         {{0, "Delay Time 1"}, {31, "Dry Level 4"}}},
        {"QX Stomp", "VeskPlug::QX Stomp", true, {{"Control In", 0x012}, {"Line Out", 0x021}}, 7,
         {{0, "VCO Attack"}, {6, "VCF Cutoff"}}},
        {"QX Mixer", "VeskPlug::QX Mixer-Stereo-8-2", false, {{"Output", 0x121}, {"Track 1 In", 0x111}, {"Track 2 In", 0x111},
         {"Track 3 In", 0x111}, {"Track 4 In", 0x111}, {"Track 5 In", 0x111}, {"Track 6 In", 0x111}, {"Track 7 In", 0x111},
         {"Track 8 In", 0x111}, {"AUX 1 Out", 0x161}, {"AUX 1 In", 0x151}, {"AUX 2 Out", 0x161}, {"AUX 2 In", 0x151}}, 66,
         {{0, "Track 1 Level"}, {65, "AUX 2 High"}}},
        {"QX SpatialVerb", "VeskPlug::QX SpatialVerb", false, {{"Line In", 0x111}, {"Line Out", 0x121}}, 14,
         {{0, "Src Left X"}, {13, "Gain"}}},
    };
    size_t previous = 0;
    for (const auto& machine : expected) {
        const nlohmann::json* found = find(machine.name);
        ASSERT_NE(found, nullptr) << machine.name;
        // Registered in the library's order.
        const auto position = static_cast<size_t>(found - &list[0]);
        EXPECT_GT(position, previous) << machine.name;
        previous = position;
        EXPECT_EQ((*found)["id"], machine.id);
        EXPECT_EQ((*found)["generator"], machine.generator);
        ASSERT_EQ((*found)["ports"].size(), machine.ports.size());
        for (size_t i = 0; i < machine.ports.size(); ++i) {
            EXPECT_EQ((*found)["ports"][i]["name"], machine.ports[i].first);
            EXPECT_EQ((*found)["ports"][i]["flags"], machine.ports[i].second);
        }
        ASSERT_EQ((*found)["parameters"].size(), machine.parameters);
        for (const auto& [index, name] : machine.names) EXPECT_EQ((*found)["parameters"][index]["name"], name);
    }
    EXPECT_EQ((*find("QX BassHead"))["parameters"][0]["display"], "0.06s");
    EXPECT_EQ((*find("QX QuadDelay"))["parameters"][0]["display"], "81ms");
}
