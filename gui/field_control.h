// CFieldControl: the container control around one of Qt's own field widgets (edit box, combo
// box, list, numeric field, tab bar, icon list). The container is the toolkit's control with its
// name ("EditContainer", "ComboContainer", ...); the Qt widget fills it, follows its size and is
// painted in the field colours (background slot 29, text slot 30) with the 9-point "Verdana" font.
//
// Changes the user makes reach the parent through its handlers; changes made from code through
// the Set... operations of the subclasses do not (the caller already knows about them).
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

class QPalette;

namespace gui {

// The field palette: slot 29 for bases and faces, slot 30 for text, slot 5 for disabled text and
// slot 23 behind selected entries.
QPalette FieldPalette(const CColorManager& colors);

class CFieldControl : public CControl {
public:
    // The Qt field widget inside the container (owned by the container's widget).
    QWidget* Field() const { return m_field; }
    void SetEnabled(bool enabled);
    bool IsEnabled() const;
    void SizeChanged(int width, int height) override;
    // Paints the field again in the colour manager's current slots (after a palette change, say).
    virtual void ApplyColors();

protected:
    // Makes the container and puts the field into it, filling it. Takes the field.
    void CreateField(CControl* parent, const char* containerName, int x, int y, int width, int height, QWidget* field);
    // True while code (not the user) changes the field: its signals are not reported then.
    bool Silent() const { return m_silent > 0; }

    // Scope for a change made from code.
    class CSilence {
    public:
        explicit CSilence(CFieldControl& control) : m_control(control) { ++m_control.m_silent; }
        ~CSilence() { --m_control.m_silent; }
        CSilence(const CSilence&) = delete;
        CSilence& operator=(const CSilence&) = delete;

    private:
        CFieldControl& m_control;
    };

    // Tells the parent the user changed this field (ChildChanged), unless code is changing it.
    void ReportChange();

private:
    QWidget* m_field = nullptr;
    int m_silent = 0;
};

} // namespace gui
