// QX SpatialVerb (CSpatialVerb): a stereo room reverb on a geometric model. The room is a
// rectangle seen from above; the input channels are two sources in it and the outputs two
// listening points. Early reflections come from mirror-image sources played through one sparse
// multi-tap line per input; a four-line feedback network adds the late tail.
//
// Parameter changes only mark the model dirty. The expensive rebuild runs in the periodic update
// (UpdateGUI, graphics thread, machine locked), and new early taps are crossfaded in, so a burst
// of changes costs one rebuild and no click. Before the first buffer (a project being loaded) a
// change rebuilds at once instead: the song then starts in its own room whenever the first
// periodic update comes, so the sound does not depend on the buffer size.
//
// Threads: Process on the worker thread under the machine lock; SetParameter on the user-interface
// thread (or the worker for parameter events); UpdateGUI on the graphics thread, locking itself.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/panel_factory.h"
#include "machines/spatialverb/room_model.h"

#include <atomic>
#include <memory>
#include <vector>

// What an open SpatialVerb panel offers the machine (implemented by the panel, not owned).
// MoveControl and the refreshes run on whichever thread changes a parameter or runs the periodic
// update, with the machine locked; they only store state and mark the panel for its next repaint.
class CSpatialVerbPanelLink {
public:
    virtual ~CSpatialVerbPanelLink() = default;
    virtual void MoveControl(int32_t index, float value) = 0;
    // User-interface thread.
    virtual void ShowText(const char* text) = 0;
    // The room view and the early response after a geometry or listening-point change.
    virtual void RefreshRoom() = 0;
    virtual void RefreshEarly() = 0;
    // The late response after a Feedback, Gain or Cutoff change.
    virtual void RefreshLate() = 0;
    // The machine is deleted or makes a new panel: the panel goes (user-interface thread).
    virtual void ClosePanel() {}
};

class CSpatialVerb : public CMachine {
public:
    // Its own panel, made by the panel factory of this module (none headless).
    WindowHandle CreateGUI(WindowHandle parent) override {
        return machine_panels::Create(this, "QX SpatialVerb", parent);
    }
    static constexpr int32_t kParameterCount = 14;
    static constexpr int32_t kProgramCount = 128;
    static constexpr float kWindow = 0.075f; // seconds of early reflections

    enum Parameter : int32_t {
        kSrcLeftX,
        kSrcLeftY,
        kSrcRightX,
        kSrcRightY,
        kDstLeftX,
        kDstLeftY,
        kDstRightX,
        kDstRightY,
        kRoomWidth,
        kRoomHeight,
        kWallAbsorb,
        kFeedback,
        kCutoff,
        kGain,
    };

    explicit CSpatialVerb(CVeskHost* host);
    ~CSpatialVerb() override;

    void Delete() override { delete this; }
    void Process() override;
    float GetParameter(int32_t index) override;
    void SetParameter(int32_t index, float value) override;
    void GetParameterName(int32_t index, char* text) override;
    void FormatParameter(int32_t index, float value, char* text) override;
    void UpdateGUI() override;
    void OnGUIShown() override;
    void SetSampleRate(int32_t rate) override;
    void SetBufferSize(int32_t frames) override;
    bool IsGenerator() override { return false; }

    // The panel background's size (spatialverb_panel_layout.h).
    bool GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) override;

    // The open panel (null when closed); the panel registers itself and is not owned.
    void SetPanelLink(CSpatialVerbPanelLink* link) { m_panel = link; }
    CSpatialVerbPanelLink* PanelLink() const { return m_panel; }

    // The model, for the panel's displays and for diagnostics.
    int32_t TapCount() const { return m_tapCount; } // N, samples in the early window
    const RoomGeometry& Geometry() const { return m_geometry; }
    const CImageSourceTree& Tree(int32_t source) const { return m_trees[source]; }
    const CEarlyTapLine& TapLine(int32_t input) const { return *m_lines[input]; }
    const CLateReverb& Late() const { return *m_late; }
    int64_t TreeBuilds() const { return m_treeBuilds; }
    int64_t TapBuilds() const { return m_tapBuilds; }
    // Per-delay early gains (mean of both lines, each delay's A and B summed), N values.
    std::vector<float> EarlyResponse() const;
    // A copy of the late reverb fed a unit impulse on both inputs for 3N samples; the mean of the
    // absolute outputs from sample N on.
    std::vector<float> LateResponse() const;

private:
    void ComputeGeometry();
    void ComputeListeners();
    void BuildTrees();
    void BuildTaps();
    void ApplyLate();
    // Rebuilds what the dirty flags name and refreshes the panel. Machine locked.
    void ApplyChanges();
    float CutoffHz(float v) const;

    float m_values[kParameterCount] = {};
    int32_t m_sampleRate;
    int32_t m_blockSize;
    int32_t m_tapCount;
    RoomGeometry m_geometry;
    CImageSourceTree m_trees[2];
    std::unique_ptr<CEarlyTapLine> m_lines[2];
    std::unique_ptr<CLateReverb> m_late;
    std::vector<float> m_blocks[6]; // per-block scratch: early A/B and feed per line
    std::atomic<bool> m_processed{false}; // a buffer has been rendered
    std::atomic<bool> m_panelDirty{false}, m_geometryDirty{false}, m_listenersDirty{false},
        m_lateDirty{false};
    int64_t m_treeBuilds = 0;
    int64_t m_tapBuilds = 0;
    CSpatialVerbPanelLink* m_panel = nullptr;
};

class CSpatialVerbInfo : public CSimpleMachineInfo<CSpatialVerb> {
public:
    explicit CSpatialVerbInfo(CVeskHost* host)
        : CSimpleMachineInfo<CSpatialVerb>(host, "QX SpatialVerb", "VeskPlug::QX SpatialVerb") {}
};
