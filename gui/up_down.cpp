#include "gui/up_down.h"

#include <QDoubleSpinBox>

#include <algorithm>

namespace gui {

void CUpDown::CreateUpDown(CControl* parent, int x, int y, int width, int height, double minimum, double maximum,
                           double step, double value, int decimals) {
    auto* spin = new QDoubleSpinBox;
    spin->setDecimals(std::max(decimals, 0));
    spin->setAccelerated(true);
    // Typing "120" must not report 1 and 12 on the way: only committed values count.
    spin->setKeyboardTracking(false);
    spin->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    CreateField(parent, "UpDownContainer", x, y, width, height, spin);
    SetRange(minimum, maximum);
    SetStep(step);
    SetValue(value);
    QObject::connect(spin, &QDoubleSpinBox::valueChanged, spin, [this](double now) {
        if (Silent() || now == m_known) return;
        m_known = now;
        ReportChange();
    });
}

QDoubleSpinBox* CUpDown::SpinBox() const { return static_cast<QDoubleSpinBox*>(Field()); }

double CUpDown::Value() const { return SpinBox()->value(); }

void CUpDown::SetValue(double value) {
    CSilence silence(*this);
    SpinBox()->setValue(value); // the spin box clamps to its range
    m_known = SpinBox()->value();
}

void CUpDown::SetRange(double minimum, double maximum) {
    CSilence silence(*this);
    SpinBox()->setRange(std::min(minimum, maximum), maximum);
    m_known = SpinBox()->value();
}

void CUpDown::SetStep(double step) { SpinBox()->setSingleStep(step); }

double CUpDown::Minimum() const { return SpinBox()->minimum(); }
double CUpDown::Maximum() const { return SpinBox()->maximum(); }
double CUpDown::Step() const { return SpinBox()->singleStep(); }

void CUpDown::SetToolTip(const QString& tip) { Widget()->setToolTip(tip); }

} // namespace gui
