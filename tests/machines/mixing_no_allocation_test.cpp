// DrumKit, Mixer and SpatialVerb render without touching the allocator once their event queues
// have reached their working set.
#include "machines/drumkit/drumkit.h"
#include "machines/mixer/mixer.h"
#include "machines/spatialverb/spatialverb.h"
#include "tests/support/machine_harness.h"

#include "tests/support/allocation_trap.h"

#include <gtest/gtest.h>

using namespace harness;

namespace {

// Renders blocks; `play` posts whatever events a block needs before the machine processes it.
template <typename Play> int AllocationsWhileRendering(Play play) {
    for (int block = 0; block < 40; ++block)
        play(block);
    allocation_trap::Arm();
    for (int block = 40; block < 240; ++block)
        play(block);
    return allocation_trap::Disarm();
}

} // namespace

TEST(NoAllocation, DrumKitMixerAndSpatialVerbRenderWithoutAllocating) {
    TestHost host;
    CDrumKit* kit = new CDrumKit(&host.host);
    EXPECT_EQ(AllocationsWhileRendering([&](int block) {
                  Send(*kit, 0, Event(kEventTriggerOn, block % 200, block % 11));
                  Send(*kit, 0, Event(kEventNoteOn, 31, 36 + block % 24));
                  Send(*kit, 0, Event(kEventNoteOff, 60, 36));
                  if (block % 4 == 0) Send(*kit, 0, Event(kEventParameter, 0, block % 38, 0.3f));
                  kit->Process();
              }),
              0);
    kit->Delete();

    CMixer* mixer = new CMixer(&host.host, 8, 2);
    EXPECT_EQ(AllocationsWhileRendering([&](int block) {
                  mixer->SetSolo(block % 10, block % 3 == 0);
                  mixer->SetParameter(block % 66, 0.7f);
                  mixer->Process();
                  mixer->ProcessLate();
              }),
              0);
    mixer->Delete();

    CSpatialVerb* verb = new CSpatialVerb(&host.host);
    verb->SetParameter(CSpatialVerb::kRoomWidth, 0.1f);
    verb->SetParameter(CSpatialVerb::kWallAbsorb, 0.0f);
    verb->UpdateGUI(); // a small hard room: more taps than the default
    EXPECT_EQ(AllocationsWhileRendering([&](int block) {
                  if (block == 40) verb->SetParameter(CSpatialVerb::kFeedback, 0.9f);
                  verb->Process();
              }),
              0);
    verb->Delete();
}
