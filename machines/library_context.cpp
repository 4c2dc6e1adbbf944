#include "machines/library_context.h"

#include "machine_interface/vesk_host.h"

namespace {
LibraryContext g_context;
bool g_built = false;
} // namespace

void InitLibraryContext(void* module, CVeskHost* host) {
    if (g_built) return;
    g_context.module = module;
    g_context.host = host;
    g_context.processorFeatures = host ? host->GetProcessorFeatures() : 0;
    g_built = true;
}

const LibraryContext* GetLibraryContext() { return g_built ? &g_context : nullptr; }
