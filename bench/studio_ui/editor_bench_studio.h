// What the editor pages' benchmarks share: a studio whose one machine type has a control input
// (so the pattern editor lists it and the song gives it a row), with its sequencer, project,
// undo history and a window for the page. Each benchmark adds its machines, patterns and page.
#pragma once

#include "engine/master.h"
#include "engine/studio.h"
#include "gui/window.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "persistence/project_file.h"
#include "sequencer/sequencer.h"
#include "studio_ui/undo/edit_snapshots.h"
#include "studio_ui/undo/undo_stack.h"

#include <memory>

namespace editor_bench {

// A machine with one control input and a stereo output that makes no sound.
class CControlled : public CMachine {
public:
    explicit CControlled(CVeskHost* host) : CMachine(host) {
        AddPort(kPortControlIn, "Control In");
        AddPort(kPortStereoOut, "Out");
    }
    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return true; }
};

struct CEditorStudio {
    CEditorStudio() {
        registry = std::make_unique<MachineRegistry>();
        host = std::make_unique<CVeskHost>(44100, 256, 0x16, registry.get());
        host->RegisterMachine(new CMasterInfo(host.get()));
        info = new CSimpleMachineInfo<CControlled>(host.get(), "Controlled", "Controlled");
        host->RegisterMachine(info);
        sequencer = std::make_unique<CSequencer>(host.get());
        studio = std::make_unique<CStudio>(host.get());
        studio->AttachSequencer(sequencer.get());
        project = std::make_unique<CProject>(studio.get(), sequencer.get());
        context = std::make_unique<UndoContext>(UndoContext{*studio, *sequencer, *project});
    }

    // Destroyed in reverse: the window and history, then the project, the studio (its machines
    // telling the sequencer), the sequencer, the host.
    std::unique_ptr<MachineRegistry> registry;
    std::unique_ptr<CVeskHost> host;
    CMachineInfo* info = nullptr;
    std::unique_ptr<CSequencer> sequencer;
    std::unique_ptr<CStudio> studio;
    std::unique_ptr<CProject> project;
    std::unique_ptr<UndoContext> context;
    CUndoStack undo;
    gui::CWindow window;
};

} // namespace editor_bench
