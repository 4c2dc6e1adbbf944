// Dynamic libraries: machine libraries and VST plug-ins. User-interface thread (start-up).
#pragma once

#include <string>

namespace platform {

class CDynamicLibrary {
public:
    CDynamicLibrary() = default;
    ~CDynamicLibrary();  // unloads unless Release was called
    CDynamicLibrary(const CDynamicLibrary&) = delete;
    CDynamicLibrary& operator=(const CDynamicLibrary&) = delete;

    // Loads with immediate binding and local symbols; false (with Error()) when it fails.
    bool Load(const std::string& path);
    void* Symbol(const char* name) const;
    void Unload();
    // Keeps the library loaded for the rest of the process and forgets the handle.
    void* Release();
    void* Handle() const { return m_handle; }
    const std::string& Error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace platform
