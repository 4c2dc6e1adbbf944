// CMachineContainer: the frame of one machine on the studio surface (the model part; the window
// that shows it belongs to the user interface and observes it through CContainerListener).
//
// It owns the machine (destroyed with Delete), its connectors, its done-semaphore and, when the
// studio runs machines on their own workers, its worker thread. Made and destroyed by CStudio on
// the user-interface thread with the studio mutex held. The processing fields (processed flag,
// done-semaphore, worker) are used by the processing cycle under the studio mutex; the processed
// flag only with the machine locked.
#pragma once

#include "engine/connector.h"
#include "engine/work_thread.h"
#include "machine_interface/array.h"
#include "machine_interface/machine.h"
#include "platform/semaphore.h"

#include <cstdint>
#include <memory>
#include <string>

class CStudio;

// What a view of the frame wants to hear. Called on the thread that made the change.
class CContainerListener {
public:
    virtual ~CContainerListener() = default;
    // A parameter of the machine changed through the host services (its own panel, automation).
    virtual void ParameterChanged(CMachineContainer* frame, int32_t index, float value) = 0;
    // Cables were added to or removed from a connector, or the connectors were rebuilt.
    virtual void ConnectorsChanged(CMachineContainer* frame) = 0;
};

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

    // CHostContext: SetParameter on the machine, then the listener. Caller's thread.
    void ApplyParameter(CMachine* machine, int32_t index, float value) override;

    void SetListener(CContainerListener* listener) { m_listener = listener; }
    void NotifyConnectorsChanged();

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
    CContainerListener* m_listener = nullptr;
};
