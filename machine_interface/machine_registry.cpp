#include "machine_interface/machine_registry.h"

#include "machine_interface/machine.h"
#include "platform/error.h"

#include <cstring>

MachineRegistry::~MachineRegistry() {
    for (Node& node : m_nodes) node.info->Delete();
}

void MachineRegistry::SetDefaultIcons(const void* smallIcon, const void* largeIcon) {
    m_defaultSmallIcon = smallIcon;
    m_defaultLargeIcon = largeIcon;
}

void MachineRegistry::Append(CMachineInfo* info) {
    m_nodes.push_back(Node{info, info->m_smallIcon ? info->m_smallIcon : m_defaultSmallIcon,
                           info->m_largeIcon ? info->m_largeIcon : m_defaultLargeIcon});
}

CMachineInfo* MachineRegistry::FindByIdentifier(const char* identifier) const {
    for (const Node& node : m_nodes)
        if (std::strcmp(node.info->m_identifier, identifier) == 0) return node.info;
    return nullptr;
}

std::vector<CMachineInfo*> MachineRegistry::FindAllByIdentifier(const char* identifier) const {
    std::vector<CMachineInfo*> found;
    for (const Node& node : m_nodes)
        if (std::strcmp(node.info->m_identifier, identifier) == 0) found.push_back(node.info);
    return found;
}

void MachineRegistry::SetIdentity(const CMachineInfo* info, MachineIdentity identity) {
    m_identities[info] = std::move(identity);
}

const MachineIdentity* MachineRegistry::IdentityOf(const CMachineInfo* info) const {
    const auto found = m_identities.find(info);
    return found == m_identities.end() ? nullptr : &found->second;
}

CMachineInfo* MachineRegistry::FindByName(const char* displayName) const {
    for (const Node& node : m_nodes)
        if (std::strcmp(node.info->m_displayName, displayName) == 0) return node.info;
    platform::Raise("Machine <%s> Not Found", displayName);
}

std::vector<CMachineInfo*> MachineRegistry::AddableMachines() const {
    std::vector<CMachineInfo*> machines;
    for (const Node& node : m_nodes)
        if (std::strcmp(node.info->m_displayName, "Master") != 0) machines.push_back(node.info);
    return machines;
}
