// CMaster: the studio's sink. Whatever is cabled into its inputs is what the output driver plays.
// Its ports follow the channel count of the current output driver and are rebuilt (user-interface
// thread, studio and master locked) when the driver changes.
#pragma once

#include "machine_interface/machine.h"

class CMaster : public CMachine {
public:
    explicit CMaster(CVeskHost* host);

    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return false; }

    // Discards the ports and builds new ones for the current driver's channel count:
    // 0 none; 1 mono "Line In"; 2 stereo "Line In"; n >= 3 mono "Channel 1" .. "Channel n".
    virtual void RebuildPorts();

    // Where the master learns the current output driver's channel count (the driver manager
    // installs it at start-up; stereo until then).
    static void SetChannelCountSource(int32_t (*source)());
    static int32_t ChannelCount();
};

class CMasterInfo : public CSimpleMachineInfo<CMaster> {
public:
    explicit CMasterInfo(CVeskHost* host) : CSimpleMachineInfo(host, "Master", "Master") {}
};
