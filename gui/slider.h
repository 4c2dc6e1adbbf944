// CSlider: a horizontal or vertical slider painted by the toolkit (a groove, a filled part up to
// the handle, the handle, an optional tick at the centre). Its value is 0..1. The user changes it
// by dragging the handle, by clicking the track (the handle jumps under the pointer and follows
// it until release) or with the keyboard once it has focus: the arrow keys step by 1/100 of the
// range, Page Up/Down by 1/10, Home and End go to the ends. Every change the user makes is
// reported to the parent through ChildChanged(this); SetValue from code reports nothing.
//
// The kinds: CVolumeSlider (the master volume of the main tool bar), CCableVolumeSlider (the
// vertical slider of the cable-volume pop-up) and CDefaultGUISlider (one row of the default
// machine panel, remembering the panel and its parameter number).
//
// Threads: user-interface thread only. Pointer positions are logical pixels, so a click means
// the same value on a high-density screen.
#pragma once

#include "engine/volume.h"
#include "gui/control.h"
#include "gui/slider_geometry.h"

namespace gui {

class CDefaultGUI;

class CSlider : public CControl {
public:
    enum class Orientation { kHorizontal, kVertical };
    static constexpr float kLineStep = 0.01f; // arrow keys
    static constexpr float kPageStep = 0.1f;  // Page Up / Page Down

    using CControl::Create;
    // A hidden slider at (x, y) of the given size inside parent, value 0; it takes keyboard focus
    // on a click and by Tab.
    void Create(CControl* parent, const char* name, int x, int y, int width, int height, Orientation orientation);

    float Value() const { return m_value; }
    // From code: moves the handle (clamped to 0..1) without reporting to the parent.
    void SetValue(float value);
    void SetCentreTick(bool tick);
    bool IsVertical() const { return m_orientation == Orientation::kVertical; }
    // The handle's extent along the track, in logical pixels.
    int HandleLength() const;
    SliderGeometry Geometry() const;

    void LeftButtonDown(int x, int y) override;
    void PointerMove(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    bool KeyPressed(QKeyEvent* event) override;
    bool HandleEvent(QEvent* event) override;
    void Render(QPainter& painter) override;

protected:
    // A change the user made: stores it, repaints and reports it when the value moved.
    void ChangeByUser(float value);
    // Reports a user change; the default tells the parent through ChildChanged(this).
    virtual void ReportChange();

private:
    int AlongTrack(int x, int y) const { return IsVertical() ? y : x; }

    Orientation m_orientation = Orientation::kHorizontal;
    float m_value = 0.0f;
    bool m_centreTick = false;
    bool m_dragging = false;
    int m_grab = 0; // where along the handle the pointer holds it
};

// The master volume: horizontal, tool tip "Volume"; Target is the gain the position sets.
class CVolumeSlider : public CSlider {
public:
    void Create(CControl* parent, int x, int y, int width, int height);
    float Target() const { return volume::SliderToMasterVolume(Value()); }
};

// The cable-volume pop-up's slider: vertical, 0 dB at the top and -40 dB at the bottom.
class CCableVolumeSlider : public CSlider {
public:
    void Create(CControl* parent, int x, int y, int width, int height);
    float Volume() const { return volume::SliderToCableVolume(Value()); }
    void ShowVolume(float gain) { SetValue(volume::CableVolumeToSlider(gain)); }
};

// One parameter row of the default machine panel: reports the user's changes to its panel. Tab
// and Shift+Tab move the keyboard to the next or previous row, scrolling the panel when that row
// is out of sight (a hidden slider could not take the focus on its own).
class CDefaultGUISlider : public CSlider {
public:
    void Create(CDefaultGUI* panel, int parameter, int x, int y, int width, int height);
    CDefaultGUI* Panel() const { return m_panel; }
    int Parameter() const { return m_parameter; }

    bool KeyPressed(QKeyEvent* event) override;

private:
    CDefaultGUI* m_panel = nullptr;
    int m_parameter = 0;
};

} // namespace gui
