// CUpDown: a numeric field with arrows (Qt's QDoubleSpinBox) in the container control
// "UpDownContainer": a value between a minimum and a maximum, stepped by the arrows, the arrow
// keys and the wheel. A value the user enters is clamped to the range and reported to the parent
// (ChildChanged) when it is committed (an arrow, Enter, leaving the field); SetValue from code is
// clamped the same way and not reported. The main tool bar's tempo field is one: 1 to 1000 beats
// per minute in steps of 1.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/field_control.h"

class QDoubleSpinBox;

namespace gui {

class CUpDown : public CFieldControl {
public:
    // decimals: digits shown after the point (0 for whole numbers).
    void CreateUpDown(CControl* parent, int x, int y, int width, int height, double minimum, double maximum,
                      double step, double value, int decimals = 0);
    double Value() const;
    void SetValue(double value);
    // A minimum above the maximum is taken as the maximum; the value is clamped to the new range.
    void SetRange(double minimum, double maximum);
    void SetStep(double step);
    double Minimum() const;
    double Maximum() const;
    double Step() const;
    void SetToolTip(const QString& tip);
    QDoubleSpinBox* SpinBox() const;

private:
    // The value the parent last knew of, so a commit that changed nothing is not reported.
    double m_known = 0;
};

} // namespace gui
