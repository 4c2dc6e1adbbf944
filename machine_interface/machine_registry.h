// MachineRegistry: the host's list of machine descriptors in registration order, with the icons
// to show for each. Filled at start-up on the user-interface thread (host descriptors, then the
// machine libraries, then VST plug-ins); read-only afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CMachineInfo;

// What tells apart descriptors that share one identifier (VST plug-ins whose short identifiers
// collide). Host side only: the project file keeps the facts after the identifier's NUL, where
// readers that compare the identifier as text never look.
struct MachineIdentity {
    // name=value pairs, the most telling first (a plug-in: its unique ID, its name, its file).
    std::vector<std::pair<std::string, std::string>> facts;
    // Names an instance name is compared with when a file carries no facts.
    std::vector<std::string> names;
    // How the user is told which type was chosen, e.g. "Compressor x1 Stereo (/usr/lib/vst/c.so)".
    std::string description;
    // Bytes of the identifier to store, counting any behind an early zero byte (0: the text's).
    int32_t identifierSize = 0;
};

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

    // Every descriptor with exactly this identifier, in registration order.
    std::vector<CMachineInfo*> FindAllByIdentifier(const char* identifier) const;
    // The identity of a registered descriptor (null when it has none).
    void SetIdentity(const CMachineInfo* info, MachineIdentity identity);
    const MachineIdentity* IdentityOf(const CMachineInfo* info) const;

    int32_t Count() const { return static_cast<int32_t>(m_nodes.size()); }
    const Node& At(int32_t index) const { return m_nodes.at(static_cast<size_t>(index)); }

private:
    std::vector<Node> m_nodes;
    std::map<const CMachineInfo*, MachineIdentity> m_identities;
    const void* m_defaultSmallIcon = nullptr;
    const void* m_defaultLargeIcon = nullptr;
};
