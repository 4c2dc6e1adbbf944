// CLiteContainer: the skinned panel every machine panel is built from. One window holds any number
// of lightweight controls (CLiteControl: knob, slider, button, LCD text, meter) that are not
// windows of their own: the container composes its background and its controls into one picture
// of its size and shows that picture. Pointer events go to the control holding the capture, else
// to the topmost visible control under the pointer.
//
// Threads: the container and its window belong to the user-interface thread. The container is
// also a lock (CMutex): code on other threads that changes a control's state of more than one value
// (an LCD's new text) takes it around the change and then marks the control dirty; the UI's repaint
// timer composes dirty controls again. Composition holds the lock, so a half-written state is never
// drawn. A state of one atomic value (a meter's level, a knob following automation) needs no lock:
// the periodic update runs with the studio mutex held, and waiting there for a composition would
// keep the driver thread waiting too. Lock order: a machine's lock before the container's.
#pragma once

#include "gui/control.h"
#include "gui/picture/picture.h"
#include "machine_interface/mutex.h"

#include <QImage>
#include <QRect>

#include <atomic>
#include <list>
#include <memory>
#include <utility>

namespace gui {

class CLiteButton;
class CLiteContainer;

// The base of the lightweight controls. A control lives inside one container, which owns it; its
// position and size are in the container's pixels, and so are the pointer positions its handlers
// receive. Visible and enabled on creation.
class CLiteControl {
public:
    CLiteControl(CLiteContainer& container, int x, int y, int width, int height);
    virtual ~CLiteControl() = default;
    CLiteControl(const CLiteControl&) = delete;
    CLiteControl& operator=(const CLiteControl&) = delete;

    // ---- in slot order ----
    // Draws the control onto the container's composition picture (UI thread, container locked;
    // the picture's clip rectangle limits it to the part being redrawn).
    virtual void Draw(CPicture& target);
    // Pointer handlers (UI thread), in container coordinates.
    virtual void PointerMove(int x, int y);
    virtual void LeftButtonDown(int x, int y);
    virtual void LeftButtonUp(int x, int y);
    // The capture was taken from this control (the container hid or lost its own capture).
    virtual void CaptureLost();

    CLiteContainer& Container() const { return m_container; }
    int X() const { return m_x; }
    int Y() const { return m_y; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    QRect Rect() const { return {m_x, m_y, m_width, m_height}; }
    bool Contains(int x, int y) const { return x >= m_x && y >= m_y && x < m_x + m_width && y < m_y + m_height; }
    bool IsVisible() const { return m_visible; }
    bool IsEnabled() const { return m_enabled; }
    // UI thread: shows or hides the control and redraws its place.
    void SetVisible(bool visible);
    // UI thread: a disabled control still draws but receives no pointer events.
    void SetEnabled(bool enabled) { m_enabled = enabled; }

    // UI thread: composes the control's rectangle again and shows it now.
    void Redraw();
    // Any thread, after changing state under the container's lock: the control is composed again
    // on the UI's next repaint tick. Allocates nothing and waits for nothing.
    void MarkDirty();

protected:
    // The pointer capture inside the container (one control at most).
    void SetCapture();
    void ReleaseCapture();
    bool HasCapture() const;

private:
    friend class CLiteContainer;
    CLiteContainer& m_container;
    int m_x, m_y, m_width, m_height;
    bool m_visible = true;
    bool m_enabled = true;
    std::atomic<bool> m_dirty{false};
};

class CLiteContainer : public CControl, public CMutex {
public:
    CLiteContainer() = default;
    ~CLiteContainer() override;

    // Makes the container's window. background (not owned; it must outlive the container) is
    // optional; when given it must be exactly width x height and without alpha, else
    // "CLiteContainer : Invalid Background Picture" is raised before any window is made.
    void Create(CControl* parent, const char* name, int x, int y, int width, int height, const CPicture* background);

    // UI thread: makes a control of type T (its constructor takes the container first), appends it
    // to the list (drawn above the controls made before it) and draws it.
    template <class T, class... Args>
    T* Add(Args&&... args) {
        auto control = std::make_unique<T>(*this, std::forward<Args>(args)...);
        T* added = control.get();
        {
            CMutexLock lock(*this);
            m_controls.push_back(std::move(control));
        }
        Redraw(added->Rect());
        return added;
    }
    // UI thread: destroys a control of this container and redraws its place.
    void Remove(CLiteControl* control);
    int ControlCount() const { return static_cast<int>(m_controls.size()); }

    // UI thread: composes the region (clipped to the container) from the background and the
    // visible controls in list order, then shows it.
    void Redraw(int x, int y, int width, int height);
    void Redraw(const QRect& region) { Redraw(region.x(), region.y(), region.width(), region.height()); }

    // The composed picture (container-sized, no alpha). Read it on the UI thread.
    const CPicture& Composition() const { return m_composition; }
    const CPicture* Background() const { return m_background; }
    CLiteControl* CaptureHolder() const { return m_capture; }

    // ---- the container's own operations, after those of CControl ----
    // A button reported a click. Empty by default.
    virtual void LiteButtonClicked(CLiteButton* button);
    // The user moved a knob or slider to a new value (0..1). Empty by default.
    virtual void LiteValueChanged(CLiteControl* control, float value);
    // The user let go of a knob or slider. Empty by default.
    virtual void LiteDragEnded(CLiteControl* control);
    // A control's text for the user ("name value" of a knob or slider being moved). Empty by
    // default; a panel shows it on its LCD, say.
    virtual void ShowText(const char* text);
    // Draws the region's background into the composition picture: the background picture's part,
    // or colour slot 2 when there is none. Container locked.
    virtual void DrawBackgroundPart(int x, int y, int width, int height);

    // CControl
    void LeftButtonDown(int x, int y) override;
    void LeftButtonUp(int x, int y) override;
    void PointerMove(int x, int y) override;
    void CaptureLost() override;
    // Composes the controls marked dirty from other threads, then repaints the window.
    void Refresh() override;
    void Render(QPainter& painter) override;

protected:
    CPicture& CompositionPicture() { return m_composition; }

private:
    friend class CLiteControl;
    // The control a pointer event at (x, y) goes to: the capture holder, else the last visible
    // control containing the point; null when it is disabled or there is none.
    CLiteControl* Target(int x, int y) const;
    // Composes the region into the picture and its image (container locked inside); no window work.
    QRect Compose(const QRect& region);

    const CPicture* m_background = nullptr;
    CPicture m_composition;
    // The composition as the window system's image (logical size); the window scales it once to
    // the screen's density.
    QImage m_image;
    std::list<std::unique_ptr<CLiteControl>> m_controls;
    CLiteControl* m_capture = nullptr;
};

} // namespace gui
