// Repainting the sequence editor's song grid: a 4096-beat song with 200 placements on 10 rows, on
// Qt's offscreen platform, in a 1700 x 600 view (106 beats and 31 rows in sight).
//   BM_SongGridRender: the grid's own picture (labels, ruler, beat groups, the placements in sight,
//     the marker), as after an edit, a scroll or a marker column change.
//   BM_SongGridScrolled: the same at a place one page further each time, so other placements are
//     in sight on every repaint.
//   BM_SongGridRepaint: the picture rendered again and the page composited into the window's image,
//     what the screen gets while an entry is dragged.
#include "bench/studio_ui/editor_bench_studio.h"
#include "sequencer/pattern.h"
#include "studio_ui/sequence_editor/sequence_editor_page.h"
#include "studio_ui/sequence_editor/sequence_view.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kRows = 10;
constexpr int kEntriesPerRow = 20;
constexpr int kWidth = 1700, kHeight = 600;

struct SongGrid : editor_bench::CEditorStudio {
    SongGrid() {
        project->New();
        CSequenceEditor& song = sequencer->Song();
        song.SetLength(4096);
        // Per row two patterns (16 and 8 beats) placed alternately every 200 beats: 200 in all.
        for (int row = 0; row < kRows; ++row) {
            CMachineContainer* frame = studio->AddMachine(info, 20 + row * 120, 300);
            CPort* port = song.Song().GetTrack(song.Song().TrackCount() - 1)->port;
            if (port->m_owner != frame->Machine()) std::abort();
            Pattern* longer = sequencer->Patterns().CreatePattern(port, 16, "Verse");
            Pattern* shorter = sequencer->Patterns().CreatePattern(port, 8, "Fill");
            for (int i = 0; i < kEntriesPerRow; ++i)
                if (!song.PlacePattern(i % 2 ? shorter : longer, i * 200 + row * 4)) std::abort();
        }
        if (song.Song().EntryCount() != kRows * kEntriesPerRow) std::abort();
        window.CreateWindow(nullptr, "Sequence Editor", 0, 0, kWidth, kHeight, false);
        page = std::make_unique<sequence_editor::CSequenceEditorPage>(*sequencer, undo, *context);
        page->Build(&window, 0, 0, kWidth, kHeight);
        window.Show();
        page->Show();
        QApplication::processEvents();
        // A marker in sight, as while the song plays.
        page->View()->MoveMarker(40.0f);
    }
    ~SongGrid() {
        page.reset();
        studio->Clear();
    }
    std::unique_ptr<sequence_editor::CSequenceEditorPage> page;
};

void BM_SongGridRender(benchmark::State& state) {
    SongGrid grid;
    sequence_editor::CSequenceView& view = *grid.page->View();
    for (auto _ : state) {
        view.Refresh();
        benchmark::DoNotOptimize(view.Offscreen()->constBits());
    }
}
BENCHMARK(BM_SongGridRender)->Unit(benchmark::kMillisecond);

void BM_SongGridScrolled(benchmark::State& state) {
    SongGrid grid;
    sequence_editor::CSequenceView& view = *grid.page->View();
    int32_t first = 0;
    for (auto _ : state) {
        first = (first + 106) % 3990;
        view.ScrollTo(first, 0); // renders the picture again
        benchmark::DoNotOptimize(view.Offscreen()->constBits());
    }
}
BENCHMARK(BM_SongGridScrolled)->Unit(benchmark::kMillisecond);

void BM_SongGridRepaint(benchmark::State& state) {
    SongGrid grid;
    sequence_editor::CSequenceView& view = *grid.page->View();
    QImage image(grid.window.Widget()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        view.Refresh();
        QPainter painter(&image);
        grid.window.Widget()->render(&painter);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_SongGridRepaint)->Unit(benchmark::kMillisecond);

} // namespace
