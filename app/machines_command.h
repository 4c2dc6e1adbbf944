// `tamborel machines [--json]`: every registered machine type in registry order.
#pragma once

#include <iosfwd>

class MachineRegistry;

// Lists the types as text lines, or as a JSON array (name, id, generator, ports, parameters),
// each read from a throw-away instance that is deleted again.
void ListMachines(const MachineRegistry& registry, bool json, std::ostream& out);
