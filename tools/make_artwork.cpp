// make_artwork STOCK_FOLDER [STUDIO_FOLDER]: draws every picture the stock machines' panels use
// and writes them as 8-bit PNGs (RGB for backgrounds, RGBA for pieces drawn over them) into
// STOCK_FOLDER; with a second folder it also writes the studio window's icons there (tool bars,
// the options pages, the HD recorder's buttons, the pattern and sequence editors' tool bars). The
// same program writes the same bytes on every run; library/artwork/ and studio_ui/artwork/ hold
// its output and the deliverables embed them.
#include "machines/antialias/antialias_panel_layout.h"
#include "machines/basshead/basshead_panel_layout.h"
#include "machines/basshead/basshead_parameters.h"
#include "machines/drumkit/drumkit_panel_layout.h"
#include "machines/mixer/mixer_panel_layout.h"
#include "machines/spatialverb/spatialverb_panel_layout.h"
#include "tools/artwork/canvas.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <string>
#include <vector>

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

// The BassHead page: group titles, a caption left of every slider (its parameter's name without
// the group's prefix) and the display's sunken glass.
CCanvas BassHeadBackground() {
    using namespace basshead_panel;
    CCanvas canvas = Plate(kWidth, kHeight);
    // The name stands in the free place under the first oscillator.
    Title(canvas, 16, 382, "BASSHEAD");
    canvas.Text(16, 406, "MONOPHONIC SYNTHESIZER", pal::kTextDim);
    for (const Group& g : kGroups) {
        const int left = g.x - 100;
        Well(canvas, left, g.y - 22, kTrackLength + 112, g.count * kRowStep + 24);
        canvas.Text(left + 6, g.y - 17, g.title, pal::kAccent);
        for (int32_t i = 0; i < g.count; ++i) {
            std::string caption = basshead::ParameterName(g.first + i);
            // "Sync" sits among the oscillator's parameters without their prefix.
            const auto prefix = static_cast<size_t>(g.prefixLength);
            if (prefix > 0 && caption.size() > prefix && caption[prefix - 1] == ' ') caption = caption.substr(prefix);
            const int y = g.y + i * kRowStep;
            canvas.Text(g.x - 6 - CCanvas::TextWidth(caption), y + 3, caption, pal::kText);
            // The slider's groove.
            canvas.FillRect(g.x + kHandleSize / 2, y + kHandleSize / 2 - 1, kTrackLength - kHandleSize, 3, pal::kGroove);
        }
    }
    // The display: a dark green glass the text shows on as a shadow.
    canvas.FillRect(kScreenX - 2, kScreenY - 2, kScreenWidth + 4, kScreenHeight + 4, pal::kGroove);
    canvas.GradientRect(kScreenX, kScreenY, kScreenWidth, kScreenHeight, {150, 196, 140}, {118, 164, 110});
    return canvas;
}

// The slider's track under its handle: transparent, so the background's groove shows.
CCanvas BassHeadTrack() {
    using namespace basshead_panel;
    CCanvas canvas(kTrackLength, kHandleSize, true);
    return canvas;
}

// The BassHead slider handle: a short upright cap with an accent line.
CCanvas BassHeadHandle() {
    const int size = basshead_panel::kHandleSize;
    CCanvas canvas(size, size, true);
    canvas.RoundRect(1.5, 0.5, size - 3.0, size - 1.0, 2.0, pal::kPanelDark);
    canvas.RoundRect(2.5, 1.5, size - 5.0, size - 3.0, 1.5, pal::kCapTop);
    canvas.FillRect(size / 2 - 1, 3, 2, size - 6, pal::kAccent);
    return canvas;
}

// The display font: characters 33..122, 12 cells of 16 x 16 to a row; each glyph drawn tall and
// narrow (5 x 14) in black on white, since the display turns darkness into its shadow.
CCanvas BassHeadFont() {
    using namespace basshead_panel;
    const int count = kFontLast - kFontFirst + 1;
    const int rows = (count + kFontColumns - 1) / kFontColumns;
    CCanvas canvas(kFontColumns * kFontCell, rows * kFontCell, false, {255, 255, 255});
    for (int c = kFontFirst; c <= kFontLast; ++c) {
        const int cell = c - kFontFirst;
        const int x = (cell % kFontColumns) * kFontCell, y = (cell / kFontColumns) * kFontCell;
        const uint8_t* glyph = artwork::Glyph(static_cast<char>(c));
        if (!glyph) continue;
        for (int r = 0; r < 7; ++r)
            for (int col = 0; col < 5; ++col)
                if (glyph[r] & (0x10 >> col)) canvas.FillRect(x + col, y + 1 + r * 2, 1, 2, {0, 0, 0});
    }
    return canvas;
}

// A 32 x 32 icon: the synthesizer's waveform on the panel's plate.
CCanvas BassHeadIcon() {
    CCanvas canvas(32, 32, true);
    canvas.RoundRect(0.5, 0.5, 31.0, 31.0, 5.0, pal::kPanelDark);
    canvas.RoundRect(2.0, 2.0, 28.0, 28.0, 4.0, pal::kPanel);
    canvas.Line(6, 22, 14, 9, 2.2, pal::kAccent);
    canvas.Line(14, 9, 14, 22, 2.2, pal::kAccent);
    canvas.Line(14, 22, 22, 9, 2.2, pal::kAccent);
    canvas.Line(22, 9, 22, 22, 2.2, pal::kAccent);
    canvas.Line(22, 22, 26, 16, 2.2, pal::kAccent);
    return canvas;
}

// One strip of the Mixer: buttons on top, the send knobs (tracks only), the band knobs, the
// level fader with its meters, the balance slider and room for the strip's title.
CCanvas MixerStripBackground(bool track) {
    using namespace mixer_panel;
    CCanvas canvas(kStripWidth, kStripHeight, false);
    canvas.GradientRect(0, 0, kStripWidth, kStripHeight, pal::kPanelLight, pal::kPanel);
    canvas.Bevel(0, 0, kStripWidth, kStripHeight, pal::kEdgeLight, pal::kGroove);
    if (track)
        for (const Caption& c : kSendCaptions) canvas.Text(c.x, c.y, c.text, pal::kTextDim);
    for (const Caption& c : kBandCaptions) canvas.Text(c.x, c.y, c.text, pal::kTextDim);
    // The fader's groove and its scale: a tick every 12 dB of the -48 .. +12 dB span, 0 dB long.
    const int grooveX = kLevelX + kHandleSize / 2;
    const int top = kLevelY + kHandleSize / 2, bottom = kLevelY + kLevelLength - kHandleSize / 2;
    canvas.FillRect(grooveX - 2, top - 1, 4, bottom - top + 2, pal::kGroove);
    for (int db = -48; db <= 12; db += 12) {
        const int y = bottom - (bottom - top) * (db + 48) / 60;
        canvas.FillRect(db == 0 ? 24 : 28, y, db == 0 ? 10 : 6, 1, db == 0 ? pal::kText : pal::kTextDim);
    }
    // The meters' well.
    canvas.FillRect(kLeftMeterX - 1, kMeterY - 1, kRightMeterX + kMeterWidth - kLeftMeterX + 2, kMeterHeight + 2,
                    pal::kGroove);
    // The balance slider's groove with its centre mark.
    const int balanceY = kBalanceY + kHandleSize / 2;
    canvas.FillRect(kBalanceX + kHandleSize / 2, balanceY - 1, kBalanceLength - kHandleSize, 3, pal::kGroove);
    canvas.FillRect(kBalanceX + kBalanceLength / 2, balanceY - 4, 1, 2, pal::kTextDim);
    // The title's plate.
    canvas.FillRect(4, kTitleY - 3, kStripWidth - 8, 13, pal::kPanelDark);
    return canvas;
}

// A mixer button of one state: up (raised grey), pressed (sunken), latched (lit in colour).
CCanvas MixerButton(const char* label, int state, Rgb lit) {
    using namespace mixer_panel;
    CCanvas canvas(kButtonWidth, kButtonHeight, false, pal::kPanelLight);
    const Rgb face = state == 0 ? pal::kCapTop : state == 1 ? pal::kCapBottom : lit;
    canvas.FillRect(0, 0, kButtonWidth, kButtonHeight, face);
    if (state == 0)
        canvas.Bevel(0, 0, kButtonWidth, kButtonHeight, pal::kEdgeLight, pal::kGroove);
    else
        canvas.Bevel(0, 0, kButtonWidth, kButtonHeight, pal::kGroove, pal::kEdgeLight);
    const int offset = state == 1 ? 1 : 0;
    canvas.TextCentred(kButtonWidth / 2 + offset, 4 + offset, label, state == 2 ? pal::kGroove : pal::kText);
    return canvas;
}

// The slider handle: a light cap with a dark grip line across the middle.
CCanvas SliderHandle() {
    const int size = mixer_panel::kHandleSize;
    CCanvas canvas(size, size, true);
    canvas.RoundRect(0.5, 0.5, size - 1.0, size - 1.0, 2.5, pal::kPanelDark);
    canvas.RoundRect(1.5, 1.5, size - 3.0, size - 3.0, 1.5, pal::kCapTop);
    canvas.FillRect(3, size / 2 - 1, size - 6, 2, pal::kPointer);
    return canvas;
}

// The caption font: characters 32..127 in cells of 6 x 8, 16 to a row, light glyphs on transparent.
CCanvas CaptionFont() {
    using namespace mixer_panel;
    CCanvas canvas(kFontColumns * kFontCellWidth, 6 * kFontCellHeight, true);
    for (int c = 32; c < 128; ++c) {
        const int cell = c - 32;
        canvas.Text((cell % kFontColumns) * kFontCellWidth, (cell / kFontColumns) * kFontCellHeight,
                    std::string(1, static_cast<char>(c)), pal::kText);
    }
    return canvas;
}

// The SpatialVerb page: the room's well with its width and height sliders, the view-time slider,
// the two response displays' glass, the text display and a caption under every knob.
CCanvas SpatialVerbBackground() {
    using namespace spatialverb_panel;
    CCanvas canvas = Plate(kWidth, kHeight);
    Title(canvas, 132, 8, "SPATIALVERB");
    // The room: its well, the width slider above it and the height slider at its left.
    Well(canvas, kRoomX - 2, kRoomY - 2, kRoomSize + 4, kRoomSize + 4);
    canvas.Text(kWidthSliderX, kWidthSliderY - 10, "ROOM WIDTH", pal::kText);
    canvas.FillRect(kWidthSliderX + kHandleSize / 2, kWidthSliderY + kHandleSize / 2 - 1, kSliderLength - kHandleSize, 3,
                    pal::kGroove);
    const std::string height = "HEIGHT";
    for (size_t i = 0; i < height.size(); ++i)
        canvas.Text(5, kHeightSliderY + 14 + static_cast<int>(i) * 9, height.substr(i, 1), pal::kText);
    canvas.FillRect(kHeightSliderX + kHandleSize / 2 - 1, kHeightSliderY + kHandleSize / 2, 3, kSliderLength - kHandleSize,
                    pal::kGroove);
    canvas.FillRect(kTimeSliderX + kHandleSize / 2, kTimeSliderY + kHandleSize / 2 - 1, kSliderLength - kHandleSize, 3,
                    pal::kGroove);
    canvas.Text(kTimeSliderX, kTimeSliderY + kHandleSize + 3, "VIEW TIME", pal::kText);
    canvas.Text(16, kHeight - 18, "GEOMETRIC ROOM REVERB", pal::kTextDim);
    // The response displays: sunken glass, each with its caption above.
    Well(canvas, kEarlyX - 2, kEarlyY - 2, kEarlyWidth + 4, kEarlyHeight + 4);
    canvas.Text(kEarlyX, kEarlyY - 12, "EARLY", pal::kAccent);
    Well(canvas, kLateX - 2, kLateY - 2, kLateWidth + 4, kLateHeight + 4);
    canvas.Text(kLateX, kLateY - 12, "LATE", pal::kAccent);
    // The text display: the same green glass as the BassHead's.
    canvas.FillRect(kTextX - 3, kTextY - 3, kTextWidth + 6, kTextHeight + 6, pal::kGroove);
    canvas.GradientRect(kTextX - 2, kTextY - 2, kTextWidth + 4, kTextHeight + 4, {150, 196, 140}, {118, 164, 110});
    for (const KnobPlace& k : kKnobs) canvas.TextCentred(k.x + kKnobSize / 2, kKnobCaptionY, k.caption, pal::kText);
    return canvas;
}

// A square slider handle: a light cap with a dark grip line across its middle.
CCanvas SquareHandle(int size) {
    CCanvas canvas(size, size, true);
    canvas.RoundRect(0.5, 0.5, size - 1.0, size - 1.0, 2.5, pal::kPanelDark);
    canvas.RoundRect(1.5, 1.5, size - 3.0, size - 3.0, 1.5, pal::kCapTop);
    canvas.FillRect(size / 2 - 1, 3, 2, size - 6, pal::kAccent);
    return canvas;
}

// A point marker: sources are squares (loudspeakers), listening points discs; left yellow, right
// red, each with a dark rim so it stands out over the sound field.
CCanvas SpatialVerbMarker(bool source, Rgb colour) {
    const int size = spatialverb_panel::kMarkerSize;
    CCanvas canvas(size, size, true);
    const double c = size / 2.0;
    if (source) {
        canvas.RoundRect(0.5, 0.5, size - 1.0, size - 1.0, 1.5, pal::kGroove);
        canvas.RoundRect(1.5, 1.5, size - 3.0, size - 3.0, 1.0, colour);
    } else {
        canvas.Disc(c, c, c - 0.2, pal::kGroove, pal::kGroove);
        canvas.Disc(c, c, c - 1.4, colour, colour);
        canvas.Disc(c, c, 1.2, pal::kGroove, pal::kGroove);
    }
    return canvas;
}

// The swap button's three states stacked: up (raised), pressed (sunken), latched (lit).
CCanvas SpatialVerbSwap() {
    using namespace spatialverb_panel;
    CCanvas canvas(kSwapWidth, 3 * kSwapHeight, false, pal::kPanel);
    for (int state = 0; state < 3; ++state) {
        const int y = state * kSwapHeight;
        canvas.FillRect(0, y, kSwapWidth, kSwapHeight, state == 0 ? pal::kCapTop : state == 1 ? pal::kCapBottom : pal::kAccent);
        if (state == 0)
            canvas.Bevel(0, y, kSwapWidth, kSwapHeight, pal::kEdgeLight, pal::kGroove);
        else
            canvas.Bevel(0, y, kSwapWidth, kSwapHeight, pal::kGroove, pal::kEdgeLight);
        const int offset = state == 1 ? 1 : 0;
        canvas.TextCentred(kSwapWidth / 2 + offset, y + 2 + offset, "ABOUT", state == 2 ? pal::kGroove : pal::kText);
    }
    return canvas;
}

// The large picture: the machine's name and a room seen from above with a source's rays reaching
// a listener directly and off the walls.
CCanvas SpatialVerbPicture() {
    using namespace spatialverb_panel;
    CCanvas canvas(kPictureWidth, kPictureHeight, false);
    canvas.GradientRect(0, 0, kPictureWidth, kPictureHeight, {26, 38, 48}, {14, 18, 24});
    canvas.Bevel(0, 0, kPictureWidth, kPictureHeight, pal::kGroove, pal::kEdgeLight);
    // The room with its rays.
    const double left = 10, top = 10, right = 70, bottom = 70;
    canvas.FillRect(10, 10, 61, 1, pal::kTextDim);
    canvas.FillRect(10, 70, 61, 1, pal::kTextDim);
    canvas.FillRect(10, 10, 1, 61, pal::kTextDim);
    canvas.FillRect(70, 10, 1, 61, pal::kTextDim);
    const double sx = 24, sy = 24, lx = 52, ly = 58;
    const Rgb ray{110, 190, 255};
    canvas.Line(sx, sy, lx, ly, 1.2, ray);
    // Off each wall: the reflection point lies on the line from the listener to the mirror image.
    const double images[4][2] = {{2 * left - sx, sy}, {2 * right - sx, sy}, {sx, 2 * top - sy}, {sx, 2 * bottom - sy}};
    for (const auto& image : images) {
        double px, py;
        if (image[1] == sy) {
            const double wall = image[0] < left ? left : right;
            px = wall;
            py = ly + (sy - ly) * (wall - lx) / (image[0] - lx);
        } else {
            const double wall = image[1] < top ? top : bottom;
            py = wall;
            px = lx + (sx - lx) * (wall - ly) / (image[1] - ly);
        }
        canvas.Line(sx, sy, px, py, 1.0, {70, 130, 180});
        canvas.Line(px, py, lx, ly, 1.0, {70, 130, 180});
    }
    canvas.RoundRect(sx - 3.5, sy - 3.5, 7, 7, 1.5, pal::kYellow);
    canvas.Disc(lx, ly, 3.5, pal::kAccent, pal::kAccent);
    canvas.Text(84, 14, "QX", pal::kAccent, 2);
    canvas.Text(84, 34, "SPATIALVERB", pal::kText);
    canvas.Text(84, 46, "ROOM REVERB", pal::kTextDim);
    canvas.Text(84, 56, "IMAGE SOURCES", pal::kTextDim);
    canvas.Text(84, 66, "CLICK TO CLOSE", pal::kTextDim);
    return canvas;
}

// ---- The studio window's icons ----
// Drawn at twice their logical size (the program shows them at density 2), in logical units
// scaled by s; dark outlines around light faces, as the desktop's own icons are.

constexpr Rgb kIconOutline{40, 40, 48};

std::vector<artwork::Point> Scaled(std::initializer_list<artwork::Point> points, double s) {
    std::vector<artwork::Point> out;
    for (const artwork::Point& p : points) out.push_back({p.x * s, p.y * s});
    return out;
}

std::vector<artwork::Point> RectPoints(double x, double y, double w, double h) {
    return {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
}

// A filled shape with its outline (width in logical units).
void Shape(CCanvas& canvas, const std::vector<artwork::Point>& points, Rgb fill, Rgb outline, double width) {
    canvas.Polygon(points, fill);
    if (width > 0.0) canvas.Outline(points, width, outline);
}

void ShapeRect(CCanvas& canvas, double s, double x, double y, double w, double h, Rgb fill, Rgb outline, double width) {
    std::vector<artwork::Point> points = RectPoints(x * s, y * s, w * s, h * s);
    Shape(canvas, points, fill, outline, width * s);
}

// A blank sheet with its top right corner folded over: "New Project".
CCanvas NewProjectIcon() {
    const double s = 2.0;
    CCanvas canvas(32, 32, true);
    Shape(canvas, Scaled({{3, 1.5}, {10, 1.5}, {13.5, 5}, {13.5, 14.5}, {3, 14.5}}, s), {250, 250, 250}, kIconOutline, 0.9 * s);
    Shape(canvas, Scaled({{10, 1.5}, {10, 5}, {13.5, 5}}, s), {205, 205, 210}, kIconOutline, 0.9 * s);
    // A few ruled lines: a page to be written.
    for (int i = 0; i < 3; ++i) canvas.Line(5.5 * s, (8 + 2.2 * i) * s, 11.5 * s, (8 + 2.2 * i) * s, 0.6 * s, {190, 196, 210});
    return canvas;
}

// A folder's back with its tab, and the front flap tilted open: "Open Project".
CCanvas OpenProjectIcon() {
    const double s = 2.0;
    CCanvas canvas(32, 32, true);
    Shape(canvas, Scaled({{1, 3}, {6, 3}, {7.5, 4.5}, {13, 4.5}, {13, 14}, {1, 14}}, s), {196, 150, 60}, kIconOutline, 0.9 * s);
    Shape(canvas, Scaled({{3.5, 7}, {15.5, 7}, {13, 14}, {1, 14}}, s), {232, 194, 96}, kIconOutline, 0.9 * s);
    return canvas;
}

// A disk: the body with a cut corner, the label below and the shutter above: "Save Project".
CCanvas SaveProjectIcon() {
    const double s = 2.0;
    CCanvas canvas(32, 32, true);
    const Rgb body{70, 100, 170};
    Shape(canvas, Scaled({{1.5, 1.5}, {12.5, 1.5}, {14.5, 3.5}, {14.5, 14.5}, {1.5, 14.5}}, s), body, kIconOutline, 0.9 * s);
    ShapeRect(canvas, s, 3.5, 8.5, 9, 6, {245, 245, 245}, kIconOutline, 0.9);
    ShapeRect(canvas, s, 4.5, 1.5, 7, 4.5, {200, 205, 215}, kIconOutline, 0.9);
    ShapeRect(canvas, s, 9, 2.3, 1.6, 3, body, body, 0.0);
    return canvas;
}

// A folder filling a square of side logical pixels (its back with the tab, its face in front).
void Folder(CCanvas& canvas, double s, double side, double top = 6.0) {
    const double u = side / 16.0 * s;
    Shape(canvas, Scaled({{1, 3}, {6, 3}, {7.5, 4.5}, {15, 4.5}, {15, 14}, {1, 14}}, u), {196, 150, 60}, kIconOutline, 0.8 * u);
    Shape(canvas, RectPoints(1 * u, top * u, 14 * u, (14 - top) * u), {226, 186, 88}, kIconOutline, 0.8 * u);
}

// A loudspeaker sending out three waves: the options' "Audio Output" page.
CCanvas AudioOutputIcon() {
    const double s = 2.0;
    CCanvas canvas(64, 64, true);
    Shape(canvas, Scaled({{4, 12}, {10, 12}, {17, 5}, {17, 27}, {10, 20}, {4, 20}}, s), {120, 128, 140}, kIconOutline, 1.2 * s);
    const Rgb wave{40, 110, 190};
    for (double r : {5.0, 9.0, 13.0}) canvas.Arc(15 * s, 16 * s, (r - 1.0) * s, (r + 1.0) * s, 45.0, 135.0, wave);
    return canvas;
}

// A folder with a plug-in's jack on it: the "VST Paths" page (the folders hold plug-ins).
CCanvas VstPathsIcon() {
    const double s = 2.0;
    CCanvas canvas(64, 64, true);
    Folder(canvas, s, 32.0);
    canvas.RoundRect(11 * s - 1.4 * s, 16 * s - 1.4 * s, 10 * s + 2.8 * s, 7 * s + 2.8 * s, 3 * s, kIconOutline);
    canvas.RoundRect(11 * s, 16 * s, 10 * s, 7 * s, 2 * s, {70, 70, 80});
    canvas.Line(13.5 * s, 23 * s, 13.5 * s, 26.5 * s, 1.6 * s, kIconOutline);
    canvas.Line(18.5 * s, 23 * s, 18.5 * s, 26.5 * s, 1.6 * s, kIconOutline);
    return canvas;
}

// A folder with a round plus or minus sign at its lower right: "Add Path...", "Remove ...".
CCanvas FolderWithSign(bool plus) {
    const double s = 2.0;
    CCanvas canvas(32, 32, true);
    Folder(canvas, s, 14.0);
    const Rgb sign = plus ? Rgb{30, 140, 50} : Rgb{190, 40, 30};
    canvas.Disc(11.5 * s, 11.5 * s, 4.3 * s, {255, 255, 255}, {255, 255, 255});
    canvas.Disc(11.5 * s, 11.5 * s, 3.6 * s, sign, sign);
    canvas.FillRect(static_cast<int>(9.4 * s), static_cast<int>(11.0 * s), static_cast<int>(4.2 * s), static_cast<int>(1.0 * s),
                    {255, 255, 255});
    if (plus)
        canvas.FillRect(static_cast<int>(11.0 * s), static_cast<int>(9.4 * s), static_cast<int>(1.0 * s),
                        static_cast<int>(4.2 * s), {255, 255, 255});
    return canvas;
}

// An open folder holding a note: the bank explorer's "load a bank of sounds".
CCanvas LoadBankIcon() {
    const double s = 2.0;
    CCanvas canvas(32, 32, true);
    Folder(canvas, s, 16.0, 6.5);
    canvas.Line(9.6 * s, 7.6 * s, 9.6 * s, 11.8 * s, 1.1 * s, kIconOutline);
    canvas.Line(9.6 * s, 7.6 * s, 11.8 * s, 8.8 * s, 1.1 * s, kIconOutline);
    canvas.Disc(8.4 * s, 12.0 * s, 1.4 * s, kIconOutline, kIconOutline);
    return canvas;
}

// The HD recorder's record button: a red dot, dark while idle, glowing while recording
// (14 logical pixels).
CCanvas RecordIcon(bool lit) {
    const double s = 2.0, c = 7.0 * s;
    CCanvas canvas(28, 28, true);
    if (lit) canvas.Disc(c, c, 6.5 * s, {255, 90, 70}, {255, 90, 70}, 90.0 / 255.0);
    const Rgb rim = lit ? Rgb{120, 0, 0} : Rgb{70, 10, 10};
    const Rgb fill = lit ? Rgb{255, 48, 40} : Rgb{150, 30, 30};
    canvas.Disc(c, c, 5.0 * s, rim, rim);
    canvas.Disc(c, c, 4.5 * s - 0.8, fill, fill);
    // A highlight: the button is round, not a flat spot.
    canvas.Disc(c - 1.6 * s, c - 1.6 * s, 1.1 * s, lit ? Rgb{255, 170, 160} : Rgb{190, 90, 90},
                lit ? Rgb{255, 170, 160} : Rgb{190, 90, 90}, 0.8);
    return canvas;
}

// The HD recorder's file choice: a disk with its label and shutter (14 logical pixels).
CCanvas SaveFileIcon() {
    const double s = 2.0;
    CCanvas canvas(28, 28, true);
    Shape(canvas, Scaled({{1.5, 1.5}, {10.5, 1.5}, {12.5, 3.5}, {12.5, 12.5}, {1.5, 12.5}}, s), {60, 90, 170}, {20, 30, 70},
          1.0 * s);
    ShapeRect(canvas, s, 3.5, 7.5, 7.0, 5.0, {235, 235, 235}, {20, 30, 70}, 0.6);
    ShapeRect(canvas, s, 4.0, 2.0, 5.0, 3.5, {190, 195, 205}, {20, 30, 70}, 0.6);
    return canvas;
}

// ---- The editor pages' tool bars ----
// The pattern editor's buttons are 16 logical pixels, the sequence editor's transport 14; the
// transport pictures are one drawing at either size (coordinates in a 14-unit square scaled to
// the icon), so the two pages show the same play, stop and loop.

constexpr Rgb kSheet{250, 250, 250};
constexpr Rgb kNoteBlue{52, 104, 190};
constexpr Rgb kAddGreen{46, 150, 70};
constexpr Rgb kRemoveRed{196, 56, 48};

// A small sheet with three note bars at (x, y) (logical units): a pattern.
void PatternSheet(CCanvas& canvas, double s, double x, double y) {
    ShapeRect(canvas, s, x, y, 10, 11, kSheet, kIconOutline, 0.9);
    ShapeRect(canvas, s, x + 2, y + 2.5, 3, 1.5, kNoteBlue, kNoteBlue, 0.0);
    ShapeRect(canvas, s, x + 5, y + 5, 3, 1.5, kNoteBlue, kNoteBlue, 0.0);
    ShapeRect(canvas, s, x + 3, y + 7.5, 4, 1.5, kNoteBlue, kNoteBlue, 0.0);
}

// A round plus or minus sign at the lower right, with a white rim so it stands off the sheet.
void Badge(CCanvas& canvas, double s, bool plus, Rgb colour) {
    const double c = 12.0 * s;
    canvas.Disc(c, c, 4.1 * s, {255, 255, 255}, {255, 255, 255});
    canvas.Disc(c, c, 3.5 * s, colour, colour);
    canvas.Line(10.4 * s, c, 13.6 * s, c, 1.3 * s, {255, 255, 255});
    if (plus) canvas.Line(c, 10.4 * s, c, 13.6 * s, 1.3 * s, {255, 255, 255});
}

// A lane with three steps of a control track.
void ControlLane(CCanvas& canvas, double s) {
    ShapeRect(canvas, s, 1.5, 3.5, 12, 8, kSheet, kIconOutline, 0.9);
    ShapeRect(canvas, s, 3, 8, 2, 2, kNoteBlue, kNoteBlue, 0.0);
    ShapeRect(canvas, s, 6.5, 5.5, 2, 2, kNoteBlue, kNoteBlue, 0.0);
    ShapeRect(canvas, s, 10, 7, 2, 2, kNoteBlue, kNoteBlue, 0.0);
}

// "Add Pattern", "Remove Pattern": a pattern with a green plus or a red minus.
CCanvas PatternWithSign(bool plus) {
    const double s = 2.0;
    CCanvas canvas(32, 32, true);
    PatternSheet(canvas, s, 1.5, 1.5);
    Badge(canvas, s, plus, plus ? kAddGreen : kRemoveRed);
    return canvas;
}

// "Duplicate Pattern": the pattern and its copy in front of it.
CCanvas DuplicatePatternIcon() {
    const double s = 2.0;
    CCanvas canvas(32, 32, true);
    PatternSheet(canvas, s, 1.5, 1.5);
    PatternSheet(canvas, s, 4.5, 4.0);
    return canvas;
}

// "Rename Pattern": the pattern with a pencil across its corner.
CCanvas RenamePatternIcon() {
    const double s = 2.0;
    CCanvas canvas(32, 32, true);
    PatternSheet(canvas, s, 1.5, 1.5);
    Shape(canvas, Scaled({{7, 14.5}, {7.6, 12}, {13.5, 6}, {15.5, 8}, {9.5, 14}}, s), {240, 190, 60}, kIconOutline, 0.8 * s);
    // The pencil's point.
    Shape(canvas, Scaled({{7, 14.5}, {7.3, 13.2}, {8.3, 14.2}}, s), kIconOutline, kIconOutline, 0.0);
    return canvas;
}

// "Add Control Track", "Remove Control Track": a control lane with a green plus or a red minus.
CCanvas ControlTrackWithSign(bool plus) {
    const double s = 2.0;
    CCanvas canvas(32, 32, true);
    ControlLane(canvas, s);
    Badge(canvas, s, plus, plus ? kAddGreen : kRemoveRed);
    return canvas;
}

// The colours of a transport picture: idle, or lit while its state holds.
struct TransportColours {
    Rgb fill, outline;
};

// Play: a green triangle pointing right, at logical side pixels.
CCanvas PlayIcon(int side, bool lit) {
    const double u = side / 14.0 * 2.0;
    CCanvas canvas(2 * side, 2 * side, true);
    const TransportColours colours = lit ? TransportColours{{90, 230, 90}, {20, 90, 20}}
                                         : TransportColours{{60, 150, 70}, {20, 50, 20}};
    Shape(canvas, Scaled({{3.5, 2.0}, {12.0, 7.0}, {3.5, 12.0}}, u), colours.fill, colours.outline, 1.0 * u);
    return canvas;
}

// Stop: a light square with a dark rim (it reads on the dark tool bars), at logical side pixels.
CCanvas StopIcon(int side) {
    const double u = side / 14.0 * 2.0;
    CCanvas canvas(2 * side, 2 * side, true);
    ShapeRect(canvas, u, 3.0, 3.0, 8.0, 8.0, {200, 200, 206}, {30, 30, 34}, 1.0);
    return canvas;
}

// An arrowhead whose tip leads the ring at angle degrees (clockwise from straight up), moving
// clockwise round (cx, cy) at radius r; sizes in pixels.
void RingArrowHead(CCanvas& canvas, double cx, double cy, double r, double degrees, double length, double half, Rgb colour) {
    const double a = degrees * kPi / 180.0;
    const double px = cx + r * std::sin(a), py = cy - r * std::cos(a);
    // Clockwise along the ring, and outwards from its centre.
    const double tx = std::cos(a), ty = std::sin(a);
    const double nx = std::sin(a), ny = -std::cos(a);
    const double bx = px - tx * length * 0.35, by = py - ty * length * 0.35;
    canvas.Polygon({{px + tx * length * 0.65, py + ty * length * 0.65},
                    {bx + nx * half, by + ny * half},
                    {bx - nx * half, by - ny * half}},
                   colour);
}

// Loop: two arrows chasing each other round, grey while idle and blue while looping, at logical
// side pixels.
CCanvas LoopIcon(int side, bool lit) {
    const double u = side / 14.0 * 2.0;
    CCanvas canvas(2 * side, 2 * side, true);
    const Rgb colour = lit ? Rgb{110, 200, 255} : Rgb{170, 172, 182};
    const double c = 7.0 * u, r = 4.3 * u, half = 0.8 * u;
    canvas.Arc(c, c, r - half, r + half, 25.0, 130.0, colour);
    canvas.Arc(c, c, r - half, r + half, -155.0, -50.0, colour);
    RingArrowHead(canvas, c, c, r, 140.0, 3.6 * u, 2.2 * u, colour);
    RingArrowHead(canvas, c, c, r, -40.0, 3.6 * u, 2.2 * u, colour);
    return canvas;
}

void Write(const std::string& folder, const char* name, const CCanvas& canvas) {
    artwork::WritePng(canvas, folder + "/" + name);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_artwork STOCK_FOLDER [STUDIO_FOLDER]\n");
        return 2;
    }
    const std::string folder = argv[1];
    try {
        Write(folder, "antialias_background.png", AntiAliasBackground());
        Write(folder, "antialias_knob.png", KnobStrip(antialias_panel::kKnobSize));
        Write(folder, "drumkit_background.png", DrumKitBackground());
        Write(folder, "drumkit_knob.png", KnobStrip(drumkit_panel::kKnobSize));
        Write(folder, "basshead_background.png", BassHeadBackground());
        Write(folder, "basshead_track.png", BassHeadTrack());
        Write(folder, "basshead_handle.png", BassHeadHandle());
        Write(folder, "basshead_font.png", BassHeadFont());
        Write(folder, "basshead_icon.png", BassHeadIcon());
        Write(folder, "mixer_track_strip.png", MixerStripBackground(true));
        Write(folder, "mixer_aux_strip.png", MixerStripBackground(false));
        Write(folder, "mixer_knob.png", KnobStrip(mixer_panel::kKnobSize));
        for (int state = 0; state < 3; ++state) {
            const std::string suffix = std::to_string(state) + ".png";
            Write(folder, ("mixer_mute_" + suffix).c_str(), MixerButton("MUTE", state, pal::kYellow));
            Write(folder, ("mixer_solo_" + suffix).c_str(), MixerButton("SOLO", state, pal::kAccent));
        }
        Write(folder, "mixer_handle.png", SliderHandle());
        Write(folder, "mixer_font.png", CaptionFont());
        Write(folder, "spatialverb_background.png", SpatialVerbBackground());
        Write(folder, "spatialverb_knob.png", KnobStrip(spatialverb_panel::kKnobSize));
        Write(folder, "spatialverb_handle.png", SquareHandle(spatialverb_panel::kHandleSize));
        Write(folder, "spatialverb_source_left.png", SpatialVerbMarker(true, pal::kYellow));
        Write(folder, "spatialverb_source_right.png", SpatialVerbMarker(true, pal::kRed));
        Write(folder, "spatialverb_listener_left.png", SpatialVerbMarker(false, pal::kYellow));
        Write(folder, "spatialverb_listener_right.png", SpatialVerbMarker(false, pal::kRed));
        Write(folder, "spatialverb_swap.png", SpatialVerbSwap());
        Write(folder, "spatialverb_picture.png", SpatialVerbPicture());
        if (argc == 3) {
            const std::string studio = argv[2];
            Write(studio, "new_project.png", NewProjectIcon());
            Write(studio, "open_project.png", OpenProjectIcon());
            Write(studio, "save_project.png", SaveProjectIcon());
            Write(studio, "audio_output.png", AudioOutputIcon());
            Write(studio, "vst_paths.png", VstPathsIcon());
            Write(studio, "add_folder.png", FolderWithSign(true));
            Write(studio, "remove_folder.png", FolderWithSign(false));
            Write(studio, "load_bank.png", LoadBankIcon());
            Write(studio, "record_off.png", RecordIcon(false));
            Write(studio, "record_on.png", RecordIcon(true));
            Write(studio, "save_file.png", SaveFileIcon());
            Write(studio, "pattern_add.png", PatternWithSign(true));
            Write(studio, "pattern_remove.png", PatternWithSign(false));
            Write(studio, "pattern_duplicate.png", DuplicatePatternIcon());
            Write(studio, "pattern_rename.png", RenamePatternIcon());
            Write(studio, "control_track_add.png", ControlTrackWithSign(true));
            Write(studio, "control_track_remove.png", ControlTrackWithSign(false));
            Write(studio, "pattern_play.png", PlayIcon(16, false));
            Write(studio, "pattern_stop.png", StopIcon(16));
            Write(studio, "pattern_loop.png", LoopIcon(16, true));
            Write(studio, "song_play_off.png", PlayIcon(14, false));
            Write(studio, "song_play_on.png", PlayIcon(14, true));
            Write(studio, "song_stop.png", StopIcon(14));
            Write(studio, "song_loop_off.png", LoopIcon(14, false));
            Write(studio, "song_loop_on.png", LoopIcon(14, true));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
