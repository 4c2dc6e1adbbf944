// CMachineContainer: the frame of one machine on the studio surface (the model part; the window
// that shows it belongs to the user interface and observes it through CContainerListener).
//
// It owns the machine (destroyed with Delete), its connectors, its done-semaphore and, when the
// studio runs machines on their own workers, its worker thread. Made and destroyed by CStudio on
// the user-interface thread with the studio mutex held. The processing fields (processed flag,
// done-semaphore, worker) are used by the processing cycle under the studio mutex; the processed
// flag only with the machine locked.
//
// Its commands (panel mode, Randomize, program choice, rename through the studio) run on the
// user-interface thread. Listeners hear of them on that thread only: connector and panel changes
// directly, parameter changes (which may come from any thread) through the studio's notification
// queue when the user interface drains it.
#pragma once

#include "engine/connector.h"
#include "engine/work_thread.h"
#include "machine_interface/array.h"
#include "machine_interface/machine.h"
#include "platform/semaphore.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CStudio;

// What a view of the frame wants to hear. Every call comes on the user-interface thread, with no
// machine lock held (the studio mutex may be held).
class CContainerListener {
public:
    virtual ~CContainerListener() = default;
    // A parameter (index 0 .. parameter count - 1) changed to value (0..1) through the host
    // services: the machine's own panel, parameter events from patterns, Randomize. Raised on any
    // thread, delivered by CStudio::DeliverNotifications.
    virtual void ParameterChanged(CMachineContainer* frame, int32_t index, float value) = 0;
    // Cables were added to or removed from a connector, or the connectors were rebuilt.
    virtual void ConnectorsChanged(CMachineContainer* frame) = 0;
    // Any parameter may have changed (a program was chosen, or parameter news was lost when the
    // queue overflowed): re-read them all.
    virtual void ParametersChanged(CMachineContainer* /*frame*/) {}
    // The panel mode changed (PanelMode()).
    virtual void PanelModeChanged(CMachineContainer* /*frame*/) {}
};

// Where machines get their own panels made (their CreateGUI asks it). Installed by the program and
// by the machine library, each for the machines of its module; none is installed headless, and
// then no panel is made. See machine_interface/panel_factory.h.

// Panel modes of a frame.
enum PanelMode : int32_t { kPanelIcon = 0, kPanelDefault = 1, kPanelOwn = 2 };

class CMachineContainer : public CHostContext {
public:
    // Takes the machine. With a state block, hands it to SetState before anything else touches
    // the machine; then sets the host context and the name and builds the connectors. No worker
    // thread yet (StartWorker).
    CMachineContainer(CStudio* studio, CMachine* machine, CMachineInfo* info, const char* name, int32_t x,
                      int32_t y, const void* state = nullptr, int32_t stateSize = 0,
                      bool parameterList = true);
    // Stops the worker (if any), deletes the connectors (and the connections they hold), deletes the
    // machine. Cables from this frame into other frames must be gone already.
    ~CMachineContainer() override;
    CMachineContainer(const CMachineContainer&) = delete;
    CMachineContainer& operator=(const CMachineContainer&) = delete;

    // CHostContext: SetParameter on the machine, then queues the news for the listeners (it may
    // run on a worker thread, the driver thread or the plug-in idle thread, and allocates
    // nothing). A change made on the user-interface thread counts as an edit of the project.
    void ApplyParameter(CMachine* machine, int32_t index, float value) override;

    // User-interface thread. Adding a listener twice adds it once.
    void AddListener(CContainerListener* listener);
    void RemoveListener(CContainerListener* listener);
    // User-interface thread: tells every listener (walks a copy: a listener may remove itself).
    template <typename Call> void TellListeners(Call call) {
        const std::vector<CContainerListener*> listeners = m_listeners;
        for (CContainerListener* listener : listeners)
            call(listener);
    }
    void NotifyConnectorsChanged();

    // Unique for the life of the process (never 0): how queued news finds its frame, and how a
    // view recognises a frame that is gone.
    uint64_t Serial() const { return m_serial; }

    // --- Commands of the frame's menu (user-interface thread) ---
    // Asks the machine for its own panel (CreateGUI) inside the frame's "GUI Container" window.
    // The studio window calls it once it has made that window; headless it is never called and
    // the machine has no own panel. Returns the panel (null: none).
    WindowHandle CreatePanel(WindowHandle guiContainer);
    WindowHandle OwnPanel() const { return m_ownPanel; }
    bool HasOwnPanel() const { return m_ownPanel != nullptr; }
    // The default parameter panel exists for machines with at least one parameter.
    bool HasDefaultPanel() const { return m_machine->m_parameterCount > 0; }
    int32_t PanelMode() const { return m_panelMode; }
    // Switches to kPanelIcon, kPanelDefault or kPanelOwn. Leaving the own panel calls
    // OnGUIHidden first; entering it calls OnGUIShown last. A mode whose panel does not exist,
    // an unknown mode or the current one changes nothing and returns false (the project reader
    // may ask for a mode saved by another setup).
    bool SetPanelMode(int32_t mode);
    // A press on the icon: the own panel if there is one, else the default panel, else nothing.
    void ClickIcon();
    // "Randomize": parameter i, in order, gets r / 32767 with r drawn from the process's
    // generator (platform::Random15). Nothing for a machine without parameters.
    void Randomize();
    // "ProgramCombo": SetProgram(index) under the machine lock, so a buffer never renders half a
    // program. An index outside 0 .. program count - 1 changes nothing and returns false.
    bool ChooseProgram(int32_t index);

    // Deletes the connectors and builds one per current port (after the machine's ports were
    // rebuilt). Cables into and out of the old connectors must be gone already.
    void RebuildConnectors();

    const std::string& Name() const { return m_name; }
    const std::string& Identifier() const { return m_identifier; }
    CMachine* Machine() const { return m_machine; }
    CMachineInfo* Info() const { return m_info; }
    CStudio* Studio() const { return m_studio; }
    int32_t ConnectorCount() const { return m_connectors.Count(); }
    CConnector* Connector(int32_t index) const {
        return index >= 0 && index < m_connectors.Count() ? m_connectors[index] : nullptr;
    }
    // The first connector whose port has this name, or null.
    CConnector* FindConnector(const char* portName) const;

    std::string m_name;       // instance name
    std::string m_identifier; // the descriptor's identifier
    int32_t m_x;
    int32_t m_y;
    // The panel mode shown (or, headless, the one the project file asked for: the reader restores
    // it as saved so a project keeps it when saved again, even where the panel is not made).
    int32_t m_panelMode = kPanelIcon;

    // Processing state.
    bool m_processed = false;
    platform::CSemaphore m_done;
    // Null until StartWorker: the studio renders every machine on the driver's thread unless told
    // to give each machine its own worker.
    std::unique_ptr<CWorkThread> m_worker;

    // Creates and starts the worker thread when there is none. User-interface thread, studio
    // mutex held, no buffer rendering.
    void StartWorker();

private:
    void BuildConnectors();
    void DeleteConnectors();

    CStudio* m_studio;
    CMachine* m_machine;
    CMachineInfo* m_info;
    CArray<CConnector> m_connectors;
    std::vector<CContainerListener*> m_listeners;
    uint64_t m_serial;
    WindowHandle m_ownPanel = nullptr;
};
