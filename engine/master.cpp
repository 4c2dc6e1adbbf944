#include "engine/master.h"

#include <cstdio>

namespace {
int32_t StereoChannels() { return 2; }
int32_t (*g_channelCountSource)() = StereoChannels;
} // namespace

void CMaster::SetChannelCountSource(int32_t (*source)()) { g_channelCountSource = source ? source : StereoChannels; }
int32_t CMaster::ChannelCount() { return g_channelCountSource(); }

CMaster::CMaster(CVeskHost* host) : CMachine(host) { RebuildPorts(); }

void CMaster::RebuildPorts() {
    DeletePorts();
    const int32_t channels = ChannelCount();
    if (channels == 1) {
        AddPort(kPortMonoIn, "Line In");
    } else if (channels == 2) {
        AddPort(kPortStereoIn, "Line In");
    } else {
        for (int32_t c = 1; c <= channels; ++c) {
            char name[32];
            std::snprintf(name, sizeof name, "Channel %i", c);
            AddPort(kPortMonoIn, name);
        }
    }
}
