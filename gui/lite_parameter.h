// CLiteParameterControl: the part the skinned knob and slider share: a value 0..1 bound to one
// parameter of a machine, and the calls a user's change makes on that machine.
//
// Threads: the user's changes arrive on the user-interface thread. SetValue may be called from any
// thread (a panel following automation): it stores the value, one atomic that a composition reads
// once, so without the container's lock (the thread may hold the studio mutex, which the driver
// thread waits for, while the UI composes), and marks the control dirty. The machine is not owned and must outlive the control.
#pragma once

#include "gui/lite_container.h"

#include <atomic>
#include <cstdint>

class CMachine;

namespace gui {

class CLiteParameterControl : public CLiteControl {
public:
    // The value starts as the machine's GetParameter(parameter), or 0.5 without a machine.
    CLiteParameterControl(CLiteContainer& container, int x, int y, int width, int height, CMachine* machine,
                          int32_t parameter);

    CMachine* Machine() const { return m_machine; }
    int32_t Parameter() const { return m_parameter; }
    // 0..1; any thread.
    float Value() const { return m_value.load(std::memory_order_relaxed); }
    // Any thread: shows a value set elsewhere (no machine call); clamped to 0..1.
    void SetValue(float value);

protected:
    // UI thread, machine locked: sends "name text" (the parameter's name and the display text of
    // value) to the container.
    void SendText(float value);
    // UI thread, a user's move: when value differs from the current one, locks the machine, sends
    // the text of the new value, passes it to AutomateParameter and unlocks; then stores it,
    // redraws and tells the container. Without a machine it only stores and redraws.
    void ChangeValue(float value);
    // UI thread: a press began a drag (capture taken, text of the current value sent).
    void BeginDrag();
    // UI thread: the drag ended (capture released).
    void EndDrag();

private:
    CMachine* m_machine;
    int32_t m_parameter;
    // Written and read anywhere; a composition reads it once.
    std::atomic<float> m_value;
};

} // namespace gui
