#include "machines/stock_machines.h"

#include "machine_interface/vesk_host.h"

int32_t RegisterStockMachines(CVeskHost* host) {
    int32_t result = 0;
    (void)host;
    return result;
}
