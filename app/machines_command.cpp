#include "app/machines_command.h"

#include "host_machines/vst/vst_adapter.h"
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <memory>
#include <ostream>

namespace {

struct MachineDeleter {
    void operator()(CMachine* machine) const { machine->Delete(); }
};

// A VST plug-in from what the scan learned: no library is loaded, no instance made.
nlohmann::json DescribePlugin(const CVSTAdapterInfo& info) {
    const VSTLibraryFacts& facts = info.Facts();
    nlohmann::json ports = nlohmann::json::array();
    for (const VSTPortPlan& port : VSTPortLayout(facts.inputs, facts.outputs, facts.takesMidi))
        ports.push_back({{"name", port.name}, {"flags", port.flags}});
    char uniqueId[16];
    std::snprintf(uniqueId, sizeof uniqueId, "%08x", static_cast<uint32_t>(facts.uniqueId));
    const std::string ownName = facts.ShownName();
    return {{"name", ownName.empty() ? std::string(info.m_displayName) : ownName},
            {"type", info.m_displayName},
            {"id", std::string(info.m_identifier)},
            {"vst", true},
            {"vendor", facts.vendor},
            {"product", facts.product},
            {"category", VSTCategoryName(facts.category)},
            {"uniqueId", uniqueId},
            {"file", info.LibraryPath()},
            {"generator", (facts.flags & vst::effFlagsIsSynth) != 0},
            {"inputs", facts.inputs},
            {"outputs", facts.outputs},
            {"flags", facts.flags},
            {"ports", ports},
            {"parameterCount", facts.parameters}};
}

nlohmann::json Describe(CMachineInfo* info) {
    if (const auto* plugin = dynamic_cast<const CVSTAdapterInfo*>(info);
        plugin && !plugin->LibraryPath().empty())
        return DescribePlugin(*plugin);
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
            {"parameterCount", machine->m_parameterCount},
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
    for (int32_t i = 0; i < registry.Count(); ++i)
        list.push_back(Describe(registry.At(i).info));
    if (json) {
        out << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return;
    }
    // The same plug-in found in two places (or two plug-ins of one name) shows its file.
    std::map<std::string, int> names;
    for (const auto& machine : list)
        ++names[machine["name"].get<std::string>()];
    for (const auto& machine : list) {
        const auto name = machine["name"].get<std::string>();
        out << name;
        if (machine.contains("vendor") && !machine["vendor"].get<std::string>().empty())
            out << " (" << machine["vendor"].get<std::string>() << ')';
        const auto id = machine["id"].get<std::string>();
        if (!id.empty()) out << "  [" << Printable(id) << ']';
        if (machine.contains("category"))
            out << "  "
                << (machine["generator"].get<bool>() ? "instrument" : machine["category"].get<std::string>());
        else
            out << (machine["generator"].get<bool>() ? "  generator" : "  effect");
        out << ", " << machine["ports"].size() << " ports, " << machine["parameterCount"].get<int>()
            << " parameters";
        if (machine.contains("file") && names[name] > 1) out << "  " << machine["file"].get<std::string>();
        out << '\n';
    }
}
