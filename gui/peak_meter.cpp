#include "gui/peak_meter.h"

#include "gui/color_manager.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace gui {
namespace {

constexpr int kSegmentPitch = 3;
constexpr int kSegmentWidth = 2;
constexpr int kLeft = 2;
constexpr int kTop = 2;

// An unlit segment in its lit colour dimmed: the inner pixels c / 8 + 63, the ends brighter by
// another c / 4, so an unlit column still reads as a segment.
QColor DimInner(const QColor& c) { return {c.red() / 8 + 63, c.green() / 8 + 63, c.blue() / 8 + 63}; }
QColor DimBorder(const QColor& c) {
    return {std::min(255, c.red() / 8 + 63 + c.red() / 4), std::min(255, c.green() / 8 + 63 + c.green() / 4),
            std::min(255, c.blue() / 8 + 63 + c.blue() / 4)};
}

} // namespace

CPeakMeter::CPeakMeter() = default;
CPeakMeter::~CPeakMeter() = default;

void CPeakMeter::Create(CControl* parent, const char* name, int x, int y, CPeakMeterModel* model, int width,
                        int height) {
    if (!model) {
        m_ownModel = std::make_unique<CPeakMeterModel>(&UiClock());
        model = m_ownModel.get();
    }
    m_model = model;
    CControl::Create(parent, name, x, y, width, height, true);
    Widget()->setToolTip(QStringLiteral("Peak Meter (3dB Units)"));
    m_timer = UiClock().MakeTimer([this] { Tick(); });
    m_timer->Start(kDecayIntervalMs);
}

void CPeakMeter::Tick() {
    m_model->Decay();
    if (IsVisible()) Refresh();
}

int CPeakMeter::SegmentCount() const { return std::max(0, (Width() - 4) / kSegmentPitch); }

int CPeakMeter::Threshold(int segment) const { return -3 * (SegmentCount() - 4) + 3 * segment; }

bool CPeakMeter::IsLit(int segment, float current, float held) const {
    const auto g = static_cast<float>(Threshold(segment));
    return current > g || (held > g && held <= g + 3.0f);
}

int CPeakMeter::SegmentSlot(int segment) const {
    const int right = SegmentCount() - segment - 1;
    if (right <= 3) return kSlotMeterTop;
    if (right <= 7) return kSlotMeterHigh;
    return kSlotMeterLow;
}

void CPeakMeter::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(kSlotBlack));
    DrawBevel(painter, 0, 0, Width(), Height(), Bevel::kSunken, colors);
    if (!m_model) return;
    const CPeakMeterModel::Levels levels = m_model->Read();
    const int barHeight = (Height() - 6) / 2;
    if (barHeight <= 0) return;
    const int barTop[2] = {kTop, barHeight + 4};
    const int segments = SegmentCount();
    for (int channel = 0; channel < 2; ++channel) {
        for (int i = 0; i < segments; ++i) {
            const QColor lit = colors.Color(SegmentSlot(i));
            const int x = kLeft + i * kSegmentPitch;
            const int y = barTop[channel];
            if (IsLit(i, levels.current[channel], levels.held[channel])) {
                painter.fillRect(x, y, kSegmentWidth, barHeight, lit);
                continue;
            }
            // Segments are two pixels wide, so their border is their top and bottom row.
            painter.fillRect(x, y, kSegmentWidth, barHeight, DimBorder(lit));
            if (barHeight > 2) painter.fillRect(x, y + 1, kSegmentWidth, barHeight - 2, DimInner(lit));
        }
    }
}

} // namespace gui
