// The host machines inside the studio's processing cycle: an HD recorder track recording what
// flows through it, and the MIDI input feeding a machine's control input through a cable.
#include "engine/studio.h"
#include "host_machines/hd_recorder/hd_track.h"
#include "host_machines/hd_track_machine.h"
#include "host_machines/midi/midi_devices.h"
#include "host_machines/midi_machines.h"
#include "host_machines/wav/wav_file.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class COneInputBackend : public CMIDIBackend {
public:
    std::vector<PortInfo> InputPorts() override { return {{"Keys", "k"}}; }
    std::vector<PortInfo> OutputPorts() override { return {}; }
    int OpenInput(const PortInfo&, MIDIHook, void*, void** handle) override {
        *handle = this;
        return 0;
    }
    int StartInput(void*) override { return 0; }
    int CloseInput(void*) override { return 0; }
    int OpenOutput(const PortInfo&, void**) override { return 1; }
    int CloseOutput(void*) override { return 0; }
    int Send(void*, uint32_t, int64_t) override { return 1; }
};

} // namespace

TEST(HostMachinesInStudio, HDTrackRecordsWhatTheCycleRenders) {
    CStudioFixture fixture(256);
    CStudio& studio = *fixture.m_studio;
    auto* trackInfo = new CHDTrackMachineInfoStereo(fixture.m_host.get());
    fixture.m_host->RegisterMachine(trackInfo);
    CMachineContainer* master = studio.NewProject();
    CMachineContainer* tone = fixture.Add(fixture.m_tone);
    CStudioFixture::Machine(tone)->m_frequency = 1000.0;
    CStudioFixture::Machine(tone)->m_level = 1.0f;
    CMachineContainer* track = fixture.Add(trackInfo);
    ASSERT_TRUE(fixture.Cable(tone, track));
    ASSERT_TRUE(studio.Connect(track->FindConnector("Line Out"), master->FindConnector("Line In")));

    CHDTrack* row = static_cast<CHDTrackMachine*>(track->Machine())->Row();
    const fs::path path = fs::path(TAMBOREL_TEST_BINARY_DIR) / "studio_track.wav";
    row->ChooseFile(path.string(), kWavFormatPcm);
    row->SetVolume(0.5f);
    CHDTrackList::Studio().StartRecordSong();
    ASSERT_TRUE(row->IsRecording());
    float peak = 0.0f;
    for (int buffer = 0; buffer < 100; ++buffer) {
        fixture.Render(256);
        if (buffer >= 80)
            for (float sample : fixture.m_output[0])
                peak = std::max(peak, std::fabs(sample));
    }
    CHDTrackList::Studio().StopRecordSong();
    EXPECT_NEAR(peak, 0.5f, 0.02f); // the master has glided to full gain by now
    EXPECT_NEAR(row->PeakLeft(), 0.5f, 0.02f);

    // The file holds the track's signal (not the master's): a mono reading of the left channel
    // is not possible with this reader, so check the header and size.
    EXPECT_EQ(fs::file_size(path), 44u + 100u * 256u * 4u);
}

TEST(HostMachinesInStudio, MIDIInputFeedsAMachinesControlInput) {
    CStudioFixture fixture(256);
    CStudio& studio = *fixture.m_studio;
    std::vector<std::unique_ptr<CMIDIBackend>> backends;
    backends.push_back(std::make_unique<COneInputBackend>());
    CMIDIDeviceRegistry devices(std::move(backends));
    studio.NewProject();
    auto* midi = new CMIDIInput(fixture.m_host.get(), &devices);
    midi->m_counterFrequency = 0;
    CMIDIInputInfo info(fixture.m_host.get());
    CMachineContainer* input = studio.CreateFrame(midi, &info, "QX MIDI Input 1", 0, 0);
    CMachineContainer* sequenced = fixture.Add(fixture.m_sequenced);
    ASSERT_TRUE(studio.Connect(input->FindConnector("Control Out"), sequenced->FindConnector("Control In")));
    ASSERT_TRUE(fixture.Cable(sequenced, studio.MasterFrame()));
    midi->SelectDevice(0);
    devices.Input(0)->Deliver(0x90, 48, 127);
    fixture.Render(256);
    CControlBuffer* received = sequenced->FindConnector("Control In")->m_port->m_controlBuffer;
    ControlEvent event;
    ASSERT_TRUE(received->GetNextEvent(&event));
    EXPECT_EQ(event.kind, kEventNoteOn);
    EXPECT_EQ(event.index, 48);
    EXPECT_FLOAT_EQ(event.value, 1.0f);
    studio.DeleteMachine(input);
}
