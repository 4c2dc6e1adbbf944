// The entry point of the QX Stockrack machine library.
#include "library/panels/stock_panel_factory.h"
#include "machine_interface/library_loader.h"
#include "machines/library_context.h"
#include "machines/stock_machines.h"

extern "C" __attribute__((visibility("default"))) int32_t VeskPlugInit(void* module, CVeskHost* host) {
    InitLibraryContext(module, host);
    // The factory makes panels only when a machine's CreateGUI asks and a QApplication runs; a
    // library loaded headless (the offline renderer) never makes a window.
    machine_panels::Install(&stock_panels::StockPanelFactory());
    return RegisterStockMachines(host);
}
