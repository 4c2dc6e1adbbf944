#include "platform/files.h"

#include <cstdlib>
#include <system_error>

namespace platform {

namespace fs = std::filesystem;

fs::path ProgramFolder() {
    std::error_code error;
    fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error) return fs::current_path();
    return exe.parent_path();
}

fs::path AppDataFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return fs::path(xdg);
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".config";
    return fs::current_path() / ".config";
}

fs::path StateFolder() {
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg) return fs::path(xdg);
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".local" / "state";
    return fs::current_path() / ".local" / "state";
}

std::vector<fs::path> ListFiles(const fs::path& folder, const std::string& extension) {
    std::vector<fs::path> files;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return files;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        std::error_code statError;
        if (!it->is_regular_file(statError)) continue;
        const std::string name = it->path().filename().string();
        if (!extension.empty() &&
            (name.size() < extension.size() || name.compare(name.size() - extension.size(), extension.size(), extension) != 0))
            continue;
        files.push_back(it->path());
    }
    return files;
}

} // namespace platform
