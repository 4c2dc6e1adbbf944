// The program's own machines' panels under the offscreen platform: the MIDI machines' device
// panel over a test device registry, and the VST plug-ins' editor windows with the repository's
// recording plug-ins (which never touch the window they are given).
#include "engine/machine_container.h"
#include "engine/studio.h"
#include "gui/combo_box.h"
#include "gui/window.h"
#include "host_machines/midi/midi_devices.h"
#include "host_machines/midi_machines.h"
#include "host_machines/vst/vst_adapter.h"
#include "machine_interface/mutex.h"
#include "studio_ui/machine_panels/midi_device_panel.h"
#include "studio_ui/machine_panels/program_panel_factory.h"
#include "studio_ui/machine_panels/vst_editor_window.h"
#include "studio_ui/studio_view/machine_frame.h"
#include "studio_ui/studio_view/studio_view.h"
#include "tests/gui/gui_test_support.h"
#include "tests/host_machines/plugins/test_plugin_log.h"
#include "tests/support/studio_fixture.h"

#include <QComboBox>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using program_panels::CMIDIDevicePanel;
using program_panels::CProgramPanelFactory;
using program_panels::CVSTEditorWindow;
using studio_view::CMachineFrame;
using studio_view::CStudioView;

// ---- MIDI ----

// Three inputs and two outputs; opens and closes are counted per port, and opening can fail.
class CTestMIDIBackend : public CMIDIBackend {
public:
    std::vector<PortInfo> InputPorts() override {
        return {{"USB Keys", "in:keys"}, {"Pad Controller", "in:pads"}, {"Virtual Keyboard", "in:virtual"}};
    }
    std::vector<PortInfo> OutputPorts() override {
        return {{"Synth Module", "out:synth"}, {"Drum Box", "out:drums"}};
    }
    int OpenInput(const PortInfo& port, MIDIHook, void*, void** handle) override {
        if (failOpen) return failOpen;
        ++opens[port.address];
        *handle = this;
        return 0;
    }
    int StartInput(void*) override { return 0; }
    int CloseInput(void*) override {
        ++closes;
        return 0;
    }
    int OpenOutput(const PortInfo& port, void** handle) override {
        if (failOpen) return failOpen;
        ++opens[port.address];
        *handle = this;
        return 0;
    }
    int CloseOutput(void*) override {
        ++closes;
        return 0;
    }
    int Send(void*, uint32_t, int64_t) override { return 0; }

    int failOpen = 0;
    std::map<std::string, int> opens;
    int closes = 0;
};

class MIDIPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto backend = std::make_unique<CTestMIDIBackend>();
        m_backend = backend.get();
        std::vector<std::unique_ptr<CMIDIBackend>> backends;
        backends.push_back(std::move(backend));
        m_registry = std::make_unique<CMIDIDeviceRegistry>(std::move(backends));
        m_window.CreateWindow(nullptr, "Panels", 0, 0, 300, 120, false);
        m_window.Show();
        machine_panels::Install(&m_factory);
    }
    void TearDown() override { machine_panels::Install(nullptr); }

    static QComboBox* ComboOf(QWidget* panel) { return panel->findChild<QComboBox*>("DeviceCombo"); }
    static QStringList Entries(QComboBox* combo) {
        QStringList entries;
        for (int i = 0; i < combo->count(); ++i)
            entries << combo->itemText(i);
        return entries;
    }

    gui_test::Stage m_stage;
    MachineRegistry m_machines;
    CVeskHost m_host{44100, 256, 0x16, &m_machines};
    CTestMIDIBackend* m_backend = nullptr;
    std::unique_ptr<CMIDIDeviceRegistry> m_registry;
    CProgramPanelFactory m_factory;
    gui::CWindow m_window;
};

TEST_F(MIDIPanelTest, ThePanelListsTheRegistrysInputsOrOutputsInOrderBelowNoDevice) {
    CMIDIInput input(&m_host, m_registry.get());
    CMIDIOutput output(&m_host, m_registry.get());
    auto* inputPanel = static_cast<QWidget*>(input.CreateGUI(m_window.Widget()));
    auto* outputPanel = static_cast<QWidget*>(output.CreateGUI(m_window.Widget()));
    ASSERT_TRUE(inputPanel && outputPanel);
    // Made on the first request, handed out again afterwards.
    EXPECT_EQ(input.CreateGUI(m_window.Widget()), inputPanel);
    EXPECT_EQ(inputPanel->size(), QSize(240, 40));
    QComboBox* combo = ComboOf(inputPanel);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(Entries(combo), (QStringList{"No Device", "USB Keys", "Pad Controller", "Virtual Keyboard"}));
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(Entries(ComboOf(outputPanel)), (QStringList{"No Device", "Synth Module", "Drum Box"}));
    // The box sits at (8, 8), 224 wide, inside the panel.
    const QRect box(combo->parentWidget()->mapTo(inputPanel, QPoint(0, 0)), combo->parentWidget()->size());
    EXPECT_EQ(box.topLeft(), QPoint(8, 8));
    EXPECT_EQ(box.width(), 224);
    EXPECT_TRUE(QRect(0, 0, 240, 40).contains(box));
    outputPanel->move(0, 50);
    m_stage.Settle();
    gui_test::Screenshot(m_window.Widget(), "midi_device_panels");
}

TEST_F(MIDIPanelTest, PickingADeviceOpensItOnceAndPickingNoDeviceClosesIt) {
    CMIDIInput input(&m_host, m_registry.get());
    auto* panel = static_cast<QWidget*>(input.CreateGUI(m_window.Widget()));
    QComboBox* combo = ComboOf(panel);
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo, Qt::Key_Down); // USB Keys
    ASSERT_EQ(input.Device(), m_registry->Input(0));
    EXPECT_EQ(m_backend->opens["in:keys"], 1);
    EXPECT_EQ(m_registry->Input(0)->OpenCount(), 1);
    EXPECT_EQ(m_registry->Input(0)->HookCount(), 1);
    QTest::keyClick(combo, Qt::Key_Down); // Pad Controller: the keys are let go
    ASSERT_EQ(input.Device(), m_registry->Input(1));
    EXPECT_EQ(m_registry->Input(0)->OpenCount(), 0);
    EXPECT_EQ(m_registry->Input(0)->HookCount(), 0);
    EXPECT_EQ(m_backend->opens["in:pads"], 1);
    EXPECT_EQ(m_backend->closes, 1);
    QTest::keyClick(combo, Qt::Key_Home); // No Device
    EXPECT_EQ(input.Device(), nullptr);
    EXPECT_FALSE(m_registry->Input(1)->IsOpen());
    EXPECT_EQ(m_registry->Input(1)->HookCount(), 0);
    EXPECT_EQ(m_backend->closes, 2);
    // Nothing was opened twice.
    EXPECT_EQ(m_backend->opens["in:keys"], 1);
    EXPECT_EQ(m_backend->opens["in:pads"], 1);

    // An output machine the same way, on the output list.
    CMIDIOutput output(&m_host, m_registry.get());
    QComboBox* outputCombo = ComboOf(static_cast<QWidget*>(output.CreateGUI(m_window.Widget())));
    QTest::keyClick(outputCombo, Qt::Key_End); // Drum Box
    ASSERT_EQ(output.Device(), m_registry->Output(1));
    EXPECT_EQ(m_backend->opens["out:drums"], 1);
    QTest::keyClick(outputCombo, Qt::Key_Home);
    EXPECT_EQ(output.Device(), nullptr);
    EXPECT_FALSE(m_registry->Output(1)->IsOpen());
}

TEST_F(MIDIPanelTest, TwoMachinesShareADeviceAndAPanelShowsTheMachinesDevice) {
    CMIDIInput first(&m_host, m_registry.get());
    CMIDIInput second(&m_host, m_registry.get());
    second.SelectDevice(2);
    QComboBox* firstCombo = ComboOf(static_cast<QWidget*>(first.CreateGUI(m_window.Widget())));
    QComboBox* secondCombo = ComboOf(static_cast<QWidget*>(second.CreateGUI(m_window.Widget())));
    EXPECT_EQ(secondCombo->currentText(), "Virtual Keyboard");
    QTest::keyClick(firstCombo, Qt::Key_End); // the same device
    EXPECT_EQ(m_backend->opens["in:virtual"], 1);
    EXPECT_EQ(m_registry->Input(2)->OpenCount(), 2);
    QTest::keyClick(secondCombo, Qt::Key_Home);
    EXPECT_TRUE(m_registry->Input(2)->IsOpen()); // the first machine still holds it
    QTest::keyClick(firstCombo, Qt::Key_Home);
    EXPECT_FALSE(m_registry->Input(2)->IsOpen());
    EXPECT_EQ(m_backend->closes, 1);
}

TEST_F(MIDIPanelTest, ADeviceThatFailsToOpenIsToldAndLeavesTheMachineWithNone) {
    CMIDIInput input(&m_host, m_registry.get());
    QComboBox* combo = ComboOf(static_cast<QWidget*>(input.CreateGUI(m_window.Widget())));
    m_backend->failOpen = 0x42;
    QTest::keyClick(combo, Qt::Key_Down);
    ASSERT_EQ(m_stage.dialogs.asked.size(), 1u);
    EXPECT_EQ(m_stage.dialogs.asked[0],
              "error: midiInOpen For Device <USB Keys> Failed With Error Code 0x42");
    EXPECT_EQ(input.Device(), nullptr);
    EXPECT_EQ(m_registry->Input(0)->HookCount(), 0); // no hook left on a device that never opened
    EXPECT_EQ(combo->currentIndex(), 0);
    // Once the device works, picking it again opens it.
    m_backend->failOpen = 0;
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(input.Device(), m_registry->Input(0));
    EXPECT_TRUE(m_registry->Input(0)->IsOpen());
}

TEST_F(MIDIPanelTest, PanelAndMachineMayGoInEitherOrder) {
    // The machine goes first: its panel goes with it and the device is closed.
    auto input = std::make_unique<CMIDIInput>(&m_host, m_registry.get());
    QPointer<QWidget> panel = static_cast<QWidget*>(input->CreateGUI(m_window.Widget()));
    QTest::keyClick(ComboOf(panel), Qt::Key_Down);
    ASSERT_TRUE(m_registry->Input(0)->IsOpen());
    input.reset();
    EXPECT_TRUE(panel.isNull());
    EXPECT_FALSE(m_registry->Input(0)->IsOpen());
    // The window goes first (its frame is destroyed): the machine forgets it and makes a new one.
    CMIDIOutput output(&m_host, m_registry.get());
    {
        gui::CWindow parent;
        parent.CreateWindow(nullptr, "Short-lived", 0, 0, 260, 60, false);
        ASSERT_NE(output.CreateGUI(parent.Widget()), nullptr);
        ASSERT_NE(output.PanelLink(), nullptr);
    }
    EXPECT_EQ(output.PanelLink(), nullptr);
    EXPECT_NE(output.CreateGUI(m_window.Widget()), nullptr);
}

// ---- VST editors ----

const fs::path kPlugins = TB_TEST_VST_DIR;

struct LoadedPlugin {
    std::unique_ptr<CVSTAdapterInfo> info;
    TestPluginLog* log = nullptr;
    vst::HostCallback host = nullptr;
};

LoadedPlugin Load(CVeskHost* host, const fs::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    LoadedPlugin plugin;
    if (!handle) return plugin;
    auto entry = reinterpret_cast<vst::EntryProc>(dlsym(handle, "VSTPluginMain"));
    auto logOf = reinterpret_cast<void* (*)()>(dlsym(handle, "TestPluginLog"));
    auto hostOf = reinterpret_cast<vst::HostCallback (*)()>(dlsym(handle, "TestPluginHost"));
    plugin.info = std::make_unique<CVSTAdapterInfo>(host, handle, entry, true, path.stem().string(),
                                                    path.parent_path().string());
    plugin.log = static_cast<TestPluginLog*>(logOf());
    plugin.host = hostOf();
    // Each library is one plug-in instance for the whole run: the log starts afresh per test.
    *plugin.log = TestPluginLog{};
    return plugin;
}

class VSTEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_editor = Load(m_fixture.m_host.get(), kPlugins / "editors" / "editor_effect.so");
        m_window.CreateWindow(nullptr, "Studio", 0, 0, 900, 600, false);
        m_fixture.m_studio->NewProject();
        m_view = std::make_unique<CStudioView>(*m_fixture.m_studio, *m_fixture.m_registry);
    }
    void TearDown() override {
        m_view.reset();
        machine_panels::Install(nullptr);
    }
    void Open() {
        m_view->Build(&m_window, 0, 0, 900, 600);
        m_window.Show();
        m_view->Show();
        m_stage.Settle();
    }
    CMachineContainer* Add(CMachineInfo* info, int x, int y) {
        return m_fixture.m_studio->AddMachine(info, x, y);
    }
    CVSTEditorWindow* EditorOf(CMachineContainer* container) {
        auto* widget = static_cast<QWidget*>(container->OwnPanel());
        return widget ? dynamic_cast<CVSTEditorWindow*>(gui::CControl::FromWidget(widget)) : nullptr;
    }
    void DeleteMachine(CMachineContainer* container) {
        CMutexLock lock(m_fixture.m_studio->Mutex());
        m_fixture.m_studio->DeleteMachine(container);
    }

    gui_test::Stage m_stage;
    LoadedPlugin m_editor; // the descriptor outlives the studio's machines
    CStudioFixture m_fixture;
    CProgramPanelFactory m_embedding{[] { return true; }};
    CProgramPanelFactory m_native; // X11 only, as the program's
    gui::CWindow m_window;
    std::unique_ptr<CStudioView> m_view;
};

TEST_F(VSTEditorTest, WithoutX11TheCustomGuiIsGreyedForEveryPlugin) {
    ASSERT_FALSE(program_panels::NativeEditorsAvailable()); // the offscreen platform
    machine_panels::Install(&m_native);
    std::vector<LoadedPlugin> plugins;
    for (const char* path : {"good/stereo_effect.so", "good/silent_box.so", "synths/deaf_synth.so",
                             "editors/no_rect_effect.so", "editors/late_rect_effect.so"})
        plugins.push_back(Load(m_fixture.m_host.get(), kPlugins / path));
    std::vector<CMachineContainer*> frames{Add(m_editor.info.get(), 40, 40)};
    for (size_t i = 0; i < plugins.size(); ++i)
        frames.push_back(Add(plugins[i].info.get(), 40 + 170 * static_cast<int>(i % 4),
                             200 + 120 * static_cast<int>(i / 4)));
    Open();
    for (CMachineContainer* container : frames) {
        SCOPED_TRACE(container->Name());
        CMachineFrame* frame = m_view->FrameOf(container);
        ASSERT_NE(frame, nullptr);
        EXPECT_FALSE(frame->MenuEnabled()[studio_view::kMenuCustom]);
        EXPECT_FALSE(container->HasOwnPanel());
        frame->RunMenuEntry(studio_view::kMenuCustom); // refused
        EXPECT_NE(container->PanelMode(), kPanelOwn);
    }
    // The editor was never opened; the machines still work and go cleanly.
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditOpen], 0);
    m_fixture.Render(256);
    for (CMachineContainer* container : frames)
        DeleteMachine(container);
    m_stage.Settle();
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditClose], 0);
    EXPECT_EQ(m_editor.log->opcodes[vst::effClose], 1);
}

TEST_F(VSTEditorTest, TheEditorTakesThePluginsSizeAndIsOpenAndIdledOnlyWhileShown) {
    machine_panels::Install(&m_embedding);
    CMachineContainer* container = Add(m_editor.info.get(), 40, 40);
    Open();
    auto* adapter = static_cast<CVSTAdapter*>(container->Machine());
    CVSTEditorWindow* editor = EditorOf(container);
    ASSERT_NE(editor, nullptr);
    QWidget* window = editor->Widget();
    EXPECT_EQ(window->objectName(), "VST");
    EXPECT_EQ(window->size(), QSize(320, 200)); // right - left, bottom - top
    EXPECT_TRUE(window->testAttribute(Qt::WA_NativeWindow));
    int16_t left = -1, top = -1, right = 0, bottom = 0;
    ASSERT_TRUE(adapter->GetGUIRect(&left, &top, &right, &bottom));
    EXPECT_EQ((std::vector<int>{left, top, right, bottom}), (std::vector<int>{0, 0, 320, 200}));
    // Shown as the icon: the editor is not open and not idled.
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditOpen], 0);
    m_stage.clock.Advance(100);
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditIdle], 0);

    CMachineFrame* frame = m_view->FrameOf(container);
    ASSERT_TRUE(frame->MenuEnabled()[studio_view::kMenuCustom]);
    frame->RunMenuEntry(studio_view::kMenuCustom);
    m_stage.Settle();
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditOpen], 1);
    EXPECT_EQ(m_editor.log->editorParent, reinterpret_cast<void*>(window->winId()));
    EXPECT_EQ(frame->PanelArea().size(), QSize(320, 200));
    m_stage.clock.Advance(100);
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditIdle], 100 / CVSTEditorWindow::kIdleIntervalMs);
    // The adapter's idle thread leaves the editor alone: its idle calls are the window's.
    std::thread([adapter] {
        CMutexLock lock(*adapter);
        adapter->IdleStep();
    }).join();
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditIdle], 100 / CVSTEditorWindow::kIdleIntervalMs);
    EXPECT_EQ(m_editor.log->idlesOffEditorThread, 0);

    // Hidden: closed, and no more idling; shown again: opened again in the same window.
    frame->RunMenuEntry(studio_view::kMenuHide);
    m_stage.Settle();
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditClose], 1);
    EXPECT_FALSE(adapter->EditorOpen());
    EXPECT_FALSE(editor->IdleRunning());
    const int idles = m_editor.log->opcodes[vst::effEditIdle];
    m_stage.clock.Advance(100);
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditIdle], idles);
    frame->RunMenuEntry(studio_view::kMenuCustom);
    m_stage.Settle();
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditOpen], 2);
    EXPECT_EQ(EditorOf(container), editor);
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditClose], 1);
}

TEST_F(VSTEditorTest, ASizeRequestFromAnotherThreadResizesTheWindowAndTheFrameOnTheUiThread) {
    machine_panels::Install(&m_embedding);
    CMachineContainer* container = Add(m_editor.info.get(), 40, 40);
    Open();
    CMachineFrame* frame = m_view->FrameOf(container);
    frame->RunMenuEntry(studio_view::kMenuCustom);
    m_stage.Settle();
    CVSTEditorWindow* editor = EditorOf(container);
    ASSERT_NE(editor, nullptr);
    const int frameWidth = frame->Width();
    const int frameHeight = frame->Height();
    auto* effect = static_cast<CVSTAdapter*>(container->Machine())->Effect();
    intptr_t answer = 0;
    std::thread([&] {
        answer = m_editor.host(effect, vst::audioMasterSizeWindow, 400, 250, nullptr, 0.0f);
    }).join();
    EXPECT_EQ(answer, 1);
    // Nothing was touched on the plug-in's thread: the change waits for the user-interface thread.
    EXPECT_EQ(editor->Widget()->size(), QSize(320, 200));
    m_stage.Settle();
    m_stage.Settle(); // the frame's layout request follows the resize
    EXPECT_EQ(editor->Widget()->size(), QSize(400, 250));
    EXPECT_EQ(frame->PanelArea().size(), QSize(400, 250));
    EXPECT_EQ(frame->Width(), frameWidth + 80);
    EXPECT_EQ(frame->Height(), frameHeight + 50);
    // Sizes that make no window are refused.
    EXPECT_EQ(m_editor.host(effect, vst::audioMasterSizeWindow, 0, 250, nullptr, 0.0f), 0);
    EXPECT_EQ(m_editor.host(effect, vst::audioMasterSizeWindow, 300, -1, nullptr, 0.0f), 0);
    m_stage.Settle();
    EXPECT_EQ(editor->Widget()->size(), QSize(400, 250));
}

TEST_F(VSTEditorTest, DeletingTheMachineClosesTheEditorBeforeThePluginAndTakesTheWindow) {
    machine_panels::Install(&m_embedding);
    CMachineContainer* container = Add(m_editor.info.get(), 40, 40);
    Open();
    m_view->FrameOf(container)->RunMenuEntry(studio_view::kMenuCustom);
    m_stage.Settle();
    QPointer<QWidget> window = EditorOf(container)->Widget();
    m_stage.clock.Advance(40);
    ASSERT_GT(m_editor.log->opcodes[vst::effEditIdle], 0);
    m_editor.log->sequenceLength = 0;
    DeleteMachine(container);
    const std::vector<int> sequence(m_editor.log->sequence,
                                    m_editor.log->sequence + m_editor.log->sequenceLength);
    EXPECT_EQ(sequence, (std::vector<int>{vst::effStopProcess, vst::effMainsChanged, vst::effEditClose,
                                          vst::effClose}));
    EXPECT_TRUE(window.isNull());
    const int idles = m_editor.log->opcodes[vst::effEditIdle];
    m_stage.clock.Advance(100);
    m_stage.Settle();
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditIdle], idles);
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditClose], 1);
}

TEST_F(VSTEditorTest, TheWindowGoingFirstClosesTheEditorOnceAndANewOneCanBeMade) {
    machine_panels::Install(&m_embedding);
    CMachine* machine = m_editor.info->CreateMachine();
    auto* adapter = static_cast<CVSTAdapter*>(machine);
    {
        gui::CWindow parent;
        parent.CreateWindow(nullptr, "Editor", 0, 0, 400, 300, false);
        auto* window = static_cast<QWidget*>(adapter->CreateGUI(parent.Widget()));
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(adapter->CreateGUI(parent.Widget()), window); // the same window again
        parent.Show();
        m_stage.Settle();
        ASSERT_TRUE(adapter->EditorOpen());
    }
    EXPECT_FALSE(adapter->EditorOpen());
    EXPECT_EQ(adapter->EditorLink(), nullptr);
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditClose], 1);
    // With no window a size request has nowhere to go.
    EXPECT_EQ(m_editor.host(adapter->Effect(), vst::audioMasterSizeWindow, 400, 250, nullptr, 0.0f), 0);
    gui::CWindow second;
    second.CreateWindow(nullptr, "Editor again", 0, 0, 400, 300, false);
    EXPECT_NE(adapter->CreateGUI(second.Widget()), nullptr);
    machine->Delete();
    EXPECT_EQ(m_editor.log->opcodes[vst::effEditClose], 1); // never opened in the second window
}

TEST_F(VSTEditorTest, APluginWithoutAnEditorGetsNoWindowAndOneThatTellsItsSizeLateGetsItOnOpening) {
    machine_panels::Install(&m_embedding);
    LoadedPlugin plain = Load(m_fixture.m_host.get(), kPlugins / "good" / "stereo_effect.so");
    LoadedPlugin noRect = Load(m_fixture.m_host.get(), kPlugins / "editors" / "no_rect_effect.so");
    LoadedPlugin lateRect = Load(m_fixture.m_host.get(), kPlugins / "editors" / "late_rect_effect.so");
    CMachineContainer* plainFrame = Add(plain.info.get(), 40, 40);
    CMachineContainer* noRectFrame = Add(noRect.info.get(), 300, 40);
    CMachineContainer* lateFrame = Add(lateRect.info.get(), 40, 200);
    Open();
    EXPECT_FALSE(plainFrame->HasOwnPanel());
    EXPECT_EQ(plain.log->opcodes[vst::effEditGetRect], 0); // no editor flag: not even asked
    EXPECT_FALSE(m_view->FrameOf(plainFrame)->MenuEnabled()[studio_view::kMenuCustom]);

    // The size told only once the editor is open: a stand-in size until then.
    CVSTEditorWindow* late = EditorOf(lateFrame);
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->Widget()->size(),
              QSize(CVSTEditorWindow::kStandInWidth, CVSTEditorWindow::kStandInHeight));
    m_view->FrameOf(lateFrame)->RunMenuEntry(studio_view::kMenuCustom);
    m_stage.Settle();
    m_stage.Settle(); // the frame's layout request follows the resize
    EXPECT_EQ(lateRect.log->opcodes[vst::effEditOpen], 1);
    EXPECT_EQ(late->Widget()->size(), QSize(320, 200));
    EXPECT_EQ(m_view->FrameOf(lateFrame)->PanelArea().size(), QSize(320, 200));

    // Never told: the editor still opens, in the stand-in size.
    CVSTEditorWindow* stand = EditorOf(noRectFrame);
    ASSERT_NE(stand, nullptr);
    m_view->FrameOf(noRectFrame)->RunMenuEntry(studio_view::kMenuCustom);
    m_stage.Settle();
    EXPECT_EQ(noRect.log->opcodes[vst::effEditOpen], 1);
    EXPECT_EQ(stand->Widget()->size(),
              QSize(CVSTEditorWindow::kStandInWidth, CVSTEditorWindow::kStandInHeight));
    int16_t left = 0, top = 0, right = 0, bottom = 0;
    EXPECT_FALSE(noRectFrame->Machine()->GetGUIRect(&left, &top, &right, &bottom));
    // The machines go before their descriptors.
    DeleteMachine(plainFrame);
    DeleteMachine(noRectFrame);
    DeleteMachine(lateFrame);
    EXPECT_EQ(noRect.log->opcodes[vst::effEditClose], 1);
    EXPECT_EQ(lateRect.log->opcodes[vst::effEditClose], 1);
}

// The MIDI input machine in a studio frame, its device panel shown in place of the icon.
TEST(MIDIPanelFrame, TheInputMachinesFrameShowsItsDevicePanel) {
    gui_test::Stage stage;
    auto backend = std::make_unique<CTestMIDIBackend>();
    CTestMIDIBackend* devices = backend.get();
    std::vector<std::unique_ptr<CMIDIBackend>> backends;
    backends.push_back(std::move(backend));
    CMIDIDeviceRegistry::SetStudio(std::make_unique<CMIDIDeviceRegistry>(std::move(backends)));
    CProgramPanelFactory factory;
    machine_panels::Install(&factory);
    {
        CStudioFixture fixture;
        auto* info = new CMIDIInputInfo(fixture.m_host.get());
        fixture.m_host->RegisterMachine(info);
        CMachineContainer* master = fixture.m_studio->NewProject();
        master->m_x = 420;
        master->m_y = 60;
        CMachineContainer* keys = fixture.m_studio->AddMachine(info, 40, 40);
        gui::CWindow window;
        window.CreateWindow(nullptr, "Studio", 0, 0, 600, 220, false);
        CStudioView view(*fixture.m_studio, *fixture.m_registry);
        view.Build(&window, 0, 0, 600, 220);
        window.Show();
        view.Show();
        stage.Settle();
        CMachineFrame* frame = view.FrameOf(keys);
        ASSERT_NE(frame, nullptr);
        ASSERT_TRUE(frame->MenuEnabled()[studio_view::kMenuCustom]);
        frame->RunMenuEntry(studio_view::kMenuCustom);
        stage.Settle();
        EXPECT_EQ(frame->PanelArea().size(), QSize(240, 40));
        auto* combo = static_cast<QWidget*>(keys->OwnPanel())->findChild<QComboBox*>("DeviceCombo");
        ASSERT_NE(combo, nullptr);
        EXPECT_TRUE(combo->isVisible());
        QTest::keyClick(combo, Qt::Key_Down);
        EXPECT_EQ(devices->opens["in:keys"], 1);
        stage.Settle();
        gui_test::Screenshot(window.Widget(), "midi_input_frame");
    }
    machine_panels::Install(nullptr);
    CMIDIDeviceRegistry::ShutDownStudio();
}

} // namespace
