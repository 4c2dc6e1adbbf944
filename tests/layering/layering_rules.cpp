#include "tests/layering/layering_rules.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>

namespace layering {

namespace {

namespace fs = std::filesystem;

const std::set<std::string> kMiddle = {"engine",      "sequencer", "machines",
                                       "persistence", "audio_out", "host_machines"};

// Folder -> the other folders its files may include.
std::map<std::string, std::set<std::string>> AllowedFolders() {
    std::map<std::string, std::set<std::string>> allowed;
    allowed["platform"] = {};
    allowed["machine_interface"] = {"platform"};
    for (const std::string& middle : kMiddle)
        allowed[middle] = {"platform", "machine_interface"};
    // The options file saves the output drivers' own settings record; the drivers know nothing of
    // the file.
    allowed["persistence"].insert("audio_out");
    std::set<std::string> belowViews = {"platform", "machine_interface"};
    belowViews.insert(kMiddle.begin(), kMiddle.end());
    allowed["gui"] = belowViews;
    allowed["studio_ui"] = belowViews;
    allowed["studio_ui"].insert("gui");
    allowed["app"] = allowed["studio_ui"];
    allowed["app"].insert("studio_ui");
    allowed["library"] = {"platform", "machine_interface", "machines", "gui"};
    // The pictures and the PNG reader sit inside gui/ but below the window system: they build on
    // the platform only, so both deliverables, the tests and the fuzzer use them without Qt.
    for (auto& [folder, folders] : allowed)
        if (folders.count("gui")) folders.insert("gui/picture");
    allowed["gui"].insert("gui/picture");
    allowed["gui/picture"] = {"platform"};
    return allowed;
}

// The floors where a Qt header is allowed.
const std::set<std::string> kQtFolders = {"gui", "studio_ui", "app", "library"};

// Sideways includes the tree has today, each with why. They are to go away, not to grow: a new
// one needs a reason here.
struct Exception {
    const char* folder;
    const char* header;
};
const Exception kExceptions[] = {
    // The sequencer implements the studio's view of it (ticks, machines coming and going) and
    // counts its edits on the studio's change counter.
    {"sequencer", "engine/studio_sequencer.h"},
    {"sequencer", "engine/change_counter.h"},
    // The project file reads and writes the studio and the sequencer together.
    {"persistence", "engine/studio.h"},
    {"persistence", "sequencer/sequencer.h"},
    // The HD recorder's rows are the song's record target and feed the studio's peak-meter state.
    {"host_machines", "sequencer/record_song_target.h"},
    {"host_machines", "engine/peak_meter.h"},
};

bool IsException(const std::string& folder, const std::string& header) {
    for (const Exception& exception : kExceptions)
        if (folder == exception.folder && header == exception.header) return true;
    return false;
}

// The folder a path belongs to: the longest listed folder it lies in ("gui/picture/png.h" is in
// gui/picture, "gui/knob.h" in gui), or its first component when none is listed.
std::string FolderOf(const std::string& path, const std::set<std::string>& known) {
    std::string best = path.substr(0, path.find('/'));
    for (const std::string& folder : known)
        if (folder.size() > best.size() && path.compare(0, folder.size() + 1, folder + "/") == 0)
            best = folder;
    return best;
}

bool IsSource(const fs::path& path) {
    static const std::set<std::string> kExtensions = {".h", ".hpp", ".cpp", ".cc", ".c", ".inl"};
    return kExtensions.count(path.extension().string()) > 0;
}

bool IsQtHeader(const std::string& header) {
    // <QWidget>, <QtWidgets/QPushButton>, <QtCore>, <QString.h>
    static const std::regex kQt(R"(^Q[A-Za-z0-9_]*(/.*|\.h)?$)");
    return std::regex_match(header, kQt);
}

void CheckFile(const fs::path& root, const fs::path& file, const std::string& folder,
               const std::set<std::string>& allowed, const std::set<std::string>& known,
               std::vector<Violation>& violations) {
    static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");
    std::ifstream in(file);
    std::string text;
    int line = 0;
    const std::string relative = fs::relative(file, root).generic_string();
    while (std::getline(in, text)) {
        ++line;
        std::smatch match;
        if (!std::regex_search(text, match, kInclude)) continue;
        const std::string header = match[2];
        if (IsQtHeader(header)) {
            if (folder.find('/') != std::string::npos)
                violations.push_back({relative, line, header, "Qt header in " + folder + "/, which stays Qt-free"});
            else if (!kQtFolders.count(folder))
                violations.push_back({relative, line, header, "Qt header below gui/ and studio_ui/"});
            continue;
        }
        if (match[1] != "\"") continue;
        if (header.find('/') == std::string::npos) continue;
        const std::string target = FolderOf(header, known);
        if (target == folder || !known.count(target)) continue;
        if (allowed.count(target) || IsException(folder, header)) continue;
        violations.push_back({relative, line, header, folder + "/ may not include " + target + "/"});
    }
}

} // namespace

std::vector<Violation> Check(const fs::path& root) {
    const auto allowedFolders = AllowedFolders();
    std::set<std::string> known;
    for (const auto& [folder, allowed] : allowedFolders)
        known.insert(folder);
    std::vector<Violation> violations;
    for (const auto& [folder, allowed] : allowedFolders) {
        const fs::path directory = root / folder;
        if (!fs::is_directory(directory)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(directory)) {
            if (!entry.is_regular_file() || !IsSource(entry.path())) continue;
            // A file of a folder nested in this one is checked under the nested folder's rules.
            if (FolderOf(fs::relative(entry.path(), root).generic_string(), known) != folder) continue;
            CheckFile(root, entry.path(), folder, allowed, known, violations);
        }
    }
    std::sort(violations.begin(), violations.end(), [](const Violation& a, const Violation& b) {
        return a.file != b.file ? a.file < b.file : a.line < b.line;
    });
    return violations;
}

std::string Describe(const Violation& violation) {
    return violation.file + ":" + std::to_string(violation.line) + ": " + violation.include + ": " +
           violation.reason;
}

} // namespace layering
