// MachineRegistry: the host's list of machine descriptors in registration order, with the icons
// to show for each. Filled at start-up on the user-interface thread (host descriptors, then the
// machine libraries, then VST plug-ins); read-only afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CMachineInfo;

class MachineRegistry {
public:
    struct Node {
        CMachineInfo* info;
        const void* smallIcon;  // the descriptor's, or the program's own
        const void* largeIcon;
    };

    MachineRegistry() = default;
    // Calls Delete on every descriptor.
    ~MachineRegistry();
    MachineRegistry(const MachineRegistry&) = delete;
    MachineRegistry& operator=(const MachineRegistry&) = delete;

    // Icons used for descriptors that have none.
    void SetDefaultIcons(const void* smallIcon, const void* largeIcon);
    void Append(CMachineInfo* info);

    // First descriptor with exactly this identifier (case-sensitive), or null.
    CMachineInfo* FindByIdentifier(const char* identifier) const;
    // First descriptor with exactly this display name; raises "Machine <%s> Not Found".
    CMachineInfo* FindByName(const char* displayName) const;
    // Every descriptor the add-machine menu offers: all but "Master", in registration order.
    std::vector<CMachineInfo*> AddableMachines() const;

    int32_t Count() const { return static_cast<int32_t>(m_nodes.size()); }
    const Node& At(int32_t index) const { return m_nodes.at(static_cast<size_t>(index)); }

private:
    std::vector<Node> m_nodes;
    const void* m_defaultSmallIcon = nullptr;
    const void* m_defaultLargeIcon = nullptr;
};
