// The SpatialVerb panel: the room seen from above with its four draggable points (the two sources
// and the two listening points) and the sound field spreading from the sources at a chosen time,
// the early and late response displays, a one-line text display, sliders for the room's width and
// height and for the view time, knobs for Wall Absorb, Feedback, Cutoff and Gain, and a small
// button that swaps the late display for the machine's large picture.
//
// Threads: made, shown and closed on the user-interface thread, where the user's drags reach the
// machine (locked) through AutomateParameter. MoveControl and the Refresh calls run on whichever
// thread changes a parameter or runs the machine's periodic update (machine locked): they copy what
// the displays show under the container's lock and mark the controls for the next repaint; nothing
// is drawn there. Lock order: the machine's lock before the container's.
#pragma once

#include "gui/lite_container.h"
#include "gui/ui_clock.h"
#include "library/panels/machine_panel.h"
#include "machines/spatialverb/spatialverb.h"
#include "machines/spatialverb/spatialverb_panel_layout.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gui {
class CLiteButton;
class CLiteKnob;
class CLiteSlider;
} // namespace gui

namespace stock_panels {

// A one-line text display in the panel's bitmap font (the BassHead display's font): the text is
// upper-cased and drawn as a translucent black shadow over the background. A new text starts at its
// beginning; after 4000 ms it moves one pixel left every 100 ms until its end is in view.
// User-interface thread.
class CLcdLine : public gui::CLiteControl {
public:
    static constexpr int kMaxChars = 64;
    static constexpr int kFirstDelayMs = 4000;
    static constexpr int kStepMs = 100;

    // font: the display font picture (dark glyphs on white, no alpha); copied. intensity 0..1
    // scales the shadow's opacity.
    CLcdLine(gui::CLiteContainer& container, int x, int y, int width, int height, const gui::CPicture& font,
             float intensity);

    void SetText(const char* text);
    std::string Text() const;
    int ScrollPosition() const { return m_position; }
    int EndPosition() const { return m_end; }
    bool IsScrolling() const { return m_timer && m_timer->IsActive(); }

    void Draw(gui::CPicture& target) override;

private:
    void Step();
    static int Advance(char c);

    gui::CPicture m_glyphs; // the font as black with alpha
    std::array<char, kMaxChars + 1> m_text{};
    int m_position = 0;
    int m_end = 0;
    std::unique_ptr<gui::CUiTimer> m_timer;
};

// A response display: one bar per column, the loudest value of the column's share of the response
// in decibels from kDisplayFloorDb (bottom) to 0 dB (top).
class CImpulseView : public gui::CLiteControl {
public:
    CImpulseView(gui::CLiteContainer& container, int x, int y, int width, int height);

    // Any thread, machine locked (one caller at a time): takes a new response (values of any
    // length) and marks the view.
    void SetResponse(const std::vector<float>& response);
    // Bar heights in pixels, one per column (read under the container's lock or on the UI thread).
    const std::vector<int>& Bars() const { return m_bars; }

    void Draw(gui::CPicture& target) override;

private:
    std::vector<float> m_columns; // scratch, one per column (no allocation after creation)
    std::vector<int> m_bars;
};

// The room seen from above: the room scaled to fit the view with its proportions kept, the sound
// field of both sources' mirror images at the view time, and a marker picture on each point.
// Moving the pointer over a marker shows the four-way cursor and takes the pointer; dragging moves
// the point and sets its two parameters through AutomateParameter.
class CRoomView : public gui::CLiteControl {
public:
    // The points in the order of their parameters: Src L (0, 1), Src R (2, 3), Dst L (4, 5),
    // Dst R (6, 7).
    enum Point : int { kSrcLeft, kSrcRight, kDstLeft, kDstRight, kPointCount };

    // markers: the four marker pictures in Point order (not owned).
    CRoomView(gui::CLiteContainer& container, int x, int y, int size, CSpatialVerb* machine,
              const std::array<const gui::CPicture*, kPointCount>& markers);

    // Any thread, machine locked: copies the room, the points and both sources' image trees.
    void Refresh(const RoomGeometry& geometry, const CImageSourceTree& left, const CImageSourceTree& right);
    // Any thread: parameter index 0..7 moved to value (the point follows within the current room).
    void MoveParameter(int32_t index, float value);
    // UI thread: the time (seconds after the sources sound) the field shows.
    void SetViewTime(float seconds);
    float ViewTime() const { return m_viewTime; }

    // Where a point is, in metres and in container pixels (its marker's centre).
    float PointX(int point) const { return m_points[static_cast<size_t>(point)][0]; }
    float PointY(int point) const { return m_points[static_cast<size_t>(point)][1]; }
    QPoint PointPixel(int point) const;
    // The marker the pointer at (x, y) is over (Dst R, Dst L, Src R, Src L tried in turn), or -1.
    int MarkerAt(int x, int y) const;
    // Pixels per metre and the room's top-left corner in container pixels.
    float Scale() const;
    float RoomLeft() const;
    float RoomTop() const;
    int Grabbed() const { return m_grabbed; }
    bool Dragging() const { return m_dragging; }
    // The field's strength at a room position (metres) at the view time: both sources' images
    // within the ring's half width of the wavefront, weighted by their nearness to it.
    float FieldAt(float x, float y) const;

    void Draw(gui::CPicture& target) override;
    void PointerMove(int x, int y) override;
    void LeftButtonDown(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void CaptureLost() override;

private:
    float FieldOf(const std::vector<CImageSourceTree::Node>& nodes, int32_t index, float x, float y, float radius,
                  float halfWidth) const;
    void RenderField();
    void Grab(int point);
    void LetGo();
    void DragTo(int x, int y);

    CSpatialVerb* m_machine;
    std::array<const gui::CPicture*, kPointCount> m_markers;
    float m_width = 18.0f, m_height = 22.0f; // metres
    std::array<std::array<float, 2>, kPointCount> m_points{};
    std::vector<CImageSourceTree::Node> m_trees[2];
    float m_viewTime = 0.0f;
    gui::CPicture m_field;      // the rendered room, view-sized, no alpha
    bool m_fieldStale = true;   // container locked
    int m_grabbed = -1;         // the marker under the pointer (capture held), or -1
    bool m_dragging = false;
};

class CSpatialVerbPanel : public CMachinePanel, public CSpatialVerbPanelLink {
public:
    // Closes the machine's open panel first. The machine must outlive the panel or close it.
    CSpatialVerbPanel(CSpatialVerb* machine, QWidget* parent);
    ~CSpatialVerbPanel() override;

    // The knob of parameter 10..13 (else null).
    gui::CLiteKnob* Knob(int32_t parameter) const;
    gui::CLiteSlider* WidthSlider() const { return m_widthSlider; }
    gui::CLiteSlider* HeightSlider() const { return m_heightSlider; }
    gui::CLiteSlider* TimeSlider() const { return m_timeSlider; }
    CLcdLine* Display() const { return m_display; }
    CRoomView* Room() const { return m_room; }
    CImpulseView* Early() const { return m_early; }
    CImpulseView* Late() const { return m_late; }
    gui::CLiteButton* SwapButton() const { return m_swap; }
    gui::CLiteButton* PictureButton() const { return m_picture; }

    // CSpatialVerbPanelLink
    void MoveControl(int32_t index, float value) override;
    void ShowText(const char* text) override; // also the container's: knob and slider texts
    void RefreshRoom() override;
    void RefreshEarly() override;
    void RefreshLate() override;
    void ClosePanel() override;

    // CLiteContainer
    void LiteButtonClicked(gui::CLiteButton* button) override;
    void LiteValueChanged(gui::CLiteControl* control, float value) override;
    void LiteDragEnded(gui::CLiteControl* control) override;

private:
    void ShowPicture(bool picture);

    CSpatialVerb* m_machine;
    std::array<gui::CLiteKnob*, 4> m_knobs{};
    gui::CLiteSlider* m_widthSlider = nullptr;
    gui::CLiteSlider* m_heightSlider = nullptr;
    gui::CLiteSlider* m_timeSlider = nullptr;
    CLcdLine* m_display = nullptr;
    CRoomView* m_room = nullptr;
    CImpulseView* m_early = nullptr;
    CImpulseView* m_late = nullptr;
    gui::CLiteButton* m_swap = nullptr;
    gui::CLiteButton* m_picture = nullptr;
};

} // namespace stock_panels
