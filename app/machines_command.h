// `tamborel machines [--json]`: every registered machine type in registry order.
#pragma once

#include <iosfwd>

class MachineRegistry;

// Lists the types as text lines, or as a JSON array (name, id, generator, ports, parameterCount,
// parameters), each read from a throw-away instance that is deleted again. VST plug-ins are listed
// from what the scan learned, without loading them: their own name, the machine type's name
// ("type", the file's stem), vendor, product, category, unique ID, file, channels, flags, ports
// and parameterCount; in the text listing the file follows when two entries share a name.
void ListMachines(const MachineRegistry& registry, bool json, std::ostream& out);
