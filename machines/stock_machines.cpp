#include "machines/stock_machines.h"

#include "machine_interface/vesk_host.h"
#include "machines/antialias/antialias_filter.h"
#include "machines/basshead/basshead.h"
#include "machines/drumkit/drumkit.h"
#include "machines/mixer/mixer.h"
#include "machines/quaddelay/echo.h"
#include "machines/spatialverb/spatialverb.h"
#include "machines/stomp/kick.h"

int32_t RegisterStockMachines(CVeskHost* host) {
    int32_t result = 0;
    result = host->RegisterMachine(new CAntiAliasFilterInfo(host));
    result = host->RegisterMachine(new CBassHeadInfo(host));
    result = host->RegisterMachine(new CDrumKitInfo(host));
    result = host->RegisterMachine(new CEchoInfo(host));
    result = host->RegisterMachine(new CKickInfo(host));
    result = host->RegisterMachine(new CMixerInfo(host));
    result = host->RegisterMachine(new CSpatialVerbInfo(host));
    return result;
}
