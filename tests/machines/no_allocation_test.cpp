// Rendering never allocates: every machine of the library renders buffers with notes and parameter
// changes while the global allocator counts.
#include "machines/antialias/antialias_filter.h"
#include "machines/basshead/basshead.h"
#include "machines/quaddelay/echo.h"
#include "machines/stomp/kick.h"
#include "tests/support/allocation_trap.h"
#include "tests/support/machine_harness.h"
#include "tests/support/allocation_probe.h"

#include <gtest/gtest.h>

using namespace harness;

namespace {

// Renders blocks with a note on and off every few blocks and a parameter change now and then.
int AllocationsWhileRendering(CMachine& machine, bool notes, int blocks) {
    auto play = [&](int block) {
        if (notes && block % 3 == 0) Send(machine, Note(kEventNoteOn, block % 200, 40 + block % 12));
        if (notes && block % 3 == 1) Send(machine, Note(kEventNoteOff, 17, 40 + (block - 1) % 12));
        ControlEvent change{};
        change.kind = kEventParameter;
        change.index = 1;
        change.value = 0.3f + 0.01f * static_cast<float>(block % 10);
        if (notes && block % 5 == 0) Send(machine, change);
        machine.Process();
    };
    for (int block = 0; block < 30; ++block)
        play(block); // event nodes reach their working set
    allocation_trap::Arm();
    for (int block = 30; block < 30 + blocks; ++block)
        play(block);
    return allocation_trap::Disarm();
}

} // namespace

TEST(NoAllocation, MachinesRenderWithoutTouchingTheAllocator) {
    // The trap itself counts.
    allocation_trap::Arm();
    allocation_probe::NewAndDelete();
    ASSERT_EQ(allocation_trap::Disarm(), 1);

    CVeskHost host(kRate, kBlock, 0x16, nullptr);
    MachinePtr<CBassHead> bass(new CBassHead(&host));
    // Everything the voice can do: sync, formant, ring, noise, drive, glide, LFOs to every stage.
    for (const auto& [index, value] : {std::pair{23, 1.0f},
                                       {34, 0.5f},
                                       {35, 0.5f},
                                       {39, 0.3f},
                                       {40, 0.3f},
                                       {41, 0.3f},
                                       {42, 0.3f},
                                       {44, 0.3f},
                                       {47, 0.7f},
                                       {49, 0.5f},
                                       {51, 0.7f},
                                       {53, 0.9f},
                                       {56, 0.9f},
                                       {58, 0.8f},
                                       {60, 1.0f}}) {
        bass->SetParameter(index, value);
    }
    EXPECT_EQ(AllocationsWhileRendering(*bass, true, 200), 0);
    MachinePtr<CKick> kick(new CKick(&host));
    EXPECT_EQ(AllocationsWhileRendering(*kick, true, 200), 0);
    MachinePtr<CEcho> echo(new CEcho(&host));
    EXPECT_EQ(AllocationsWhileRendering(*echo, false, 50), 0);
    MachinePtr<CAntiAliasFilter> antiAlias(new CAntiAliasFilter(&host));
    antiAlias->SetParameter(0, 1.0f);
    EXPECT_EQ(AllocationsWhileRendering(*antiAlias, false, 20), 0);
}
