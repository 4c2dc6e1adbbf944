// Repainting the studio surface: 64 machine frames and 100 cables, on Qt's offscreen platform.
//   BM_SurfaceCables: the surface's own picture (background, every cable clipped to its frames,
//     every arrow), as after a cable edit or a scroll.
//   BM_SurfaceRepaint: what the screen gets while a frame or a cable is dragged: the surface's
//     picture rendered again and the window composited with every frame from its own picture.
//   BM_SurfaceRepaintScreen: the same repaint as the screen gets it, through the window's
//     backing store (the platform's own copy of the window) rather than into a separate image.
//   BM_SurfaceEverything: the surface and every frame rendered again, then the whole window
//     composited into one image, as after a palette change or the first show.
#include "engine/master.h"
#include "engine/studio.h"
#include "gui/window.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "studio_ui/studio_view/machine_frame.h"
#include "studio_ui/studio_view/studio_view.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

class CPassThrough : public CMachine {
public:
    explicit CPassThrough(CVeskHost* host) : CMachine(host) {
        AddPort(kPortStereoIn, "In");
        AddPort(kPortStereoOut, "Out");
    }
    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return false; }
};

struct Surface {
    Surface() {
        registry = std::make_unique<MachineRegistry>();
        host = std::make_unique<CVeskHost>(44100, 256, 0x16, registry.get());
        host->RegisterMachine(new CMasterInfo(host.get()));
        info = new CSimpleMachineInfo<CPassThrough>(host.get(), "Pass", "Pass");
        host->RegisterMachine(info);
        studio = std::make_unique<CStudio>(host.get());
        studio->NewProject()->m_x = 1700;
        // An 8 x 8 grid of frames, 200 x 110 apart.
        std::vector<CMachineContainer*> frames;
        for (int i = 0; i < 64; ++i) frames.push_back(studio->AddMachine(info, 20 + (i % 8) * 200, 20 + (i / 8) * 110));
        // 100 cables, all forward so the graph stays free of loops: a chain through all 64, then
        // 37 that skip one frame.
        int cables = 0;
        for (int i = 0; i + 1 < 64; ++i) cables += studio->Connect(frames[i]->FindConnector("Out"), frames[i + 1]->FindConnector("In"));
        for (int i = 0; cables < 100 && i + 2 < 64; ++i)
            cables += studio->Connect(frames[i]->FindConnector("Out"), frames[i + 2]->FindConnector("In"));
        if (cables != 100) std::abort();
        window.CreateWindow(nullptr, "Studio", 0, 0, 1700, 950, false);
        view = std::make_unique<studio_view::CStudioView>(*studio, *registry);
        view->Build(&window, 0, 0, 1700, 950);
        window.Show();
        view->Show();
        QApplication::processEvents();
        if (view->Cables().size() != 100) std::abort();
    }
    ~Surface() {
        view.reset();
        studio.reset();
    }
    std::unique_ptr<MachineRegistry> registry;
    std::unique_ptr<CVeskHost> host;
    CMachineInfo* info = nullptr;
    std::unique_ptr<CStudio> studio;
    gui::CWindow window;
    std::unique_ptr<studio_view::CStudioView> view;
};

void BM_SurfaceCables(benchmark::State& state) {
    Surface surface;
    for (auto _ : state) {
        surface.view->Refresh();
        benchmark::DoNotOptimize(surface.view->Offscreen()->constBits());
    }
}
BENCHMARK(BM_SurfaceCables)->Unit(benchmark::kMillisecond);

void BM_SurfaceRepaint(benchmark::State& state) {
    Surface surface;
    QImage image(surface.window.Widget()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        surface.view->Refresh();
        QPainter painter(&image);
        surface.window.Widget()->render(&painter);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_SurfaceRepaint)->Unit(benchmark::kMillisecond);

void BM_SurfaceRepaintScreen(benchmark::State& state) {
    Surface surface;
    for (auto _ : state) {
        surface.view->Refresh();
        surface.window.Widget()->repaint();
    }
}
BENCHMARK(BM_SurfaceRepaintScreen)->Unit(benchmark::kMillisecond);

void BM_SurfaceEverything(benchmark::State& state) {
    Surface surface;
    QImage image(surface.window.Widget()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        surface.view->Refresh();
        for (const auto& frame : surface.view->Frames()) frame->Refresh();
        QPainter painter(&image);
        surface.window.Widget()->render(&painter);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_SurfaceEverything)->Unit(benchmark::kMillisecond);

} // namespace
