// A studio with the master, every built-in machine of the library and the sequencer attached,
// for the reliability tests: BuildSong cables the machines into the master (generators also
// through each effect) and gives each machine with a control input a pattern with notes and a
// control track, placed twice in a looping song.
#pragma once

#include "engine/master.h"
#include "engine/studio.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "machines/stock_machines.h"
#include "sequencer/sequencer.h"

#include <memory>
#include <vector>

namespace song_studio {

inline int32_t StereoChannels() {
    return 2;
}

// Connectors of a frame by direction and kind.
inline std::vector<CConnector*> Connectors(CMachineContainer* frame, bool input, bool audio) {
    std::vector<CConnector*> found;
    for (int32_t c = 0; c < frame->ConnectorCount(); ++c) {
        CPort* port = frame->Connector(c)->m_port;
        if (port->IsInput() == input && port->IsAudio() == audio) found.push_back(frame->Connector(c));
    }
    return found;
}

struct Studio {
    explicit Studio(int32_t bufferSize = 256) {
        CMaster::SetChannelCountSource(StereoChannels);
        host = std::make_unique<CVeskHost>(44100, bufferSize, 0x16, &registry);
        host->RegisterMachine(new CMasterInfo(host.get()));
        RegisterStockMachines(host.get());
        studio = std::make_unique<CStudio>(host.get());
        sequencer = std::make_unique<CSequencer>(host.get());
        studio->AttachSequencer(sequencer.get());
        master = studio->NewProject();
        channels = {left.data(), right.data()};
    }
    ~Studio() {
        studio.reset();
        sequencer.reset();
        CMaster::SetChannelCountSource(nullptr);
    }

    // One of every machine the add-machine menu offers, cabled and sequenced.
    void BuildSong() {
        std::vector<CMachineContainer*> generators, effects;
        for (CMachineInfo* info : registry.AddableMachines()) {
            CMachineContainer* frame = studio->AddMachine(info, 0, 0);
            frames.push_back(frame);
            (frame->Machine()->IsGenerator() ? generators : effects).push_back(frame);
        }
        CConnector* masterIn = Connectors(master, true, true).at(0);
        for (CMachineContainer* frame : frames)
            for (CConnector* out : Connectors(frame, false, true))
                if (!out->m_port->IsSendReturn()) studio->Connect(out, masterIn, 0.3f);
        for (CMachineContainer* generator : generators)
            for (CMachineContainer* effect : effects)
                for (CConnector* out : Connectors(generator, false, true))
                    for (CConnector* in : Connectors(effect, true, true))
                        studio->Connect(out, in, 0.5f);
        CPatternEditor& patterns = sequencer->Patterns();
        CSequenceEditor& song = sequencer->Song();
        for (CMachineContainer* frame : frames) {
            for (CConnector* in : Connectors(frame, true, false)) {
                CMachine* machine = frame->Machine();
                const int32_t notes = machine->m_namedNoteCount > 0 ? machine->m_namedNoteCount : 128;
                Pattern* pattern = patterns.CreatePattern(in->m_port, 4);
                if (!pattern) continue;
                for (int32_t step = 0; step < 16; step += 3)
                    pattern->AddNote(step, 2, (36 + 7 * step) % notes);
                if (machine->m_parameterCount > 0) {
                    const int32_t track = pattern->AddControlTrack(machine->m_parameterCount / 2);
                    for (int32_t step = 0; step < 16; step += 4)
                        pattern->SetControlStep(track, step, 0.2f + 0.04f * static_cast<float>(step));
                }
                const int32_t velocity = pattern->AddControlTrack(-1);
                pattern->SetControlStep(velocity, 5, 0.9f);
                song.PlacePattern(pattern, 0);
                song.PlacePattern(pattern, 4);
                if (!patternPlayed) {
                    patterns.SelectMachine(machine);
                    patterns.SelectPattern(0);
                    patternPlayed = pattern;
                }
            }
        }
        song.SetLength(8);
        song.SetLoop(true);
    }

    void Play() {
        sequencer->Song().PlaySong();
        sequencer->Patterns().SetLoopPattern(true);
        sequencer->Patterns().SetPlayPattern(true);
    }
    void Render() { studio->Render(2, channels.data(), host->GetBufferSize()); }

    MachineRegistry registry;
    std::unique_ptr<CVeskHost> host;
    std::unique_ptr<CStudio> studio;
    std::unique_ptr<CSequencer> sequencer;
    CMachineContainer* master = nullptr;
    std::vector<CMachineContainer*> frames;
    Pattern* patternPlayed = nullptr;
    std::vector<float> left = std::vector<float>(8192), right = std::vector<float>(8192);
    std::vector<float*> channels;
};

} // namespace song_studio
