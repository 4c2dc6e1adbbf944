// The commands of a machine's frame: panel modes and the machine's hearing of its panel, the icon,
// Randomize from the process generator, program choice under the machine lock, and the panel
// factory hook.
#include "machine_interface/panel_factory.h"
#include "platform/random.h"
#include "tests/support/studio_fixture.h"
#include "tests/support/recording_machine.h"

#include <gtest/gtest.h>

namespace {

using Log = std::vector<std::string>;

class ContainerCommandsTest : public ::testing::Test, public CStudioFixture {
protected:
    ContainerCommandsTest() : m_listener(&m_log) {
        m_withParameters = new CRecordingMachineInfo(m_host.get(), "Knobs", &m_log, 12, 3);
        m_bare = new CRecordingMachineInfo(m_host.get(), "Bare", &m_log, 0, 0);
        m_host->RegisterMachine(m_withParameters);
        m_host->RegisterMachine(m_bare);
    }
    CMachineContainer* AddWatched(CMachineInfo* info) {
        CMachineContainer* frame = Add(info);
        frame->AddListener(&m_listener);
        m_log.Take();
        return frame;
    }

    // The machines write into the log as they go: the studio goes first.
    ~ContainerCommandsTest() override { m_studio.reset(); }

    CEventLog m_log;
    CRecordingFrameListener m_listener;
    CMachineInfo* m_withParameters;
    CMachineInfo* m_bare;
    int m_guiContainer = 0; // stands in for the frame's "GUI Container" window
};

TEST_F(ContainerCommandsTest, TheMachineHearsItsPanelHiddenBeforeLeavingAndShownAfterEntering) {
    CMachineContainer* frame = AddWatched(m_withParameters);
    ASSERT_NE(frame->CreatePanel(&m_guiContainer), nullptr);
    EXPECT_EQ(frame->CreatePanel(&m_guiContainer), frame->OwnPanel()); // asked once only
    EXPECT_EQ(m_log.Take(), Log{"CreateGUI"});
    EXPECT_EQ(frame->PanelMode(), kPanelIcon);

    EXPECT_TRUE(frame->SetPanelMode(kPanelOwn));
    EXPECT_EQ(m_log.Take(), (Log{"shown, locked no", "mode 2"}));
    EXPECT_FALSE(frame->SetPanelMode(kPanelOwn)); // already there: nothing
    EXPECT_TRUE(frame->SetPanelMode(kPanelDefault));
    EXPECT_EQ(m_log.Take(), (Log{"hidden", "mode 1"}));
    EXPECT_TRUE(frame->SetPanelMode(kPanelOwn));
    EXPECT_TRUE(frame->SetPanelMode(kPanelIcon));
    EXPECT_EQ(m_log.Take(), (Log{"shown, locked no", "mode 2", "hidden", "mode 0"}));
    EXPECT_FALSE(frame->SetPanelMode(7));
    EXPECT_EQ(m_log.Take(), Log{});
}

TEST_F(ContainerCommandsTest, ModesWithoutTheirPanelAreRefusedAndTheIconOpensWhatThereIs) {
    // Twelve parameters, no own panel (headless: none was made): the icon opens the default panel.
    CMachineContainer* knobs = AddWatched(m_withParameters);
    EXPECT_FALSE(knobs->HasOwnPanel());
    EXPECT_FALSE(knobs->SetPanelMode(kPanelOwn));
    knobs->ClickIcon();
    EXPECT_EQ(knobs->PanelMode(), kPanelDefault);
    EXPECT_EQ(m_log.Take(), Log{"mode 1"});

    // Neither parameters nor panel: every mode but the icon is refused and the icon does nothing.
    CMachineContainer* bare = AddWatched(m_bare);
    EXPECT_FALSE(bare->SetPanelMode(kPanelDefault));
    EXPECT_FALSE(bare->SetPanelMode(kPanelOwn));
    bare->ClickIcon();
    EXPECT_EQ(bare->PanelMode(), kPanelIcon);

    // With its own panel the icon prefers it.
    CMachineContainer* panelled = AddWatched(m_withParameters);
    panelled->CreatePanel(&m_guiContainer);
    panelled->ClickIcon();
    EXPECT_EQ(panelled->PanelMode(), kPanelOwn);
}

TEST_F(ContainerCommandsTest, HeadlessNoFactoryIsInstalledAndNoPanelIsMade) {
    EXPECT_EQ(machine_panels::Installed(), nullptr);
    int parent = 0;
    CMachine* machine = m_tone->CreateMachine();
    EXPECT_EQ(machine_panels::Create(machine, "Tone", &parent), nullptr);

    struct Factory : CPanelFactory {
        WindowHandle CreatePanel(CMachine* forMachine, const char* kind, WindowHandle parentWindow) override {
            asked = forMachine;
            askedKind = kind;
            return parentWindow;
        }
        CMachine* asked = nullptr;
        std::string askedKind;
    } factory;
    machine_panels::Install(&factory);
    EXPECT_EQ(machine_panels::Create(machine, "Tone", &parent), &parent);
    EXPECT_EQ(factory.asked, machine);
    EXPECT_EQ(factory.askedKind, "Tone");
    machine_panels::Install(nullptr);
    EXPECT_EQ(machine_panels::Create(machine, "Tone", &parent), nullptr);
    machine->Delete();
}

TEST_F(ContainerCommandsTest, RandomizeDrawsEveryParameterFromTheProcessGeneratorReproducibly) {
    CMachineContainer* one = AddWatched(m_withParameters);
    CMachineContainer* two = AddWatched(m_withParameters);
    const uint64_t before = m_studio->Changes().Count();

    platform::PinRandomSeed(1234);
    one->Randomize();
    std::vector<float> expected;
    platform::PinRandomSeed(1234);
    for (int i = 0; i < 12; ++i)
        expected.push_back(static_cast<float>(platform::Random15()) / 32767.0f);
    platform::PinRandomSeed(1234);
    two->Randomize();

    for (int32_t i = 0; i < 12; ++i) {
        const float value = one->Machine()->GetParameter(i);
        EXPECT_GE(value, 0.0f);
        EXPECT_LE(value, 1.0f);
        EXPECT_FLOAT_EQ(value, expected[static_cast<size_t>(i)]) << "parameter " << i;
        EXPECT_FLOAT_EQ(two->Machine()->GetParameter(i), value) << "parameter " << i;
    }
    // Not all alike: the values really come from the generator.
    EXPECT_NE(expected[0], expected[1]);
    // Each move is the user's edit and news for the panels, delivered on the timer.
    EXPECT_EQ(m_studio->Changes().Count(), before + 24);
    EXPECT_EQ(m_log.Take(), Log{});
    m_studio->DeliverNotifications();
    EXPECT_EQ(m_listener.m_values.size(), 24u);
    EXPECT_FLOAT_EQ(m_listener.m_values[11], expected[11]);

    // Nothing to randomize without parameters.
    CMachineContainer* bare = AddWatched(m_bare);
    const uint64_t still = m_studio->Changes().Count();
    bare->Randomize();
    EXPECT_EQ(m_studio->Changes().Count(), still);
}

TEST_F(ContainerCommandsTest, AProgramIsChosenUnderTheMachineLock) {
    CMachineContainer* frame = AddWatched(m_withParameters);
    CMachine* machine = frame->Machine();
    ASSERT_EQ(machine->m_programCount, 3);
    // Program 2 holds its own values.
    machine->m_programs[2]->values[5] = 0.625f;
    const uint64_t before = m_studio->Changes().Count();
    EXPECT_TRUE(frame->ChooseProgram(2));
    EXPECT_EQ(machine->GetProgram(), 2);
    EXPECT_FLOAT_EQ(machine->GetParameter(5), 0.625f);
    EXPECT_EQ(m_log.Take(), (Log{"SetProgram 2 locked", "all parameters"}));
    EXPECT_FALSE(machine->IsLocked());
    EXPECT_EQ(m_studio->Changes().Count(), before + 1);

    EXPECT_FALSE(frame->ChooseProgram(3));
    EXPECT_FALSE(frame->ChooseProgram(-1));
    EXPECT_EQ(machine->GetProgram(), 2);
    EXPECT_EQ(m_log.Take(), Log{});
}

} // namespace
