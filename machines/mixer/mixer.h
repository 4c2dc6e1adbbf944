// QX Mixer (CMixer): a stereo mixing desk of T track strips and A AUX buses (8 and 2 in the shipped
// descriptor). Every strip has a level fader, a balance, a three-band equaliser, mute and solo;
// every track feeds the AUX sends. Process (first pass) mixes the tracks into "Output" and fills
// the "AUX n Out" sends; the host then runs the effects on the sends and mixes their outputs into
// the "AUX n In" returns, and ProcessLate (second pass) equalises the returns into "Output".
//
// Threads: Process, ProcessLate and the parameter operations run under the machine lock the host
// holds; SetMute and SetSolo come from the panel on the user-interface thread (single flag writes,
// read once per block). UpdateGUI reads the peaks on the graphics thread.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/panel_factory.h"

#include <atomic>
#include <memory>
#include <vector>

// One channel (left or right) of a strip: a three-band crossover built from two four-pole one-pole
// low-pass chains (880 Hz and 5000 Hz), smoothed band gains, a smoothed main gain and, on track
// strips, two smoothed AUX send gains.
class CMixerChannel {
public:
    CMixerChannel(double lowCrossover, double highCrossover, int32_t sampleRate);

    // Recomputes the coefficients for the sample rate and clears the filter state.
    void SetSampleRate(int32_t sampleRate);
    void SetBandGains(float low, float mid, float high) {
        m_bandTarget[0] = low;
        m_bandTarget[1] = mid;
        m_bandTarget[2] = high;
    }
    // Runs count samples of in through the strip: main += gain·y, aux1 += send1·y, aux2 += send2·y
    // (aux pointers null where there is no such send, as on AUX strips). Returns the block's post-fader peak.
    float Process(const float* in, float* main, float* aux1, float* aux2, int32_t count, float gain,
                  float send1, float send2);

    // True when one more sample of +0 input would leave the channel as it is (the main gain at
    // gain, the band gains at their targets, the crossover at rest); from then on a silent block
    // adds one constant per buffer and costs no filtering.
    bool IsSettled(float gain) const;

    // A strip's two channels at once (pointers and gains indexed by channel), the same samples as
    // two Process calls: the channels' filter chains step side by side, so each sample waits for
    // one chain's latency instead of two. Peaks into peak[0] and peak[1].
    static void ProcessStereo(CMixerChannel* channel[2], const float* const in[2], float* const main[2],
                              float* const aux1[2], float* const aux2[2], int32_t count, const float gain[2],
                              float send1, float send2, float peak[2]);

    // One strip's block for ProcessStrips: as ProcessStereo's arguments.
    struct StripIo {
        CMixerChannel* channel[2];
        const float* in[2];
        float* main[2];
        float* aux1[2];
        float* aux2[2];
        float gain[2];
        float send1, send2;
        int32_t count;
        float* peak;
    };
    // Strip after strip, the same samples as ProcessStereo on each in order; two neighbouring
    // strips on the vector path run side by side.
    static void ProcessStrips(const StripIo* strips, int32_t stripCount);

private:
    // True when the strip takes the vector path (neither channel at rest, one crossover).
    static bool StereoPathFits(const StripIo& strip);
    // The strip's two channels through Process, one after the other.
    static void ProcessApart(const StripIo& strip);
    template <int S> static void ProcessLanes(const StripIo* const* strips);

    // True when a block of in takes the constant path of Process.
    bool Rests(const float* in, int32_t count, bool aux1, bool aux2, float gain, float send1,
               float send2) const;

    double m_lowCrossover, m_highCrossover;
    double m_k1 = 0, m_k2 = 0;
    double m_l[4] = {}, m_h[4] = {};
    double m_d1 = 0, m_d2 = 0, m_d3 = 0;
    float m_bandTarget[3] = {1, 1, 1};
    float m_band[3] = {1, 1, 1};
    float m_gain = 1.0f;
    float m_send1 = 0.0f, m_send2 = 0.0f;
};

// What an open Mixer panel offers the machine (implemented by the panel, not owned).
class CMixerPanelLink {
public:
    virtual ~CMixerPanelLink() = default;
    // Moves the control of parameter index on its strip panel.
    virtual void MoveControl(int32_t index, float value) = 0;
    // Feeds a strip's two meters with its last block's peaks.
    virtual void SetMeters(int32_t strip, float left, float right) = 0;
    // Releases a strip's solo button.
    virtual void ReleaseSolo(int32_t strip) = 0;
    // The machine is deleted or makes a new panel: the panel goes (UI thread).
    virtual void ClosePanel() {}
};

class CMixer : public CMachine {
public:
    // Its own panel, made by the panel factory of this module (none headless).
    WindowHandle CreateGUI(WindowHandle parent) override {
        return machine_panels::Create(this, "QX Mixer", parent);
    }
    CMixer(CVeskHost* host, int32_t tracks, int32_t auxBuses);
    ~CMixer() override;

    void Delete() override { delete this; }
    void Process() override;
    void ProcessLate() override;
    float GetParameter(int32_t index) override;
    void SetParameter(int32_t index, float value) override;
    void GetParameterName(int32_t index, char* text) override;
    void FormatParameter(int32_t index, float value, char* text) override;
    void SetSampleRate(int32_t rate) override;
    void SetBufferSize(int32_t frames) override;
    void UpdateGUI() override;
    // The panel's size: one strip background per strip, side by side (mixer_panel_layout.h).
    bool GetGUIRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) override;
    bool IsGenerator() override { return false; }

    // The panel's own operations: strip 0 .. T + A − 1 (tracks, then AUX buses).
    virtual void SetMute(int32_t strip, bool mute);
    virtual void SetSolo(int32_t strip, bool on);

    int32_t TrackCount() const { return m_tracks; }
    int32_t AuxCount() const { return m_auxBuses; }
    int32_t SoloStrip() const { return m_solo.load(std::memory_order_relaxed); }
    // The strip's post-fader peak of the last block; channel 0 left, 1 right.
    float Peak(int32_t strip, int32_t channel) const { return m_strips[strip].peak[channel]; }
    // First parameter of track t (0-based) and of AUX bus a (0-based).
    int32_t TrackParameter(int32_t t) const { return 7 * t; }
    int32_t AuxParameter(int32_t a) const { return 7 * m_tracks + 5 * a; }
    void SetPanelLink(CMixerPanelLink* link) { m_panel = link; }
    CMixerPanelLink* PanelLink() const { return m_panel; }

private:
    struct Strip {
        std::unique_ptr<CMixerChannel> channel[2];
        std::atomic<bool> mute{false};
        float peak[2] = {0.0f, 0.0f};
    };
    void ApplyBands(int32_t strip);
    int32_t BlockLength() const;

    int32_t m_tracks;
    int32_t m_auxBuses;
    int32_t m_blockSize;
    std::vector<float> m_values;
    std::unique_ptr<Strip[]> m_strips;
    std::vector<CMixerChannel::StripIo> m_io; // one per strip, filled for each pass
    std::atomic<int32_t> m_solo{-1};
    CMixerPanelLink* m_panel = nullptr;
};

class CMixerInfo : public CMachineInfo {
public:
    explicit CMixerInfo(CVeskHost* host)
        : CMachineInfo("QX Mixer", "VeskPlug::QX Mixer-Stereo-8-2"), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CMixer(m_host, 8, 2); }

private:
    CVeskHost* m_host;
};
