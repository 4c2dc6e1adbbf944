#include "engine/machine_container.h"

#include "engine/studio.h"
#include "machine_interface/port.h"
#include "platform/random.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {
std::atomic<uint64_t> g_nextSerial{1};
} // namespace

CConnector::~CConnector() {
    for (CConnection* connection : m_connections)
        delete connection;
}

CMachineContainer::CMachineContainer(CStudio* studio, CMachine* machine, CMachineInfo* info, const char* name,
                                     int32_t x, int32_t y, const void* state, int32_t stateSize,
                                     bool parameterList)
    : m_name(name ? name : ""), m_identifier(info && info->m_identifier ? info->m_identifier : ""), m_x(x),
      m_y(y), m_studio(studio), m_machine(machine), m_info(info),
      m_serial(g_nextSerial.fetch_add(1, std::memory_order_relaxed)) {
    if (state) m_machine->SetState(state, stateSize, parameterList);
    m_machine->m_hostContext = this;
    m_machine->SetName(m_name.c_str());
    BuildConnectors();
}

CMachineContainer::~CMachineContainer() {
    // No request may run on a frame that is going away: the worker ends first.
    if (m_worker) m_worker->Stop();
    DeleteConnectors();
    m_machine->m_hostContext = nullptr;
    m_machine->Delete();
}

void CMachineContainer::StartWorker() {
    if (m_worker) return;
    m_worker = std::make_unique<CWorkThread>();
    m_worker->Start();
}

void CMachineContainer::ApplyParameter(CMachine* machine, int32_t index, float value) {
    machine->SetParameter(index, value);
    if (m_studio) m_studio->ParameterApplied(this, index, value);
}

void CMachineContainer::AddListener(CContainerListener* listener) {
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void CMachineContainer::RemoveListener(CContainerListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void CMachineContainer::NotifyConnectorsChanged() {
    TellListeners([this](CContainerListener* listener) { listener->ConnectorsChanged(this); });
}

void CMachineContainer::RebuildConnectors() {
    DeleteConnectors();
    BuildConnectors();
    NotifyConnectorsChanged();
}

WindowHandle CMachineContainer::CreatePanel(WindowHandle guiContainer) {
    if (!m_ownPanel) m_ownPanel = m_machine->CreateGUI(guiContainer);
    return m_ownPanel;
}

bool CMachineContainer::SetPanelMode(int32_t mode) {
    if (mode == m_panelMode) return false;
    if (mode != kPanelIcon && mode != kPanelDefault && mode != kPanelOwn) return false;
    if (mode == kPanelDefault && !HasDefaultPanel()) return false;
    if (mode == kPanelOwn && !HasOwnPanel()) return false;
    // The machine hears that its panel goes before it is hidden, and that it shows only once it
    // is visible, so it never draws into a hidden window.
    if (m_panelMode == kPanelOwn) m_machine->OnGUIHidden();
    m_panelMode = mode;
    if (mode == kPanelOwn) m_machine->OnGUIShown();
    if (m_studio) m_studio->Changes().Raise(); // the project file keeps the mode
    TellListeners([this](CContainerListener* listener) { listener->PanelModeChanged(this); });
    return true;
}

void CMachineContainer::ClickIcon() {
    if (HasOwnPanel())
        SetPanelMode(kPanelOwn);
    else if (HasDefaultPanel())
        SetPanelMode(kPanelDefault);
}

void CMachineContainer::Randomize() {
    const int32_t count = m_machine->m_parameterCount;
    if (count <= 0) return;
    // One lock for the whole set: a buffer renders either none or all of the new values.
    CMutexLock lock(*m_machine);
    for (int32_t i = 0; i < count; ++i) {
        const float value =
            static_cast<float>(platform::Random15()) / static_cast<float>(platform::kRandomMax);
        m_machine->SetParameter(i, value);
        if (m_studio) m_studio->ParameterApplied(this, i, value);
    }
}

bool CMachineContainer::ChooseProgram(int32_t index) {
    if (index < 0 || index >= m_machine->m_programCount) return false;
    {
        CMutexLock lock(*m_machine);
        m_machine->SetProgram(index);
    }
    if (m_studio) m_studio->Changes().Raise();
    TellListeners([this](CContainerListener* listener) { listener->ParametersChanged(this); });
    return true;
}

CConnector* CMachineContainer::FindConnector(const char* portName) const {
    for (CConnector* connector : m_connectors)
        if (std::strcmp(connector->m_port->m_name, portName) == 0) return connector;
    return nullptr;
}

void CMachineContainer::BuildConnectors() {
    m_connectors.Reserve(m_machine->m_portCount);
    for (int32_t i = 0; i < m_machine->m_portCount; ++i)
        m_connectors.Add(new CConnector(m_machine->m_ports[i], this));
}

void CMachineContainer::DeleteConnectors() {
    for (CConnector* connector : m_connectors)
        delete connector;
    m_connectors.Clear();
}
