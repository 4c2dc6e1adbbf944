// The floors of the source tree and the checker that holds them: which top-level folder may
// include headers of which other folders, and where Qt headers may appear.
//
//   platform <- machine_interface <- engine, sequencer, machines, persistence, audio_out,
//   host_machines <- gui, studio_ui <- app;  library builds the machines and their panels (gui).
//
// gui/picture (pictures and the PNG reader) is a floor of its own inside gui/: platform only, no Qt.
// Only the first folder of a quoted include path counts ("engine/studio.h"), or the nested floor
// it lies in ("gui/picture/picture.h"); an include of a
// folder on the same floor or above is a violation unless it is a listed exception. Qt headers
// (<QWidget>, <QtCore/...>) are allowed only from gui/ upwards. Folders outside the product (tests,
// bench, tools, build trees) are not checked.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace layering {

struct Violation {
    std::string file; // relative to the root
    int line = 0;
    std::string include;
    std::string reason;
};

// Every violation under root, sorted by file and line.
std::vector<Violation> Check(const std::filesystem::path& root);

// "file:line: include: reason".
std::string Describe(const Violation& violation);

} // namespace layering
