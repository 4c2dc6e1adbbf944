#include "machines/library_context.h"

#include "machine_interface/vesk_host.h"
#include "machines/dsp/block_ops.h"
#include "machines/dsp/shared_tables.h"

namespace {
LibraryContext g_context;
bool g_built = false;
} // namespace

void InitLibraryContext(void* module, CVeskHost* host) {
    if (g_built) return;
    g_context.module = module;
    g_context.host = host;
    g_context.processorFeatures = host ? host->GetProcessorFeatures() : 0;
    SetDspProcessorFeatures(g_context.processorFeatures);
    SharedTables();
    g_built = true;
}

const LibraryContext* GetLibraryContext() { return g_built ? &g_context : nullptr; }
