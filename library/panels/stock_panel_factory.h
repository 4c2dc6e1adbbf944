// The panel factory of QX Stockrack: makes the stock machines' skinned panels when a machine's
// CreateGUI asks. It makes nothing without a running QApplication (the offline renderer, a
// library loaded with no display), so the library stays usable headless.
//
// Threads: CreatePanel on the user-interface thread.
#pragma once

#include "machine_interface/panel_factory.h"

namespace stock_panels {

class CStockPanelFactory : public CPanelFactory {
public:
    // kind is the machine type's display name; an unknown kind gets no panel.
    WindowHandle CreatePanel(CMachine* machine, const char* kind, WindowHandle parent) override;
};

// The library's one factory (lives for the process).
CStockPanelFactory& StockPanelFactory();

} // namespace stock_panels
