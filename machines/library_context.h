// The machine library's library-wide context, built once by VeskPlugInit before any descriptor
// exists: the library's module handle, the host services and the processor features. Building it
// also builds the shared tables every machine of the library reads.
#pragma once

#include <cstdint>

class CVeskHost;

struct LibraryContext {
    void* module = nullptr;
    CVeskHost* host = nullptr;
    int32_t processorFeatures = 0;
};

// Builds the context (once; later calls keep the first).
void InitLibraryContext(void* module, CVeskHost* host);
// Null before InitLibraryContext.
const LibraryContext* GetLibraryContext();
