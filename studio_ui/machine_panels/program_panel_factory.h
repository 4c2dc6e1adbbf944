// The panel factory of the program's own machines: the MIDI machines' device panels and the VST
// plug-ins' editor windows. The program installs it at start, when it opens its window; headless
// runs and the offline renderer never do, so no window is made there.
//
// Plug-in editors need an X11 display (their window id goes to the plug-in): on any other window
// system (offscreen, pure Wayland) no editor window is made, and the frame greys "Show Custom GUI".
//
// Threads: CreatePanel on the user-interface thread.
#pragma once

#include "machine_interface/panel_factory.h"

#include <functional>

namespace program_panels {

// True when the running window system is X11 (Qt's "xcb" platform).
bool NativeEditorsAvailable();

class CProgramPanelFactory : public CPanelFactory {
public:
    // canEmbed says whether plug-in editors can have a window (NativeEditorsAvailable unless a
    // test drives a recording plug-in that never touches the window it is given).
    explicit CProgramPanelFactory(std::function<bool()> canEmbed = NativeEditorsAvailable);
    // kind: "QX MIDI Input", "QX MIDI Output" or "VST"; any other kind gets no panel.
    WindowHandle CreatePanel(CMachine* machine, const char* kind, WindowHandle parent) override;

private:
    std::function<bool()> m_canEmbed;
};

// The program's one factory (lives for the process).
CProgramPanelFactory& ProgramPanelFactory();

} // namespace program_panels
