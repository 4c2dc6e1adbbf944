#include "app/machines_command.h"

#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <ostream>

namespace {

struct MachineDeleter {
    void operator()(CMachine* machine) const { machine->Delete(); }
};

nlohmann::json Describe(CMachineInfo* info) {
    std::unique_ptr<CMachine, MachineDeleter> machine(info->CreateMachine());
    nlohmann::json ports = nlohmann::json::array();
    for (int32_t i = 0; i < machine->m_portCount; ++i)
        ports.push_back({{"name", machine->m_ports[i]->m_name}, {"flags", machine->m_ports[i]->m_flags}});
    nlohmann::json parameters = nlohmann::json::array();
    for (int32_t i = 0; i < machine->m_parameterCount; ++i) {
        char name[64] = {};
        char display[64] = {};
        machine->GetParameterName(i, name);
        machine->GetParameterDisplay(i, display);
        parameters.push_back({{"index", i}, {"name", name}, {"display", display}});
    }
    return {{"name", info->m_displayName},
            {"id", info->m_identifier},
            {"generator", machine->IsGenerator()},
            {"ports", ports},
            {"parameters", parameters}};
}

// A plug-in identifier holds raw byte values (0..15); show them as \xNN rather than as control
// characters on the terminal.
std::string Printable(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    return shown;
}

} // namespace

void ListMachines(const MachineRegistry& registry, bool json, std::ostream& out) {
    nlohmann::json list = nlohmann::json::array();
    for (int32_t i = 0; i < registry.Count(); ++i) list.push_back(Describe(registry.At(i).info));
    if (json) {
        out << list.dump(2) << '\n';
        return;
    }
    for (const auto& machine : list) {
        out << machine["name"].get<std::string>();
        const auto id = machine["id"].get<std::string>();
        if (!id.empty()) out << "  [" << Printable(id) << ']';
        out << (machine["generator"].get<bool>() ? "  generator" : "  effect") << ", "
            << machine["ports"].size() << " ports, " << machine["parameters"].size() << " parameters\n";
    }
}
