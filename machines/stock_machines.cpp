#include "machines/stock_machines.h"

#include "machine_interface/vesk_host.h"
#include "machines/antialias/antialias_filter.h"
#include "machines/basshead/basshead.h"
#include "machines/quaddelay/echo.h"
#include "machines/stomp/kick.h"

int32_t RegisterStockMachines(CVeskHost* host) {
    int32_t result = 0;
    result = host->RegisterMachine(new CAntiAliasFilterInfo(host));
    result = host->RegisterMachine(new CBassHeadInfo(host));
    // DrumKit registers here.
    result = host->RegisterMachine(new CEchoInfo(host));
    result = host->RegisterMachine(new CKickInfo(host));
    // Mixer and SpatialVerb register here.
    return result;
}
