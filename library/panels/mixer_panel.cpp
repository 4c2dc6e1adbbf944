#include "library/panels/mixer_panel.h"

#include "gui/lite_button.h"
#include "gui/lite_knob.h"
#include "gui/lite_meter.h"
#include "gui/lite_slider.h"
#include "library/panels/caption.h"
#include "library/panels/stock_pictures.h"
#include "machines/mixer/mixer_panel_layout.h"

#include <QObject>
#include <QWidget>

#include <cmath>
#include <string>

namespace stock_panels {

using namespace mixer_panel;
namespace pictures = stock_pictures;

namespace {

// The meters' scale is the library's: 10·log10 of an amplitude; silence reads far below the
// meter's floor.
float PeakToDb(float peak) { return peak > 0.0f ? 10.0f * std::log10(peak) : -90.0f; }

} // namespace

CMixerStripPanel::CMixerStripPanel(CMixer* mixer, int32_t strip, gui::CControl* parent, int x)
    : m_mixer(mixer), m_strip(strip) {
    const gui::CPicture& background =
        pictures::Get(IsTrack() ? pictures::kMixerTrackStrip : pictures::kMixerAuxStrip);
    const std::string title = IsTrack() ? "TRACK " + std::to_string(strip + 1)
                                        : "AUX " + std::to_string(strip - mixer->TrackCount() + 1);
    Create(parent, title.c_str(), x, 0, background.Width(), background.Height(), &background);
    const int32_t first = FirstParameter();
    const gui::CPicture& knob = pictures::Get(pictures::kMixerKnob);
    m_mute = Add<gui::CLiteButton>(kMuteX, kMuteY, pictures::Get(pictures::kMixerMuteUp),
                                   pictures::Get(pictures::kMixerMuteUp + 1), pictures::Get(pictures::kMixerMuteUp + 2),
                                   gui::CLiteButton::Mode::kToggle);
    m_solo = Add<gui::CLiteButton>(kSoloX, kSoloY, pictures::Get(pictures::kMixerSoloUp),
                                   pictures::Get(pictures::kMixerSoloUp + 1), pictures::Get(pictures::kMixerSoloUp + 2),
                                   gui::CLiteButton::Mode::kToggle);
    if (IsTrack())
        for (const Place& p : kSendKnobs)
            m_controls[static_cast<size_t>(p.role)] =
                AddParameterControl<CWheelKnob>(p.x, p.y, kKnobSize, kKnobSize, knob, mixer, first + p.role);
    for (const Place& p : kBandKnobs)
        m_controls[static_cast<size_t>(p.role)] =
            AddParameterControl<CWheelKnob>(p.x, p.y, kKnobSize, kKnobSize, knob, mixer, first + p.role);
    const gui::CPicture& handle = pictures::Get(pictures::kMixerHandle);
    m_controls[kLevel] = AddParameterControl<CWheelSlider>(kLevelX, kLevelY, kLevelLength, gui::CLiteSlider::Orientation::kVertical,
                                               handle, nullptr, mixer, first + kLevel);
    m_controls[kBalance] = AddParameterControl<CWheelSlider>(kBalanceX, kBalanceY, kBalanceLength,
                                                 gui::CLiteSlider::Orientation::kHorizontal, handle, nullptr, mixer,
                                                 first + kBalance);
    m_meters[0] = Add<gui::CLiteMeter>(kLeftMeterX, kMeterY, kMeterWidth, kMeterHeight);
    m_meters[1] = Add<gui::CLiteMeter>(kRightMeterX, kMeterY, kMeterWidth, kMeterHeight);
    m_title = Add<CLiteCaption>(IsTrack() ? kTrackTitleX : kAuxTitleX, kTitleY, title, pictures::Get(pictures::kMixerFont));
    // A strip shows the machine's mute and solo as they are (a panel opened again).
    if (mixer->SoloStrip() == strip) m_solo->SetState(gui::CLiteButton::kLatched);
    ShowWith(gui::ShowCommand::kShow);
}

int32_t CMixerStripPanel::FirstParameter() const {
    return IsTrack() ? m_mixer->TrackParameter(m_strip) : m_mixer->AuxParameter(m_strip - m_mixer->TrackCount());
}

void CMixerStripPanel::LiteButtonClicked(gui::CLiteButton* button) {
    const bool pressed = button->State() == gui::CLiteButton::kLatched;
    if (button == m_mute) m_mixer->SetMute(m_strip, pressed);
    if (button == m_solo) m_mixer->SetSolo(m_strip, pressed);
}

CMixerPanel::CMixerPanel(CMixer* mixer, QWidget* parent) : m_mixer(mixer) {
    if (CMixerPanelLink* previous = mixer->PanelLink()) previous->ClosePanel();
    const int strips = mixer->TrackCount() + mixer->AuxCount();
    gui::CControl* parentControl = parent ? gui::CControl::FromWidget(parent) : nullptr;
    Create(parentControl, "Mixer", 0, 0, strips * kStripWidth, kStripHeight, false);
    if (parent && !parentControl) Widget()->setParent(parent);
    for (int s = 0; s < strips; ++s) m_strips.push_back(std::make_unique<CMixerStripPanel>(mixer, s, this, s * kStripWidth));
    // The window may go first (its parent window is deleted): the panel goes with it.
    m_windowGone = QObject::connect(Widget(), &QObject::destroyed, [this] { delete this; });
    {
        CMutexLock lock(*mixer);
        mixer->SetPanelLink(this);
    }
    ShowWith(gui::ShowCommand::kShow);
}

CMixerPanel::~CMixerPanel() {
    QObject::disconnect(m_windowGone);
    if (m_mixer) {
        CMutexLock lock(*m_mixer);
        if (m_mixer->PanelLink() == this) m_mixer->SetPanelLink(nullptr);
    }
    // The strips' windows are children of the panel's: the strips go first.
    m_strips.clear();
}

void CMixerPanel::MoveControl(int32_t index, float value) {
    const int32_t tracks = m_mixer->TrackCount();
    int32_t strip, role;
    if (index < 7 * tracks) {
        strip = index / 7;
        role = index % 7;
    } else {
        strip = tracks + (index - 7 * tracks) / 5;
        role = (index - 7 * tracks) % 5;
    }
    if (strip < 0 || strip >= StripCount()) return;
    if (gui::CLiteParameterControl* control = Strip(strip).Control(role)) control->SetValue(value);
}

void CMixerPanel::SetMeters(int32_t strip, float left, float right) {
    if (strip < 0 || strip >= StripCount()) return;
    Strip(strip).Meter(0)->SetLevel(PeakToDb(left));
    Strip(strip).Meter(1)->SetLevel(PeakToDb(right));
}

void CMixerPanel::ReleaseSolo(int32_t strip) {
    if (strip >= 0 && strip < StripCount()) Strip(strip).Solo()->SetState(gui::CLiteButton::kUp);
}

void CMixerPanel::ClosePanel() {
    // The machine forgets the panel (it is going, or replacing it), under its lock: the periodic
    // update on another thread may be reaching for the panel right now.
    {
        CMutexLock lock(*m_mixer);
        m_mixer->SetPanelLink(nullptr);
    }
    m_mixer = nullptr;
    delete this;
}

} // namespace stock_panels
