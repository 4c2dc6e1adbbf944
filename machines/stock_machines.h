// The machine types of the QX Stockrack library, registered in this order: AntiAlias, BassHead,
// DrumKit, QuadDelay, Stomp, Mixer, SpatialVerb.
#pragma once

#include <cstdint>

class CVeskHost;

// Creates one descriptor per machine type and registers each with the host; returns the result of
// the last registration (0 when there is none).
int32_t RegisterStockMachines(CVeskHost* host);
