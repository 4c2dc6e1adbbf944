// Repainting a skinned panel: a container of 30 knobs (48 x 48, 64-frame strips with alpha) over a
// background picture, composed in full and handed to its window, as a panel following automation
// does once per frame. At 60 frames per second a frame has 16.7 ms; the panel should use well under
// 2 ms of it.
#include "gui/lite_container.h"
#include "gui/lite_knob.h"
#include "gui/picture_image.h"
#include "gui/window.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr int kKnobSize = 48;
constexpr int kFrames = 64;
constexpr int kColumns = 6;
constexpr int kRows = 5;
constexpr int kWidth = kColumns * 64 + 16;
constexpr int kHeight = kRows * 64 + 16;

gui::CPicture Strip() {
    QImage image(kKnobSize, kKnobSize * kFrames, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int f = 0; f < kFrames; ++f) {
        const QPointF centre(kKnobSize / 2.0, f * kKnobSize + kKnobSize / 2.0);
        painter.setPen(QPen(QColor(16, 16, 20), 1));
        painter.setBrush(QColor(80, 84, 92));
        painter.drawEllipse(centre, kKnobSize / 2.0 - 3, kKnobSize / 2.0 - 3);
        painter.setPen(QPen(QColor(255, 170, 40), 3));
        painter.drawArc(QRectF(2, f * kKnobSize + 2, kKnobSize - 4, kKnobSize - 4), 225 * 16, -270 * 16 * f / (kFrames - 1));
    }
    painter.end();
    return gui::PictureFromImage(image);
}

gui::CPicture Background() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient metal(0, 0, 0, kHeight);
    metal.setColorAt(0, QColor(58, 62, 70));
    metal.setColorAt(1, QColor(34, 36, 42));
    painter.fillRect(image.rect(), metal);
    painter.end();
    return gui::PictureFromImage(image);
}

struct Panel {
    Panel() : strip(Strip()), background(Background()) {
        window.CreateWindow(nullptr, "Bench", 0, 0, kWidth, kHeight, false);
        container.Create(&window, "Knobs", 0, 0, kWidth, kHeight, &background);
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c)
                knobs.push_back(container.Add<gui::CLiteKnob>(8 + c * 64 + 8, 8 + r * 64 + 8, kKnobSize, kKnobSize, strip,
                                                              nullptr, 0));
        window.Show();
        container.Show();
        QApplication::processEvents();
    }
    // Every knob at a new value, as automation of all of them would leave it.
    void Turn(int step) {
        for (size_t i = 0; i < knobs.size(); ++i)
            knobs[i]->SetValue(static_cast<float>((step + static_cast<int>(i) * 7) % kFrames) / (kFrames - 1));
    }
    gui::CPicture strip;
    gui::CPicture background;
    gui::CWindow window;
    gui::CLiteContainer container;
    std::vector<gui::CLiteKnob*> knobs;
};

// Composition of the whole container and the copy into its window's off-screen picture.
void BM_FullRedraw30Knobs(benchmark::State& state) {
    Panel panel;
    int step = 0;
    for (auto _ : state) {
        panel.Turn(++step);
        panel.container.Redraw(0, 0, kWidth, kHeight);
        benchmark::DoNotOptimize(panel.container.Composition().Pixels());
    }
}
BENCHMARK(BM_FullRedraw30Knobs)->Unit(benchmark::kMicrosecond);

// The same, with the window painted at once (the copy the window system makes on screen).
void BM_FullRedrawAndPaint30Knobs(benchmark::State& state) {
    Panel panel;
    int step = 0;
    for (auto _ : state) {
        panel.Turn(++step);
        panel.container.Redraw(0, 0, kWidth, kHeight);
        panel.container.Widget()->repaint();
    }
}
BENCHMARK(BM_FullRedrawAndPaint30Knobs)->Unit(benchmark::kMicrosecond);

// The path automation takes: values set, the knobs marked dirty, the repaint tick composing them.
void BM_DirtyKnobsOnTheRepaintTick(benchmark::State& state) {
    Panel panel;
    int step = 0;
    for (auto _ : state) {
        panel.Turn(++step);
        gui::CControl::RefreshDirtyControls();
    }
}
BENCHMARK(BM_DirtyKnobsOnTheRepaintTick)->Unit(benchmark::kMicrosecond);

} // namespace
