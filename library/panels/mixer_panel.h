// The Mixer panel: one strip panel per track and AUX bus side by side, tracks first. A strip has
// mute and solo buttons, send knobs (tracks), band knobs, a level fader, a balance slider, two
// level meters and its title, at the places of mixer_panel_layout.h.
//
// Threads: made, shown and closed on the user-interface thread, where the buttons call SetMute
// and SetSolo. MoveControl and SetMeters run on whichever thread changes a parameter or runs the
// machine's periodic update (machine locked) and only mark controls for the next repaint.
#pragma once

#include "gui/control.h"
#include "library/panels/skinned_panel.h"
#include "machines/mixer/mixer.h"

#include <QMetaObject>

#include <array>
#include <memory>
#include <vector>

namespace gui {
class CLiteButton;
class CLiteMeter;
class CLiteParameterControl;
} // namespace gui

namespace stock_panels {

class CLiteCaption;

class CMixerStripPanel : public CSkinnedPanel {
public:
    // Strip s of the mixer (tracks 0 .. T - 1, then the AUX buses); x is its place in the panel.
    CMixerStripPanel(CMixer* mixer, int32_t strip, gui::CControl* parent, int x);

    bool IsTrack() const { return m_strip < m_mixer->TrackCount(); }
    int32_t FirstParameter() const;
    // The knob or slider of a role (mixer_panel::Role), or null (sends on an AUX strip).
    gui::CLiteParameterControl* Control(int role) const { return m_controls[static_cast<size_t>(role)]; }
    gui::CLiteButton* Mute() const { return m_mute; }
    gui::CLiteButton* Solo() const { return m_solo; }
    gui::CLiteMeter* Meter(int channel) const { return m_meters[static_cast<size_t>(channel)]; }
    CLiteCaption* Title() const { return m_title; }

    void LiteButtonClicked(gui::CLiteButton* button) override;

private:
    CMixer* m_mixer;
    int32_t m_strip;
    std::array<gui::CLiteParameterControl*, 7> m_controls{};
    gui::CLiteButton* m_mute = nullptr;
    gui::CLiteButton* m_solo = nullptr;
    std::array<gui::CLiteMeter*, 2> m_meters{};
    CLiteCaption* m_title = nullptr;
};

class CMixerPanel : public gui::CControl, public CMixerPanelLink {
public:
    // Closes the machine's open panel first. The machine must outlive the panel or close it.
    CMixerPanel(CMixer* mixer, QWidget* parent);
    ~CMixerPanel() override;

    int StripCount() const { return static_cast<int>(m_strips.size()); }
    CMixerStripPanel& Strip(int strip) const { return *m_strips[static_cast<size_t>(strip)]; }

    void MoveControl(int32_t index, float value) override;
    void SetMeters(int32_t strip, float left, float right) override;
    void ReleaseSolo(int32_t strip) override;
    void ClosePanel() override;

private:
    CMixer* m_mixer;
    std::vector<std::unique_ptr<CMixerStripPanel>> m_strips;
    QMetaObject::Connection m_windowGone;
};

} // namespace stock_panels
