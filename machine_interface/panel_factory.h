// The hook through which a machine's CreateGUI gets its own panel made, without the machine
// knowing the window toolkit. Each deliverable (the program, every machine library) has its own
// hook: the library's panel code installs a factory for the library's machines, the program's
// for its MIDI machines and plug-in adapter. With none installed (headless runs, the offline
// renderer, tests) no panel is made and CreateGUI returns null.
//
// Threads: Install at start-up before any frame is built; Create on the user-interface thread
// (CreateGUI is called there, once, when the frame's window exists).
#pragma once

#include "machine_interface/machine.h"

class CPanelFactory {
public:
    virtual ~CPanelFactory() = default;
    // The machine's own panel inside parent, or null. kind names the panel design (the machine
    // type's display name, e.g. "QX BassHead"); the factory keeps ownership rules of its toolkit
    // (the panel is a child of parent and goes with it).
    virtual WindowHandle CreatePanel(CMachine* machine, const char* kind, WindowHandle parent) = 0;
};

namespace machine_panels {

// Installs the factory of this module (null: none). Not owned.
void Install(CPanelFactory* factory);
CPanelFactory* Installed();
// What a machine's CreateGUI returns: the installed factory's panel, or null without a factory.
WindowHandle Create(CMachine* machine, const char* kind, WindowHandle parent);

} // namespace machine_panels
