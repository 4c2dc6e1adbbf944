// CControl: the base of every control of the toolkit. A control owns one Qt widget; the widget
// hands its events (paint, resize, pointer buttons and moves, double-clicks, keys, wheel, capture
// loss) to the control's virtual handlers with control-relative coordinates in logical pixels, so
// a view behaves the same on a high-density screen. A control may keep an off-screen picture of
// its size (its double buffer): Render draws into it, Paint copies it to the widget.
//
// Threads: a control is made, used and destroyed on the user-interface thread. The one exception
// is MarkDirty, which any thread may call (an audio worker, the graphics thread, a plug-in's idle
// thread): it only sets a flag, allocates nothing and waits for nothing; the user interface's
// repaint timer refreshes dirty controls.
#pragma once

#include <QFont>
#include <QImage>

#include <atomic>
#include <memory>
#include <string>

class QEvent;
class QKeyEvent;
class QPainter;
class QWheelEvent;
class QWidget;

namespace gui {

class CColorManager;
class CButton;
class CComboBox;
class CToolBarButton;
class CControlWidget;

enum class ShowCommand { kHide, kShow, kShowNormal, kShowMaximized, kShowMinimized };
enum class Bevel { kFlat, kRaised, kSunken };

// The face and size every new control without an inherited font gets.
inline constexpr const char* kDefaultFace = "Verdana";
inline constexpr int kDefaultPoints = 9;

// A font of a face, point size and weight. An empty face raises "Can't Create Font <%s>".
QFont MakeFont(const char* face, int points, bool bold);

// A rectangle outline: flat in the shadow pen; raised with the light pen on top and left and the
// shadow pen on bottom and right; sunken the reverse (colour slots 6 and 7).
void DrawBevel(QPainter& painter, int x, int y, int width, int height, Bevel kind, const CColorManager& colors);

class CControl {
public:
    CControl();
    virtual ~CControl();
    CControl(const CControl&) = delete;
    CControl& operator=(const CControl&) = delete;

    // Makes the control's widget as a child of the parent's (no parent: a top-level widget), at
    // (x, y) with the given size, hidden until shown. With offscreen the control keeps a picture
    // of its size to render into. A parent without a widget raises "MakeWindow: IsWindow == False".
    // Colours and font are inherited from the parent; a control without either gets the default
    // colour manager and the 9-point "Verdana" font.
    void Create(CControl* parent, const char* name, int x, int y, int width, int height, bool offscreen);

    QWidget* Widget() const;
    CControl* Parent() const { return m_parent; }
    // The control whose widget this is, or null.
    static CControl* FromWidget(const QWidget* widget);

    int X() const { return m_x; }
    int Y() const { return m_y; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void Move(int x, int y);
    void MoveResize(int x, int y, int width, int height);
    // With a thin border the outline is added around the given size: 2 pixels each way.
    void MoveResizeBordered(int x, int y, int width, int height);
    bool IsVisible() const;

    const CColorManager& Colors() const;
    // Not owned; children made afterwards inherit it.
    void SetColors(const CColorManager* colors) { m_colors = colors; }
    const QFont& Font() const { return *m_font; }
    void SetFont(const QFont& font);
    int BackgroundSlot() const { return m_backgroundSlot; }
    void SetBackgroundSlot(int slot) { m_backgroundSlot = slot; }
    void SetBorder(bool border) { m_border = border; }
    bool HasBorder() const { return m_border; }
    void SetNeedsFullRedraw(bool value) { m_needsFullRedraw = value; }
    bool NeedsFullRedraw() const { return m_needsFullRedraw; }
    // The double buffer, or null for a control without one. Sized in device pixels, painted in
    // logical pixels.
    QImage* Offscreen() { return m_offscreen ? &m_picture : nullptr; }

    // Pointer capture: while captured every pointer event goes to this control, wherever the
    // pointer is. Releasing it, or another control taking it, calls CaptureLost.
    void SetCapture();
    void ReleaseCapture();
    bool HasCapture() const;

    // Any thread: asks for a Refresh on the user interface's next repaint tick.
    void MarkDirty() { m_dirty.store(true, std::memory_order_release); }
    bool IsDirty() const { return m_dirty.load(std::memory_order_acquire); }
    // User-interface thread: refreshes every control marked dirty. The repaint timer calls it
    // about every 15 ms; tests call it directly or step the clock.
    static void RefreshDirtyControls();

    // ---- event handlers, in slot order ----
    virtual void ShowWith(ShowCommand command);
    virtual void Show();
    // Paints the widget: copies the off-screen picture when there is one; else fills with the
    // background slot's brush.
    virtual void Paint(QPainter& painter);
    // The widget's new size: the off-screen picture follows and is rendered again when visible.
    virtual void SizeChanged(int width, int height);
    // Every widget event passes here first; true means handled (the widget's default is skipped).
    virtual bool HandleEvent(QEvent* event);
    // Draws the border; false lets the toolkit draw its plain one-pixel outline.
    virtual bool PaintFrame(QPainter& painter);
    virtual void RightButtonDown(int x, int y);
    virtual void RightButtonUp(int x, int y);
    virtual void LeftButtonDown(int x, int y);
    virtual void LeftButtonUp(int x, int y);
    virtual void PointerMove(int x, int y);
    virtual void LeftDoubleClick(int x, int y);
    // A child combo box's selection changed.
    virtual void ComboChanged(CComboBox* combo);
    // A child control's value changed (slider, up-down, edit box, scroll bar, list, tab).
    virtual void ChildChanged(CControl* child);
    virtual void ToolBarButtonClicked(CToolBarButton* button);
    virtual void ButtonClicked(CButton* button);
    virtual void CaptureLost();
    // Keys and the wheel; false passes the event on to the parent widget.
    virtual bool KeyPressed(QKeyEvent* event);
    virtual bool WheelTurned(QWheelEvent* event);
    // Renders into the off-screen picture and repaints the widget.
    virtual void Refresh();
    // Draws the control into its off-screen picture (logical pixels). Empty by default.
    virtual void Render(QPainter& painter);

protected:
    // Repaints now (synchronously) or at the next paint event.
    void Update();

private:
    friend class CControlWidget;
    // Fits the off-screen picture to the size and density; true when it was made anew.
    bool ResizePicture();

    CControl* m_parent = nullptr;
    CControlWidget* m_widget = nullptr;
    const CColorManager* m_colors = nullptr;
    std::shared_ptr<QFont> m_font;
    int m_x = 0, m_y = 0, m_width = 0, m_height = 0;
    bool m_offscreen = false;
    QImage m_picture;
    bool m_pictureStale = false; // made anew and not rendered since
    int m_backgroundSlot = 2;
    bool m_border = false;
    bool m_needsFullRedraw = false;
    std::atomic<bool> m_dirty{false};
};

} // namespace gui
