#include "machines/stock_machines.h"

#include "machine_interface/vesk_host.h"
#include "machines/drumkit/drumkit.h"
#include "machines/mixer/mixer.h"
#include "machines/spatialverb/spatialverb.h"

int32_t RegisterStockMachines(CVeskHost* host) {
    int32_t result = 0;
    // AntiAlias and BassHead register here.
    result = host->RegisterMachine(new CDrumKitInfo(host));
    // QuadDelay and Stomp register here.
    result = host->RegisterMachine(new CMixerInfo(host));
    result = host->RegisterMachine(new CSpatialVerbInfo(host));
    return result;
}
