// CDefaultGUI: the default machine panel, made from nothing but a machine's parameter list. One
// row per parameter: the name (right-aligned), a slider and the display text. It is the panel of
// every machine without its own, and is shown on request for any machine. Above 17 parameters
// the panel keeps 400 pixels of height, shows 17 rows and scrolls with a vertical scroll bar.
//
// Threads: made, painted and edited on the user-interface thread. ParameterChanged may be called
// from any thread (an audio worker applying a parameter event, the graphics thread): it only sets
// the row's atomic flag and marks the panel dirty, without allocating or waiting; the rows are
// read again and the sliders move when the user interface refreshes dirty controls.
// Ownership: the panel owns its sliders and scroll bar; the machine outlives the panel.
#pragma once

#include "gui/control.h"
#include "gui/default_panel_layout.h"

#include <QFont>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class CMachine;

namespace gui {

class CDefaultGUISlider;
class CScrollBar;

class CDefaultGUI : public CControl {
public:
    static constexpr int kTextSize = 64; // name and display text buffers, terminator included

    CDefaultGUI();
    ~CDefaultGUI() override;

    using CControl::Create;
    // Reads the machine's parameter count, names, display texts and values once, makes a slider
    // per parameter and sizes the panel (see DefaultPanelLayout). The panel is hidden until shown.
    void Create(CControl* parent, CMachine* machine, int x = 0, int y = 0);

    CMachine* Machine() const { return m_machine; }
    int ParameterCount() const { return static_cast<int>(m_rows.size()); }
    int FirstVisibleRow() const { return m_first; }
    int VisibleRows() const { return m_visibleRows; }
    // Null when every row fits.
    CScrollBar* ScrollBar() const { return m_scrollBar.get(); }
    CDefaultGUISlider* Slider(int parameter) const;
    const char* Name(int parameter) const { return m_rows.at(static_cast<size_t>(parameter)).name; }
    const char* Display(int parameter) const { return m_rows.at(static_cast<size_t>(parameter)).display; }
    // The value the panel last read from (or gave to) the machine.
    float StoredValue(int parameter) const { return m_rows.at(static_cast<size_t>(parameter)).value; }
    // Whether the row's name and display text are drawn whole (narrowed if need be, not elided).
    bool FitsItsBox(int parameter) const;

    // Shows rows first.. (clamped to what can be scrolled); earlier sliders are hidden.
    void ScrollTo(int first);
    // Gives the row's slider the keyboard, scrolling it into sight first.
    void FocusRow(int parameter, Qt::FocusReason reason = Qt::OtherFocusReason);
    // The user moved parameter's slider to value: when it differs from the stored value the
    // machine gets it (locked around SetParameter) and the row is read again.
    void SliderMoved(int parameter, float value);
    // Reads the row's value and display text again, moves its slider and repaints.
    void RefreshRow(int parameter);
    // Any thread: the machine's parameter changed elsewhere; the row is read again on the
    // user interface's next refresh. Indices outside the list are ignored.
    void ParameterChanged(int parameter);

    void ChildChanged(CControl* child) override;
    bool WheelTurned(QWheelEvent* event) override;
    // Reads the rows marked changed, then renders and repaints.
    void Refresh() override;
    void Render(QPainter& painter) override;

private:
    struct Row {
        char name[kTextSize] = {};
        char display[kTextSize] = {};
        float value = 0.0f;
        QFont nameFont;    // narrowed where the name is wider than its box
        QFont displayFont;
        QString nameShown; // elided only where even the narrowest font is too wide
        QString displayShown;
        std::unique_ptr<CDefaultGUISlider> slider;
    };

    // Reads value and display text of a row and moves its slider; no repaint.
    void ReadRow(int parameter);

    CMachine* m_machine = nullptr;
    std::vector<Row> m_rows;
    // One flag per row, set from any thread by ParameterChanged; made once at creation.
    std::unique_ptr<std::atomic<bool>[]> m_changed;
    std::unique_ptr<CScrollBar> m_scrollBar;
    QFont m_font;
    int m_first = 0;
    int m_visibleRows = 0;
};

} // namespace gui
