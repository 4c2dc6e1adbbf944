// Real plug-ins' editors in a machine frame on a real X server (Xvfb): Debian's
// dragonfly-reverb-vst and lsp-plugins-vst, each opened at its reported size, idled while shown,
// photographed, and closed with effEditClose when its machine is deleted. The plug-in's
// dispatcher is wrapped so the test sees every call the adapter makes, and on which thread.
//
// The binary starts itself again under xvfb-run with the X11 platform; each test skips when no
// X server or no plug-in is there.
#include "engine/machine_container.h"
#include "engine/studio.h"
#include "gui/window.h"
#include "host_machines/vst/vst_adapter.h"
#include "machine_interface/mutex.h"
#include "studio_ui/machine_panels/program_panel_factory.h"
#include "studio_ui/machine_panels/vst_editor_window.h"
#include "studio_ui/studio_view/machine_frame.h"
#include "studio_ui/studio_view/studio_view.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/studio_fixture.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What the adapter asked of the plug-in: opcode, pointer argument and whether it came from the
// user-interface thread.
struct Call {
    int32_t opcode;
    void* ptr;
    bool uiThread;
};

std::mutex g_callsMutex;
std::vector<Call> g_calls;
vst::AEffect* g_recorded = nullptr;
intptr_t (*g_original)(vst::AEffect*, int32_t, int32_t, intptr_t, void*, float) = nullptr;
QThread* g_uiThread = nullptr;

intptr_t RecordingDispatcher(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                             float opt) {
    if (effect == g_recorded) {
        std::lock_guard<std::mutex> lock(g_callsMutex);
        g_calls.push_back({opcode, ptr, QThread::currentThread() == g_uiThread});
    }
    return g_original(effect, opcode, index, value, ptr, opt);
}

std::vector<Call> CallsOf(int32_t opcode) {
    std::lock_guard<std::mutex> lock(g_callsMutex);
    std::vector<Call> found;
    for (const Call& call : g_calls)
        if (call.opcode == opcode) found.push_back(call);
    return found;
}

// The editor and life-cycle calls in order, for messages.
std::string Sequence() {
    std::lock_guard<std::mutex> lock(g_callsMutex);
    std::string text;
    for (const Call& call : g_calls)
        if (call.opcode != vst::effEditIdle && call.opcode != vst::effEditGetRect)
            text += std::to_string(call.opcode) + (call.uiThread ? " " : "(other thread) ");
    return text;
}

int IndexOf(int32_t opcode) {
    std::lock_guard<std::mutex> lock(g_callsMutex);
    for (size_t i = 0; i < g_calls.size(); ++i)
        if (g_calls[i].opcode == opcode) return static_cast<int>(i);
    return -1;
}

// How many different colours a picture holds (a drawn editor has many; an empty window one).
int Colours(const QImage& image) {
    std::vector<QRgb> seen;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) {
            const QRgb pixel = image.pixel(x, y) & 0xFFFFFF;
            if (std::find(seen.begin(), seen.end(), pixel) == seen.end()) seen.push_back(pixel);
            if (seen.size() > 16) return static_cast<int>(seen.size());
        }
    return static_cast<int>(seen.size());
}

const std::vector<const char*>& Plugins() {
    static const std::vector<const char*> plugins{"/usr/lib/lxvst/DragonflyRoomReverb-vst.so",
                                                  "/usr/lib/vst/lsp-plugins/compressor-stereo.so"};
    return plugins;
}

int Index(const char* plugin) {
    return static_cast<int>(std::find(Plugins().begin(), Plugins().end(), plugin) - Plugins().begin());
}

// The share of pixels two pictures of one size have in common (0 when the sizes differ).
double Agreement(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return 0.0;
    int64_t same = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) == (b.pixel(x, y) & 0xFFFFFF)) ++same;
    return static_cast<double>(same) / (static_cast<double>(a.width()) * a.height());
}

// One plug-in of each package: Dragonfly tells its editor's size before opening it, the LSP
// plug-in only once it is open.
class RealEditor : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no X server (run under xvfb-run)";
        m_path = GetParam();
        if (!fs::exists(m_path)) GTEST_SKIP() << m_path << " is not installed";
        void* library = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        // Older libraries name their entry "main".
        auto entry = reinterpret_cast<vst::EntryProc>(dlsym(library, "VSTPluginMain"));
        const bool pluginMain = entry != nullptr;
        if (!entry) entry = reinterpret_cast<vst::EntryProc>(dlsym(library, "main"));
        ASSERT_NE(entry, nullptr);
        m_info = std::make_unique<CVSTAdapterInfo>(m_fixture.m_host.get(), library, entry, pluginMain,
                                                   m_path.stem().string(), m_path.parent_path().string());
        g_uiThread = QThread::currentThread();
        {
            std::lock_guard<std::mutex> lock(g_callsMutex);
            g_calls.clear();
        }
        machine_panels::Install(&program_panels::ProgramPanelFactory());
    }
    void TearDown() override {
        m_view.reset();
        machine_panels::Install(nullptr);
    }

    fs::path m_path;
    std::unique_ptr<CVSTAdapterInfo> m_info; // outlives the studio's machines
    CStudioFixture m_fixture;
    gui::CWindow m_window;
    std::unique_ptr<studio_view::CStudioView> m_view;
};

TEST_P(RealEditor, OpensAtItsReportedSizeIdlesWhileShownAndClosesWhenTheMachineIsDeleted) {
    ASSERT_TRUE(program_panels::NativeEditorsAvailable());
    CMachineContainer* master = m_fixture.m_studio->NewProject();
    master->m_x = 40;
    master->m_y = 660;
    CMachineContainer* container = m_fixture.m_studio->AddMachine(m_info.get(), 20, 20);
    auto* adapter = static_cast<CVSTAdapter*>(container->Machine());
    ASSERT_NE(adapter->Effect(), nullptr);
    // From here on the test sees every call the adapter makes into the plug-in.
    g_recorded = adapter->Effect();
    g_original = g_recorded->dispatcher;
    g_recorded->dispatcher = &RecordingDispatcher;
    ASSERT_TRUE(adapter->HasEditor()) << m_path << " has no editor";

    m_window.CreateWindow(nullptr, "Studio", 0, 0, 1100, 800, false);
    m_view = std::make_unique<studio_view::CStudioView>(*m_fixture.m_studio, *m_fixture.m_registry);
    m_view->Build(&m_window, 0, 0, 1100, 800);
    m_window.Show();
    m_view->Show();
    QApplication::processEvents();
    studio_view::CMachineFrame* frame = m_view->FrameOf(container);
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(frame->MenuEnabled()[studio_view::kMenuCustom]);
    frame->RunMenuEntry(studio_view::kMenuCustom);
    QApplication::processEvents();

    auto* window = static_cast<QWidget*>(container->OwnPanel());
    ASSERT_NE(window, nullptr);
    // The size the plug-in reports once its editor is open is the window's, and the frame's panel's.
    int32_t width = 0;
    int32_t height = 0;
    ASSERT_TRUE(adapter->EditorSize(&width, &height)) << m_path << " reports no editor size";
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->PanelArea().size() == QSize(width, height); }, 5000));
    EXPECT_EQ(window->size(), QSize(width, height));
    const std::vector<Call> opens = CallsOf(vst::effEditOpen);
    ASSERT_EQ(opens.size(), 1u) << Sequence();
    EXPECT_EQ(opens[0].ptr, reinterpret_cast<void*>(window->winId()));
    EXPECT_TRUE(opens[0].uiThread);

    // The editor draws while it is idled: wait until the window shows more than one colour, then
    // keep idling a while longer.
    QImage picture;
    const bool drawn = QTest::qWaitFor(
        [&] {
            picture = window->screen()->grabWindow(window->winId()).toImage();
            return Colours(picture) > 4;
        },
        15000);
    EXPECT_TRUE(drawn) << "the editor drew nothing";
    const size_t idlesBefore = CallsOf(vst::effEditIdle).size();
    QTest::qWait(500);
    picture = window->screen()->grabWindow(window->winId()).toImage();
    EXPECT_EQ(picture.size(), QSize(width, height) * window->devicePixelRatio());
    // vst_editor.png (the first plug-in), vst_editor_2.png, ...
    const QString suffix = GetParam() == Plugins()[0] ? QString() : QString("_%1").arg(Index(GetParam()) + 1);
    QDir().mkpath(TAMBOREL_SCREENSHOT_DIR);
    EXPECT_TRUE(picture.save(QString(TAMBOREL_SCREENSHOT_DIR) + "/vst_editor" + suffix + ".png"));
    m_window.Widget()
        ->screen()
        ->grabWindow(m_window.Widget()->winId())
        .toImage()
        .save(QString(TAMBOREL_SCREENSHOT_DIR) + "/vst_editor_frame" + suffix + ".png");
    // Moving the frame takes the plug-in's window along: the main window shows the editor's
    // picture where the frame's panel now is.
    frame->Move(frame->X() + 60, frame->Y() + 40);
    QTest::qWait(200);
    const QImage moved = window->screen()->grabWindow(window->winId()).toImage();
    const QPoint at = window->mapTo(m_window.Widget(), QPoint(0, 0));
    EXPECT_EQ(at, QPoint(frame->X() + frame->PanelArea().x(), frame->Y() + frame->PanelArea().y()));
    const QImage seen = m_window.Widget()
                            ->screen()
                            ->grabWindow(m_window.Widget()->winId(), at.x(), at.y(), width, height)
                            .toImage();
    EXPECT_GT(Agreement(moved, seen), 0.9) << "the editor did not move with its frame";

    const std::vector<Call> idles = CallsOf(vst::effEditIdle);
    EXPECT_GT(idles.size(), idlesBefore + 3) << "the editor is not idled while it shows";
    for (const Call& idle : idles)
        EXPECT_TRUE(idle.uiThread);
    EXPECT_TRUE(adapter->EditorOpen());

    // Deleting the machine closes the editor once, before the plug-in itself.
    {
        CMutexLock lock(m_fixture.m_studio->Mutex());
        m_fixture.m_studio->DeleteMachine(container);
    }
    EXPECT_EQ(CallsOf(vst::effEditClose).size(), 1u);
    ASSERT_GE(IndexOf(vst::effEditClose), 0);
    EXPECT_LT(IndexOf(vst::effEditClose), IndexOf(vst::effClose));
    g_recorded = nullptr;
    QApplication::processEvents();
}

INSTANTIATE_TEST_SUITE_P(DebianPlugins, RealEditor, ::testing::ValuesIn(Plugins()));

} // namespace

// Runs the tests under xvfb-run with the X11 platform unless that was done already (or only the
// list of tests is asked for); without xvfb-run the tests run where they are and skip.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
    if (!listing && !std::getenv("TB_UNDER_XVFB") && access("/usr/bin/xvfb-run", X_OK) == 0) {
        setenv("TB_UNDER_XVFB", "1", 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                const_cast<char*>("-s"), const_cast<char*>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execv("/usr/bin/xvfb-run", args.data());
        std::perror("xvfb-run");
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_LOGGING_RULES", "qt.qpa.fonts=false", 0);
    int result = 0;
    {
        QApplication application(argc, argv);
        testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    // The plug-ins' own threads keep their drawing libraries' caches until the process ends; the
    // leak check at exit would report those, which are not ours (the editor windows' own code is
    // leak-checked in machine_panels_tests), so the process ends without it.
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(result);
}
