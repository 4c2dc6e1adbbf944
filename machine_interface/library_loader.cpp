#include "machine_interface/library_loader.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/library.h"

int LoadMachineLibraries(const std::filesystem::path& folder, CVeskHost* host,
                         const std::function<void(const std::string&)>& progress) {
    int loaded = 0;
    for (const auto& path : platform::ListFiles(folder, ".so")) {
        if (progress) progress(platform::FormatText("Loading PlugIn Library %s...", path.filename().c_str()));
        platform::CDynamicLibrary library;
        if (!library.Load(path.string())) continue;
        auto init = reinterpret_cast<VeskPlugInitFunction>(library.Symbol(kVeskPlugInitName));
        if (!init) continue;  // the destructor unloads it again
        void* module = library.Release();
        init(module, host);
        ++loaded;
    }
    return loaded;
}
