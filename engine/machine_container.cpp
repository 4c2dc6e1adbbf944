#include "engine/machine_container.h"

#include "machine_interface/port.h"

#include <cstring>

CConnector::~CConnector() {
    for (CConnection* connection : m_connections)
        delete connection;
}

CMachineContainer::CMachineContainer(CStudio* studio, CMachine* machine, CMachineInfo* info, const char* name,
                                     int32_t x, int32_t y, const void* state, int32_t stateSize,
                                     bool parameterList)
    : m_name(name ? name : ""), m_identifier(info && info->m_identifier ? info->m_identifier : ""), m_x(x),
      m_y(y), m_studio(studio), m_machine(machine), m_info(info) {
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
    if (m_listener) m_listener->ParameterChanged(this, index, value);
}

void CMachineContainer::NotifyConnectorsChanged() {
    if (m_listener) m_listener->ConnectorsChanged(this);
}

void CMachineContainer::RebuildConnectors() {
    DeleteConnectors();
    BuildConnectors();
    NotifyConnectorsChanged();
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
