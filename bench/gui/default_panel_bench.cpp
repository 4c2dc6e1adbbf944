// Repainting the default machine panel of a machine with 73 parameters (QX BassHead): rendering
// the panel into its off-screen picture, and following one parameter changed elsewhere (the row
// read again, its slider moved, the panel rendered), as the panel does when an automated
// parameter moves. A panel that follows a parameter at 60 frames per second needs well under 2 ms.
#include "gui/default_panel.h"
#include "gui/window.h"
#include "machine_interface/vesk_host.h"
#include "machines/basshead/basshead.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

struct PanelFixture {
    PanelFixture() {
        window.CreateWindow(nullptr, "Panel", 0, 0, 400, 420, false);
        panel.Create(&window, machine);
        window.Show();
        panel.Show();
        QApplication::processEvents();
    }
    ~PanelFixture() { machine->Delete(); }
    CVeskHost host{44100, 256, 0x16, nullptr};
    CMachine* machine = new CBassHead(&host);
    gui::CWindow window;
    gui::CDefaultGUI panel;
};

void BM_DefaultPanelRender73(benchmark::State& state) {
    PanelFixture fixture;
    QImage& picture = *fixture.panel.Offscreen();
    for (auto _ : state) {
        QPainter painter(&picture);
        fixture.panel.Render(painter);
        painter.end();
        benchmark::DoNotOptimize(picture.constBits());
    }
}
BENCHMARK(BM_DefaultPanelRender73)->Unit(benchmark::kMicrosecond);

void BM_DefaultPanelFollowParameter73(benchmark::State& state) {
    PanelFixture fixture;
    float value = 0.0f;
    for (auto _ : state) {
        value = value >= 1.0f ? 0.0f : value + 0.01f;
        fixture.machine->SetParameter(3, value);
        fixture.panel.ParameterChanged(3);
        gui::CControl::RefreshDirtyControls();
        benchmark::DoNotOptimize(fixture.panel.Offscreen()->constBits());
    }
}
BENCHMARK(BM_DefaultPanelFollowParameter73)->Unit(benchmark::kMicrosecond);

} // namespace
