#include "platform/library.h"

#include <dlfcn.h>

namespace platform {

CDynamicLibrary::~CDynamicLibrary() { Unload(); }

bool CDynamicLibrary::Load(const std::string& path) {
    Unload();
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* error = dlerror();
        m_error = error ? error : "unknown error";
        return false;
    }
    m_error.clear();
    return true;
}

void* CDynamicLibrary::Symbol(const char* name) const { return m_handle ? dlsym(m_handle, name) : nullptr; }

void CDynamicLibrary::Unload() {
    if (m_handle) dlclose(m_handle);
    m_handle = nullptr;
}

void* CDynamicLibrary::Release() {
    void* handle = m_handle;
    m_handle = nullptr;
    return handle;
}

} // namespace platform
