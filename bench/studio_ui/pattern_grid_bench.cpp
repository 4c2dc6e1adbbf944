// Repainting the pattern editor's note grid: a 64-beat pattern with 500 notes on an ordinary
// machine, on Qt's offscreen platform.
//   BM_PatternGridRepaint: the grid's picture drawn again (as after an edit, a scroll or a play
//     marker column change), the grid showing the first 16 beats.
//   BM_PatternGridRepaintScrolled: the same with the grid scrolled to the pattern's middle, so
//     the notes before the view are skipped and those in it drawn.
#include "bench/studio_ui/editor_bench_studio.h"
#include "machine_interface/port.h"
#include "studio_ui/pattern_editor/note_grid.h"
#include "studio_ui/pattern_editor/pattern_editor_page.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

struct Editor : editor_bench::CEditorStudio {
    Editor() {
        studio->NewProject();
        CMachineContainer* sink = studio->AddMachine(info, 100, 100);
        CPatternEditor& patterns = sequencer->Patterns();
        patterns.SelectMachine(sink->Machine());
        Pattern* pattern = patterns.CreatePattern(patterns.SelectedPort(), 64);
        if (!pattern) std::abort();
        patterns.SelectPattern(0);
        // 500 two-step notes over 256 steps on rows 36..83, no two of a row overlapping.
        int made = 0;
        for (int i = 0; made < 500; ++i) {
            const int note = 36 + i % 48;
            const int start = (i / 48 * 24 + (i % 48) * 5) % 255;
            if (patterns.IsValidNote(start, 2, note, nullptr)) {
                pattern->AddNote(start, 2, note);
                ++made;
            }
            if (i > 100000) std::abort();
        }
        window.CreateWindow(nullptr, "Pattern Editor", 0, 0, 1400, 900, false);
        page = std::make_unique<pattern_editor::CPatternEditorPage>(patterns, undo, *context);
        page->Build(&window, 0, 0, 1400, 900);
        window.Show();
        page->Show();
        QApplication::processEvents();
        page->Grid().SetFirstRow(patterns.RowForNote(90));
    }
    ~Editor() { page.reset(); }
    std::unique_ptr<pattern_editor::CPatternEditorPage> page;
};

void BM_PatternGridRepaint(benchmark::State& state) {
    Editor editor;
    pattern_editor::CNoteGrid& grid = editor.page->Grid();
    if (editor.sequencer->Patterns().CurrentPattern()->CountNotes() != 500) std::abort();
    for (auto _ : state) {
        grid.Refresh();
        benchmark::DoNotOptimize(grid.Offscreen()->constBits());
    }
    state.counters["visible_beats"] = grid.VisibleBeats();
}
BENCHMARK(BM_PatternGridRepaint)->Unit(benchmark::kMillisecond);

void BM_PatternGridRepaintScrolled(benchmark::State& state) {
    Editor editor;
    pattern_editor::CNoteGrid& grid = editor.page->Grid();
    grid.SetFirstBeat(24);
    for (auto _ : state) {
        grid.Refresh();
        benchmark::DoNotOptimize(grid.Offscreen()->constBits());
    }
}
BENCHMARK(BM_PatternGridRepaintScrolled)->Unit(benchmark::kMillisecond);

} // namespace
