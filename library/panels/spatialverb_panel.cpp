#include "library/panels/spatialverb_panel.h"

#include "gui/lite_button.h"
#include "gui/lite_knob.h"
#include "gui/lite_slider.h"
#include "library/panels/stock_pictures.h"
#include "machines/basshead/basshead_panel_layout.h"

#include <QCursor>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace stock_panels {

using namespace spatialverb_panel;
namespace pictures = stock_pictures;

namespace {

// The sound field's colour over the room's floor, and the floor and the view's surround.
constexpr uint8_t kFloor[3] = {24, 27, 31};
constexpr uint8_t kSurround[3] = {30, 31, 34};
constexpr uint8_t kWall[3] = {120, 126, 134};
constexpr uint8_t kWave[3] = {110, 190, 255};
// The response displays' glass and bars.
constexpr uint8_t kGlass[3] = {18, 30, 22};
constexpr uint8_t kBar[3] = {96, 204, 112};
constexpr uint8_t kBarTop[3] = {190, 240, 196};

// Sets one pixel of an RGB picture, inside its clip rectangle only.
void Plot(gui::CPicture& target, int x, int y, const uint8_t* rgb) {
    const gui::PictureClip& clip = target.Clip();
    if (x < clip.left || x > clip.right || y < clip.top || y > clip.bottom) return;
    if (x < 0 || y < 0 || x >= target.Width() || y >= target.Height()) return;
    uint8_t* p = target.PixelAt(x, y);
    p[0] = rgb[0];
    p[1] = rgb[1];
    p[2] = rgb[2];
}

// The three states of the swap button, cut from its picture (the states stacked top to bottom).
const std::array<gui::CPicture, 3>& SwapStates() {
    static std::once_flag once;
    static std::array<gui::CPicture, 3> states;
    std::call_once(once, [] {
        const gui::CPicture& strip = pictures::Get(pictures::kSpatialVerbSwap);
        const int height = strip.Height() / 3;
        for (int s = 0; s < 3; ++s) {
            states[static_cast<size_t>(s)] = gui::CPicture(strip.Width(), height, strip.HasAlpha());
            states[static_cast<size_t>(s)].Draw(strip, 0, s * height, strip.Width(), height, 0, 0);
        }
    });
    return states;
}

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

} // namespace

// ---- CLcdLine ----

CLcdLine::CLcdLine(gui::CLiteContainer& container, int x, int y, int width, int height, const gui::CPicture& font,
                   float intensity)
    : CLiteControl(container, x, y, width, height), m_glyphs(font.Width(), font.Height(), true) {
    const float strength = std::clamp(intensity, 0.0f, 1.0f);
    for (int py = 0; py < font.Height(); ++py)
        for (int px = 0; px < font.Width(); ++px) {
            const uint8_t* in = font.PixelAt(px, py);
            uint8_t* out = m_glyphs.PixelAt(px, py);
            out[0] = out[1] = out[2] = 0;
            out[3] = static_cast<uint8_t>(static_cast<float>(255 - (in[0] + in[1] + in[2]) / 3) * strength);
        }
}

int CLcdLine::Advance(char c) {
    return (c == '.' || c == ':') ? basshead_panel::kNarrowAdvance : basshead_panel::kAdvance;
}

void CLcdLine::SetText(const char* text) {
    std::array<char, kMaxChars + 1> upper{};
    int width = 0;
    for (size_t i = 0; text && text[i] && i < kMaxChars; ++i) {
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        width += Advance(upper[i]);
    }
    {
        CMutexLock lock(Container());
        m_text = upper;
        m_position = 0;
        m_end = std::max(0, width - Width());
    }
    Redraw();
    if (!m_timer) m_timer = gui::UiClock().MakeTimer([this] { Step(); });
    if (m_end > 0)
        m_timer->Start(kFirstDelayMs);
    else
        m_timer->Stop();
}

std::string CLcdLine::Text() const { return std::string(m_text.data()); }

void CLcdLine::Step() {
    {
        CMutexLock lock(Container());
        m_timer->Start(kStepMs);
        if (m_position < m_end) ++m_position;
        if (m_position >= m_end) m_timer->Stop();
    }
    Redraw();
}

void CLcdLine::Draw(gui::CPicture& target) {
    using namespace basshead_panel;
    // Keep the text inside the display, on top of the panel's clip.
    const gui::PictureClip saved = target.Clip();
    target.SetClip(std::max(saved.left, X()), std::max(saved.top, Y()), std::min(saved.right, X() + Width() - 1),
                   std::min(saved.bottom, Y() + Height() - 1));
    int x = X() - m_position;
    for (const char* c = m_text.data(); *c; ++c) {
        const int code = static_cast<unsigned char>(*c);
        if (code >= kFontFirst && code <= kFontLast && x + kFontCell > X()) {
            const int cell = code - kFontFirst;
            target.Draw(m_glyphs, (cell % kFontColumns) * kFontCell, (cell / kFontColumns) * kFontCell, kFontCell,
                        kFontCell, x, Y());
        }
        x += Advance(*c);
    }
    target.SetClip(saved.left, saved.top, saved.right, saved.bottom);
}

// ---- CImpulseView ----

CImpulseView::CImpulseView(gui::CLiteContainer& container, int x, int y, int width, int height)
    : CLiteControl(container, x, y, width, height), m_columns(static_cast<size_t>(std::max(width, 0)), 0.0f),
      m_bars(static_cast<size_t>(std::max(width, 0)), 0) {}

void CImpulseView::SetResponse(const std::vector<float>& response) {
    const size_t columns = m_columns.size();
    std::fill(m_columns.begin(), m_columns.end(), 0.0f);
    if (columns > 0 && !response.empty())
        for (size_t i = 0; i < response.size(); ++i) {
            const size_t column = i * columns / response.size();
            m_columns[column] = std::max(m_columns[column], std::fabs(response[i]));
        }
    {
        CMutexLock lock(Container());
        for (size_t c = 0; c < columns; ++c) {
            const float v = m_columns[c];
            const float db = v > 0.0f ? 20.0f * std::log10(v) : kDisplayFloorDb;
            const float share = std::clamp((db - kDisplayFloorDb) / -kDisplayFloorDb, 0.0f, 1.0f);
            m_bars[c] = static_cast<int>(std::lround(share * static_cast<float>(Height())));
        }
    }
    MarkDirty();
}

void CImpulseView::Draw(gui::CPicture& target) {
    for (int c = 0; c < Width(); ++c) {
        const int bar = m_bars[static_cast<size_t>(c)];
        for (int r = 0; r < Height(); ++r) {
            const int fromBottom = Height() - 1 - r;
            const uint8_t* colour = fromBottom >= bar ? kGlass : fromBottom == bar - 1 ? kBarTop : kBar;
            Plot(target, X() + c, Y() + r, colour);
        }
    }
}

// ---- CRoomView ----

CRoomView::CRoomView(gui::CLiteContainer& container, int x, int y, int size, CSpatialVerb* machine,
                     const std::array<const gui::CPicture*, kPointCount>& markers)
    : CLiteControl(container, x, y, size, size), m_machine(machine), m_markers(markers),
      m_field(std::max(size, 1), std::max(size, 1), false) {}

void CRoomView::Refresh(const RoomGeometry& geometry, const CImageSourceTree& left, const CImageSourceTree& right) {
    {
        CMutexLock lock(Container());
        m_width = geometry.width;
        m_height = geometry.height;
        m_points[kSrcLeft] = {geometry.sourceLeft[0], geometry.sourceLeft[1]};
        m_points[kSrcRight] = {geometry.sourceRight[0], geometry.sourceRight[1]};
        m_points[kDstLeft] = {geometry.listenerLeft[0], geometry.listenerLeft[1]};
        m_points[kDstRight] = {geometry.listenerRight[0], geometry.listenerRight[1]};
        m_trees[0] = left.Nodes();
        m_trees[1] = right.Nodes();
        m_fieldStale = true;
    }
    MarkDirty();
}

void CRoomView::MoveParameter(int32_t index, float value) {
    if (index < 0 || index >= 2 * kPointCount) return;
    {
        CMutexLock lock(Container());
        const float extent = index % 2 == 0 ? m_width : m_height;
        m_points[static_cast<size_t>(index / 2)][static_cast<size_t>(index % 2)] = (0.8f * value + 0.1f) * extent;
    }
    MarkDirty();
}

void CRoomView::SetViewTime(float seconds) {
    {
        CMutexLock lock(Container());
        m_viewTime = seconds;
        m_fieldStale = true;
    }
    Redraw();
}

float CRoomView::Scale() const {
    return std::min(static_cast<float>(Width()) / m_width, static_cast<float>(Height()) / m_height);
}

float CRoomView::RoomLeft() const { return static_cast<float>(X()) + (static_cast<float>(Width()) - m_width * Scale()) / 2.0f; }

float CRoomView::RoomTop() const { return static_cast<float>(Y()) + (static_cast<float>(Height()) - m_height * Scale()) / 2.0f; }

QPoint CRoomView::PointPixel(int point) const {
    const auto& p = m_points[static_cast<size_t>(point)];
    return {static_cast<int>(std::floor(RoomLeft() + p[0] * Scale())), static_cast<int>(std::floor(RoomTop() + p[1] * Scale()))};
}

int CRoomView::MarkerAt(int x, int y) const {
    static constexpr int kOrder[] = {kDstRight, kDstLeft, kSrcRight, kSrcLeft};
    // The points may be moving under another thread's refresh.
    CMutexLock lock(Container());
    for (int point : kOrder) {
        const gui::CPicture* marker = m_markers[static_cast<size_t>(point)];
        const QPoint c = PointPixel(point);
        const int halfW = marker->Width() / 2, halfH = marker->Height() / 2;
        if (x >= c.x() - halfW && x <= c.x() + halfW && y >= c.y() - halfH && y <= c.y() + halfH) return point;
    }
    return -1;
}

float CRoomView::FieldOf(const std::vector<CImageSourceTree::Node>& nodes, int32_t index, float x, float y,
                         float radius, float halfWidth) const {
    const CImageSourceTree::Node& node = nodes[static_cast<size_t>(index)];
    const float d = std::hypot(node.x - x, node.y - y);
    if (d > radius + halfWidth) return 0.0f;
    if (d >= radius - halfWidth) return (1.0f - std::fabs(d - radius) / halfWidth) * node.amplitude;
    // The wavefront has passed this image: its own images, farther out, may still be on it.
    float sum = 0.0f;
    for (int32_t c = 0; c < node.childCount; ++c) sum += FieldOf(nodes, node.children[c], x, y, radius, halfWidth);
    return sum;
}

float CRoomView::FieldAt(float x, float y) const {
    const float radius = m_viewTime * kSpeedOfSound;
    // The ring is 0.015 of the room's longer extent either side of the wavefront: about a pixel
    // of the view whatever the room's size.
    const float halfWidth = 0.015f * std::max(m_width, m_height);
    float sum = 0.0f;
    for (const auto& tree : m_trees)
        if (!tree.empty()) sum += FieldOf(tree, 0, x, y, radius, halfWidth);
    return sum;
}

void CRoomView::RenderField() {
    const float scale = Scale();
    const float left = RoomLeft() - static_cast<float>(X());
    const float top = RoomTop() - static_cast<float>(Y());
    const int roomLeft = static_cast<int>(std::floor(left)), roomTop = static_cast<int>(std::floor(top));
    const int roomRight = static_cast<int>(std::ceil(left + m_width * scale)) - 1;
    const int roomBottom = static_cast<int>(std::ceil(top + m_height * scale)) - 1;
    for (int py = 0; py < m_field.Height(); ++py)
        for (int px = 0; px < m_field.Width(); ++px) {
            uint8_t* out = m_field.PixelAt(px, py);
            const bool inside = px >= roomLeft && px <= roomRight && py >= roomTop && py <= roomBottom;
            const bool wall = inside && (px == roomLeft || px == roomRight || py == roomTop || py == roomBottom);
            const uint8_t* base = !inside ? kSurround : wall ? kWall : kFloor;
            float strength = 0.0f;
            if (inside && !wall) {
                const float mx = (static_cast<float>(px) + 0.5f - left) / scale;
                const float my = (static_cast<float>(py) + 0.5f - top) / scale;
                // The square root lifts the weaker late images into view.
                strength = std::sqrt(std::min(FieldAt(mx, my), 1.0f));
            }
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<uint8_t>(std::lround(base[c] + (kWave[c] - base[c]) * strength));
        }
    m_fieldStale = false;
}

void CRoomView::Draw(gui::CPicture& target) {
    if (m_fieldStale) RenderField();
    target.Draw(m_field, 0, 0, m_field.Width(), m_field.Height(), X(), Y());
    // Keep the markers inside the view.
    const gui::PictureClip saved = target.Clip();
    target.SetClip(std::max(saved.left, X()), std::max(saved.top, Y()), std::min(saved.right, X() + Width() - 1),
                   std::min(saved.bottom, Y() + Height() - 1));
    for (int point = 0; point < kPointCount; ++point) {
        const gui::CPicture* marker = m_markers[static_cast<size_t>(point)];
        const QPoint c = PointPixel(point);
        target.Draw(*marker, 0, 0, marker->Width(), marker->Height(), c.x() - marker->Width() / 2,
                    c.y() - marker->Height() / 2);
    }
    target.SetClip(saved.left, saved.top, saved.right, saved.bottom);
}

void CRoomView::Grab(int point) {
    m_grabbed = point;
    SetCapture();
    if (QWidget* window = Container().Widget()) window->setCursor(Qt::SizeAllCursor);
}

void CRoomView::LetGo() {
    m_grabbed = -1;
    m_dragging = false;
    ReleaseCapture();
    if (QWidget* window = Container().Widget()) window->setCursor(Qt::ArrowCursor);
}

void CRoomView::PointerMove(int x, int y) {
    if (m_dragging) {
        DragTo(x, y);
        return;
    }
    const int over = MarkerAt(x, y);
    if (over >= 0 && over != m_grabbed)
        Grab(over);
    else if (over < 0 && m_grabbed >= 0)
        LetGo();
}

void CRoomView::LeftButtonDown(int x, int y) {
    const int over = MarkerAt(x, y);
    if (over < 0) return;
    if (over != m_grabbed) Grab(over);
    m_dragging = true;
}

void CRoomView::LeftButtonUp(int x, int y) {
    m_dragging = false;
    if (MarkerAt(x, y) != m_grabbed) LetGo();
}

void CRoomView::CaptureLost() {
    m_grabbed = -1;
    m_dragging = false;
    if (QWidget* window = Container().Widget()) window->setCursor(Qt::ArrowCursor);
}

void CRoomView::DragTo(int x, int y) {
    static constexpr const char* kFormats[kPointCount] = {"Src L %.0fM,%.0fM", "Src R %.0fM,%.0fM",
                                                           "Dst L %.0fM,%.0fM", "Dst R %.0fM,%.0fM"};
    float mx, my, width, height;
    {
        // The room may be changing under another thread's refresh; the machine's lock is taken
        // only after this one is let go (the machine's lock comes first).
        CMutexLock lock(Container());
        const float scale = Scale();
        width = m_width;
        height = m_height;
        mx = std::clamp((static_cast<float>(x) - RoomLeft()) / scale, 0.0f, width);
        my = std::clamp((static_cast<float>(y) - RoomTop()) / scale, 0.0f, height);
        auto& point = m_points[static_cast<size_t>(m_grabbed)];
        if (mx == point[0] && my == point[1]) return;
        point = {mx, my};
    }
    const int32_t first = 2 * m_grabbed;
    const float values[2] = {Clamp01((mx / width - 0.1f) / 0.8f), Clamp01((my / height - 0.1f) / 0.8f)};
    if (m_machine) {
        CMutexLock lock(*m_machine);
        char text[64];
        std::snprintf(text, sizeof text, kFormats[m_grabbed], static_cast<double>(mx), static_cast<double>(my));
        Container().ShowText(text);
        for (int32_t i = 0; i < 2; ++i)
            if (values[i] != m_machine->GetParameter(first + i)) m_machine->AutomateParameter(first + i, values[i]);
    }
    Redraw();
}

// ---- CSpatialVerbPanel ----

CSpatialVerbPanel::CSpatialVerbPanel(CSpatialVerb* machine, QWidget* parent) : m_machine(machine) {
    if (CSpatialVerbPanelLink* previous = machine->PanelLink()) previous->ClosePanel();
    CreateIn(parent, "QX SpatialVerb", pictures::Get(pictures::kSpatialVerbBackground));
    const gui::CPicture& knob = pictures::Get(pictures::kSpatialVerbKnob);
    for (size_t k = 0; k < m_knobs.size(); ++k)
        m_knobs[k] = AddParameterControl<CWheelKnob>(kKnobs[k].x, kKnobY, kKnobSize, kKnobSize, knob, machine,
                                                     kKnobs[k].parameter);
    const gui::CPicture& handle = pictures::Get(pictures::kSpatialVerbHandle);
    m_widthSlider = AddParameterControl<CWheelSlider>(kWidthSliderX, kWidthSliderY, kSliderLength,
                                                      gui::CLiteSlider::Orientation::kHorizontal, handle, nullptr,
                                                      machine, CSpatialVerb::kRoomWidth);
    m_heightSlider = AddParameterControl<CWheelSlider>(kHeightSliderX, kHeightSliderY, kSliderLength,
                                                       gui::CLiteSlider::Orientation::kVertical, handle, nullptr,
                                                       machine, CSpatialVerb::kRoomHeight);
    // The view time belongs to the panel alone: no machine, it starts half-way (37.5 ms).
    m_timeSlider = Add<CWheelSlider>(kTimeSliderX, kTimeSliderY, kSliderLength, gui::CLiteSlider::Orientation::kHorizontal,
                                     handle, nullptr, nullptr, -1);
    m_display = Add<CLcdLine>(kTextX, kTextY, kTextWidth, kTextHeight, pictures::Get(pictures::kBassHeadFont), 0.85f);
    std::array<const gui::CPicture*, CRoomView::kPointCount> markers{};
    for (int p = 0; p < CRoomView::kPointCount; ++p)
        markers[static_cast<size_t>(p)] = &pictures::Get(pictures::kSpatialVerbMarkers + p);
    m_room = Add<CRoomView>(kRoomX, kRoomY, kRoomSize, machine, markers);
    m_room->SetViewTime(m_timeSlider->Value() * CSpatialVerb::kWindow);
    m_early = Add<CImpulseView>(kEarlyX, kEarlyY, kEarlyWidth, kEarlyHeight);
    m_late = Add<CImpulseView>(kLateX, kLateY, kLateWidth, kLateHeight);
    const gui::CPicture& picture = pictures::Get(pictures::kSpatialVerbPicture);
    m_picture = Add<gui::CLiteButton>(kPictureX, kPictureY, picture, picture, picture, gui::CLiteButton::Mode::kMomentary);
    m_picture->SetVisible(false);
    const auto& swap = SwapStates();
    m_swap = Add<gui::CLiteButton>(kSwapX, kSwapY, swap[0], swap[1], swap[2], gui::CLiteButton::Mode::kToggle);
    {
        CMutexLock lock(*machine);
        machine->SetPanelLink(this);
        RefreshRoom();
        RefreshEarly();
        RefreshLate();
    }
    ShowPanel();
}

CSpatialVerbPanel::~CSpatialVerbPanel() {
    if (!m_machine) return;
    CMutexLock lock(*m_machine);
    if (m_machine->PanelLink() == this) m_machine->SetPanelLink(nullptr);
}

gui::CLiteKnob* CSpatialVerbPanel::Knob(int32_t parameter) const {
    for (size_t k = 0; k < m_knobs.size(); ++k)
        if (kKnobs[k].parameter == parameter) return m_knobs[k];
    return nullptr;
}

void CSpatialVerbPanel::MoveControl(int32_t index, float value) {
    if (index >= 0 && index < 8)
        m_room->MoveParameter(index, value);
    else if (index == CSpatialVerb::kRoomWidth)
        m_widthSlider->SetValue(value);
    else if (index == CSpatialVerb::kRoomHeight)
        m_heightSlider->SetValue(value);
    else if (gui::CLiteKnob* knob = Knob(index))
        knob->SetValue(value);
}

void CSpatialVerbPanel::ShowText(const char* text) { m_display->SetText(text); }

void CSpatialVerbPanel::RefreshRoom() { m_room->Refresh(m_machine->Geometry(), m_machine->Tree(0), m_machine->Tree(1)); }

void CSpatialVerbPanel::RefreshEarly() { m_early->SetResponse(m_machine->EarlyResponse()); }

void CSpatialVerbPanel::RefreshLate() { m_late->SetResponse(m_machine->LateResponse()); }

void CSpatialVerbPanel::ClosePanel() {
    // The machine forgets the panel (it is going, or replacing it), under its lock: the periodic
    // update on another thread may be reaching for the panel right now.
    {
        CMutexLock lock(*m_machine);
        m_machine->SetPanelLink(nullptr);
    }
    m_machine = nullptr;
    delete this;
}

void CSpatialVerbPanel::ShowPicture(bool picture) {
    m_late->SetVisible(!picture);
    m_picture->SetVisible(picture);
}

void CSpatialVerbPanel::LiteButtonClicked(gui::CLiteButton* button) {
    if (button == m_swap) ShowPicture(m_swap->State() == gui::CLiteButton::kLatched);
    if (button == m_picture) {
        m_swap->SetState(gui::CLiteButton::kUp);
        ShowPicture(false);
    }
}

void CSpatialVerbPanel::LiteValueChanged(gui::CLiteControl* control, float value) {
    if (control != m_timeSlider) return;
    char text[64];
    std::snprintf(text, sizeof text, "View Time %.2fms", static_cast<double>(value * CSpatialVerb::kWindow * 1000.0f));
    ShowText(text);
}

void CSpatialVerbPanel::LiteDragEnded(gui::CLiteControl* control) {
    if (control != m_timeSlider) return;
    const float t = m_timeSlider->Value() * CSpatialVerb::kWindow;
    char text[64];
    std::snprintf(text, sizeof text, "View Time %.0fms", static_cast<double>(t * 1000.0f));
    ShowText(text);
    m_room->SetViewTime(t);
}

} // namespace stock_panels
