// make_artwork OUTPUT_FOLDER: draws every picture the stock machines' panels use and writes them
// as 8-bit PNGs (RGB for backgrounds, RGBA for pieces drawn over them). The same program writes
// the same bytes on every run; library/artwork/ holds its output and the library embeds it.
#include "machines/antialias/antialias_panel_layout.h"
#include "machines/drumkit/drumkit_panel_layout.h"
#include "tools/artwork/canvas.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <string>

using artwork::CCanvas;
using artwork::Rgb;
namespace pal = artwork::palette;

namespace {

constexpr double kPi = 3.14159265358979323846;
// A knob turns through 270 degrees, from 135 degrees left of straight up to 135 right.
constexpr double kSweepStart = -135.0;
constexpr double kSweep = 270.0;
constexpr int kKnobFrames = 64;

// One knob frame of size x size showing value 0..1: a dark groove with the accent arc up to the
// value, a shaded cap and a light pointer.
CCanvas KnobFrame(int size, double value) {
    CCanvas frame(size, size, true);
    const double c = size / 2.0, r = size / 2.0;
    frame.Arc(c, c, r * 0.78, r * 0.97, kSweepStart, kSweepStart + kSweep, pal::kGroove);
    if (value > 0.0) frame.Arc(c, c, r * 0.81, r * 0.94, kSweepStart, kSweepStart + kSweep * value, pal::kAccent);
    frame.Disc(c, c, r * 0.70, pal::kPanelDark, pal::kPanelDark);
    frame.Disc(c, c, r * 0.66, pal::kCapTop, pal::kCapBottom);
    const double angle = (kSweepStart + kSweep * value) * kPi / 180.0;
    const double sx = std::sin(angle), sy = -std::cos(angle);
    frame.Line(c + sx * r * 0.22, c + sy * r * 0.22, c + sx * r * 0.58, c + sy * r * 0.58, std::max(2.0, size / 14.0),
               pal::kPointer);
    return frame;
}

// A strip of kKnobFrames frames stacked top to bottom, value frame / (frames - 1).
CCanvas KnobStrip(int size) {
    CCanvas strip(size, size * kKnobFrames, true);
    for (int f = 0; f < kKnobFrames; ++f)
        strip.Paste(KnobFrame(size, static_cast<double>(f) / (kKnobFrames - 1)), 0, f * size);
    return strip;
}

// The plate every panel stands on: a soft vertical gradient with a raised edge.
CCanvas Plate(int width, int height) {
    CCanvas plate(width, height, false);
    plate.GradientRect(0, 0, width, height, pal::kPanelLight, pal::kPanel);
    plate.Bevel(0, 0, width, height, pal::kEdgeLight, pal::kPanelDark);
    return plate;
}

// A sunken area grouping controls.
void Well(CCanvas& canvas, int x, int y, int width, int height) {
    canvas.FillRect(x, y, width, height, pal::kPanelDark);
    canvas.Bevel(x, y, width, height, pal::kGroove, pal::kEdgeLight);
}

// A title: large light letters with a small accent bar before them.
void Title(CCanvas& canvas, int x, int y, const std::string& text) {
    canvas.FillRect(x, y, 4, 14, pal::kAccent);
    canvas.Text(x + 10, y, text, pal::kText, 2);
}

CCanvas AntiAliasBackground() {
    using namespace antialias_panel;
    CCanvas canvas = Plate(kWidth, kHeight);
    canvas.TextCentred(kWidth / 2, kKnobSize + 4, "OVERSAMPLING", pal::kText);
    return canvas;
}

CCanvas DrumKitBackground() {
    using namespace drumkit_panel;
    CCanvas canvas = Plate(kWidth, kHeight);
    Title(canvas, 16, 16, "DGENR8");
    canvas.Text(138, 23, "ANALOGUE DRUM MACHINE", pal::kTextDim);
    canvas.FillRect(16, 44, kWidth - 32, 1, pal::kPanelDark);
    canvas.FillRect(16, 45, kWidth - 32, 1, pal::kEdgeLight);
    // Wells behind each row of a sound's knobs, each with the sound's name above it.
    struct Group {
        const char* name;
        int x, y, knobs;
    };
    const Group groups[] = {
        {"BASS DRUM", 26, 94, 4}, {"SNARE DRUM", 26, 190, 4}, {"LOW TOM", 302, 94, 3},  {"MID TOM", 302, 190, 3},
        {"HIGH TOM", 302, 286, 3}, {"RIM", 26, 286, 1},       {"CLAP", 90, 286, 1},     {"CLOSED HAT", 26, 382, 2},
        {"OPEN HAT", 154, 382, 2}, {"CRASH", 302, 382, 2},   {"RIDE", 430, 382, 2},
    };
    for (const Group& g : groups) {
        const int left = g.x - 12, width = (g.knobs - 1) * 64 + kKnobSize + 24;
        Well(canvas, left + 1, g.y - 24, width - 2, kKnobSize + 42);
        canvas.Text(left + 6, g.y - 19, g.name, pal::kAccent);
    }
    // Under each knob the parameter's own word; the well's title names the sound.
    for (const KnobPlace& k : kKnobs) {
        const std::string caption = k.caption;
        canvas.TextCentred(k.x + kKnobSize / 2, k.y + kKnobSize + 5, caption.substr(caption.find(' ') + 1), pal::kText);
    }
    return canvas;
}

void Write(const std::string& folder, const char* name, const CCanvas& canvas) {
    artwork::WritePng(canvas, folder + "/" + name);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_artwork OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    try {
        Write(folder, "antialias_background.png", AntiAliasBackground());
        Write(folder, "antialias_knob.png", KnobStrip(antialias_panel::kKnobSize));
        Write(folder, "drumkit_background.png", DrumKitBackground());
        Write(folder, "drumkit_knob.png", KnobStrip(drumkit_panel::kKnobSize));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
