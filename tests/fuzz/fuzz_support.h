// Shared by the fuzz entry points: a scratch file per process for readers that take a path, and
// the check that a reader only ever fails with its own error text.
#pragma once

#include "platform/error.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

namespace fuzz {

// Writes the input to a file of this process in the temporary folder and returns its path.
inline std::string WriteScratch(const uint8_t* data, size_t size, const char* extension) {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("tamborel_fuzz_" + std::to_string(getpid()) + extension))
            .string();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    return path;
}

// Runs the reader; its own error (platform::CError) is a clean refusal, anything else escapes
// and ends the run.
template <typename Call> bool Accepts(Call&& call) {
    try {
        call();
        return true;
    } catch (const platform::CError&) {
        return false;
    }
}

// Stops the run with a message when a property a clean load must keep does not hold.
inline void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

} // namespace fuzz
