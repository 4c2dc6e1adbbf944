// The entry point of the QX Stockrack machine library.
#include "machine_interface/library_loader.h"
#include "machines/library_context.h"
#include "machines/stock_machines.h"

extern "C" __attribute__((visibility("default"))) int32_t VeskPlugInit(void* module, CVeskHost* host) {
    InitLibraryContext(module, host);
    return RegisterStockMachines(host);
}
