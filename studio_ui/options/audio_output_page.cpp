#include "studio_ui/options/audio_output_page.h"

#include "audio_out/asio_driver.h"
#include "audio_out/driver_manager.h"
#include "audio_out/sample_format.h"
#include "audio_out/wave_out_driver.h"
#include "gui/color_manager.h"
#include "gui/dialog_service.h"
#include "persistence/options_file.h"

#include <QComboBox>

#include <algorithm>

namespace options {

namespace {
// The rows of the panels: caption column, field column, row pitch.
constexpr int kCaptionX = 12;
constexpr int kCaptionWidth = 64;
constexpr int kFieldX = 84;
constexpr int kRowHeight = 24;
constexpr int kRowPitch = 34;
constexpr int kReadoutWidth = 124;

QString FormatLabel(int32_t code) {
    return QString::fromStdString(audio_format::WaveFormatText(code));
}
QString RateLabel(int32_t rate) {
    return QString::asprintf("%0.1fkHz", rate / 1000.0);
}
} // namespace

// ---- Wave Out ----

CWaveOutPanel::CWaveOutPanel(CWaveOutDriver& driver, Options& options)
    : m_driver(driver), m_options(options) {}

void CWaveOutPanel::Build(gui::CControl* parent, int x, int y, int width, int height) {
    CreateFrame(parent, "Wave Out Options", x, y, width, height);
    const int top = ContentTop() + 10;
    const int fieldWidth = width - kFieldX - 14;
    m_deviceCaption.CreateLabel(this, "Device:", kCaptionX, top, kCaptionWidth, kRowHeight);
    m_device.CreateComboBox(this, kFieldX, top, fieldWidth, kRowHeight);
    m_formatCaption.CreateLabel(this, "Format:", kCaptionX, top + kRowPitch, kCaptionWidth, kRowHeight);
    m_format.CreateComboBox(this, kFieldX, top + kRowPitch, fieldWidth, kRowHeight);
    m_latencyCaption.CreateLabel(this, "Latency:", kCaptionX, top + 2 * kRowPitch, kCaptionWidth, kRowHeight);
    const int sliderWidth = fieldWidth - kReadoutWidth - 8;
    m_latencySlider.Create(this, "LatencySlider", kFieldX, top + 2 * kRowPitch, sliderWidth, kRowHeight,
                           gui::CSlider::Orientation::kHorizontal);
    m_latencyLabel.CreateLabel(this, "", kFieldX + sliderWidth + 8, top + 2 * kRowPitch, kReadoutWidth,
                               kRowHeight);
    m_delayNote.CreateLabel(this, "", kFieldX, top + 3 * kRowPitch - 6, fieldWidth, kRowHeight);
    m_delayNote.SetTextSlot(gui::kSlotDisabledText);
    for (gui::CControl* control : std::initializer_list<gui::CControl*>{
             &m_deviceCaption, &m_device, &m_formatCaption, &m_format, &m_latencyCaption, &m_latencySlider,
             &m_latencyLabel, &m_delayNote})
        control->Show();
    Reload();
}

void CWaveOutPanel::Reload() {
    m_chosenDevice = m_driver.CurrentDevice();
    m_chosenFormat = m_driver.CurrentFormat();
    m_chosenLatency = m_driver.CurrentLatency();
    m_device.Clear();
    for (int32_t i = 0; i < m_driver.DeviceCount(); ++i) {
        const CWaveOutDriver::Device& device = m_driver.DeviceAt(i);
        QString name = QString::fromStdString(device.name);
        if (!device.soundCard) name += " (no sound card)";
        m_device.AddEntry(name);
    }
    m_device.SetSelection(m_chosenDevice);
    m_device.SetEnabled(m_driver.DeviceCount() > 0);
    FillFormats();
    m_latencySlider.SetValue(audio_format::SliderFromLatency(m_chosenLatency));
    ShowLatency();
}

void CWaveOutPanel::FillFormats() {
    m_format.Clear();
    m_formatCodes.clear();
    const int32_t supported = m_chosenDevice >= 0 && m_chosenDevice < m_driver.DeviceCount()
                                  ? m_driver.DeviceAt(m_chosenDevice).formats
                                  : 0;
    for (int bit = 0; bit < 20; ++bit) {
        const int32_t code = int32_t{1} << bit;
        if (!(supported & code)) continue;
        m_formatCodes.push_back(code);
        m_format.AddEntry(FormatLabel(code));
    }
    const auto kept = std::find(m_formatCodes.begin(), m_formatCodes.end(), m_chosenFormat);
    if (kept != m_formatCodes.end()) {
        m_format.SetSelection(static_cast<int>(kept - m_formatCodes.begin()));
    } else if (!m_formatCodes.empty()) {
        m_chosenFormat = m_formatCodes.front();
        m_format.SetSelection(0);
    }
    m_format.SetEnabled(!m_formatCodes.empty());
}

void CWaveOutPanel::ShowLatency() {
    m_latencyLabel.SetText(QString::asprintf("Latency: %ims", m_chosenLatency));
    // Two buffers are in flight: one playing, one being filled.
    m_delayNote.SetText(
        QString::asprintf("You hear a change about %i ms after you make it.", 2 * m_chosenLatency));
}

void CWaveOutPanel::ComboChanged(gui::CComboBox* combo) {
    if (combo == &m_device) {
        m_chosenDevice = m_device.Selection();
        m_options.waveOutDevice = m_chosenDevice;
        FillFormats();
        m_options.waveOutFormat = m_chosenFormat;
    } else if (combo == &m_format) {
        const int index = m_format.Selection();
        if (index < 0 || index >= static_cast<int>(m_formatCodes.size())) return;
        m_chosenFormat = m_formatCodes[static_cast<size_t>(index)];
        m_options.waveOutFormat = m_chosenFormat;
    } else {
        return;
    }
    ReportUserChange();
}

void CWaveOutPanel::ChildChanged(gui::CControl* child) {
    if (child != &m_latencySlider) return;
    const int32_t latency = audio_format::LatencyFromSlider(m_latencySlider.Value());
    if (latency == m_chosenLatency) return;
    m_chosenLatency = latency;
    m_options.waveOutLatency = latency;
    ShowLatency();
    ReportUserChange();
}

bool CWaveOutPanel::Apply() {
    const bool changed = m_chosenDevice != m_driver.CurrentDevice() ||
                         m_chosenFormat != m_driver.CurrentFormat() ||
                         m_chosenLatency != m_driver.CurrentLatency();
    if (!changed) return false;
    if (m_chosenDevice >= 0) m_driver.SetDevice(m_chosenDevice);
    m_driver.SetFormat(m_chosenFormat);
    m_driver.SetLatency(m_chosenLatency);
    return true;
}

// ---- ASIO (JACK) ----

CAsioPanel::CAsioPanel(CASIODriver& driver, Options& options) : m_driver(driver), m_options(options) {}

void CAsioPanel::Build(gui::CControl* parent, int x, int y, int width, int height) {
    CreateFrame(parent, "ASIO Out Options", x, y, width, height);
    const int top = ContentTop() + 10;
    const int fieldWidth = width - kFieldX - 14;
    m_deviceCaption.CreateLabel(this, "Device:", kCaptionX, top, kCaptionWidth, kRowHeight);
    m_device.CreateComboBox(this, kFieldX, top, fieldWidth, kRowHeight);
    m_formatCaption.CreateLabel(this, "Format:", kCaptionX, top + kRowPitch, kCaptionWidth, kRowHeight);
    m_format.CreateComboBox(this, kFieldX, top + kRowPitch, 120, kRowHeight);
    m_channels.CreateLabel(this, "", kFieldX + 136, top + kRowPitch, fieldWidth - 136, kRowHeight);
    m_bufferCaption.CreateLabel(this, "Buffer:", kCaptionX, top + 2 * kRowPitch, kCaptionWidth, kRowHeight);
    m_buffer.CreateLabel(this, "", kFieldX, top + 2 * kRowPitch, fieldWidth, kRowHeight);
    m_note.CreateLabel(this, "", kCaptionX, top + 3 * kRowPitch, width - 2 * kCaptionX, 20);
    m_note2.CreateLabel(this, "", kCaptionX, top + 3 * kRowPitch + 18, width - 2 * kCaptionX, 20);
    m_note.SetTextSlot(gui::kSlotDisabledText);
    m_note2.SetTextSlot(gui::kSlotDisabledText);
    // The rate is the server's: the box shows it but offers no other.
    m_format.SetEnabled(false);
    for (gui::CControl* control :
         std::initializer_list<gui::CControl*>{&m_deviceCaption, &m_device, &m_formatCaption, &m_format,
                                               &m_channels, &m_bufferCaption, &m_buffer, &m_note, &m_note2})
        control->Show();
    Reload();
}

void CAsioPanel::Reload() {
    m_device.Clear();
    for (int32_t i = 0; i < m_driver.DriverCount(); ++i)
        m_device.AddEntry(QString::fromStdString(m_driver.DriverAt(i).name));
    const int32_t stored = m_options.asioDevice;
    m_device.SetSelection(stored >= 0 && stored < m_driver.DriverCount() ? stored : m_driver.CurrentDriver());
    m_device.SetEnabled(m_driver.DriverCount() > 0);
    ShowServer();
}

void CAsioPanel::ShowServer() {
    m_format.Clear();
    const int index = m_device.Selection();
    const bool server = index >= 0 && index < m_driver.DriverCount();
    // Without a server there is no rate, channel count or buffer to show: the note takes their place.
    for (gui::CControl* control : std::initializer_list<gui::CControl*>{
             &m_formatCaption, &m_format, &m_channels, &m_bufferCaption, &m_buffer})
        control->ShowWith(server ? gui::ShowCommand::kShow : gui::ShowCommand::kHide);
    const int noteY = server ? m_bufferCaption.Y() + kRowPitch : m_formatCaption.Y() + 4;
    m_note.Move(kCaptionX, noteY);
    m_note2.Move(kCaptionX, noteY + 18);
    if (!server) {
        m_note.SetText("No JACK server was running when Tamborel started.");
        m_note2.SetText("Start the JACK server, then restart Tamborel to play through it.");
        return;
    }
    const CASIODriver::DriverRecord& record = m_driver.DriverAt(index);
    for (int j = 0; j < 6; ++j)
        if (record.rateMask & (1 << j)) m_format.AddEntry(RateLabel(audio_format::kAsioRates[j]));
    if (m_format.Count() == 0) m_format.AddEntry(RateLabel(record.currentRate));
    m_format.SetSelection(0);
    m_channels.SetText(QString::asprintf("Channels: %i", record.outputChannels));
    // The period is fixed by the server (minimum = maximum): there is nothing to slide.
    const int32_t size = index == m_driver.CurrentDriver() && m_driver.GetBufferSize() > 0
                             ? m_driver.GetBufferSize()
                             : audio_format::InitialBufferSize(record.preferredSize, record.maximumSize);
    m_buffer.SetText(QString::asprintf("Buffer Size: %i Samples", size));
    m_note.SetText("The JACK server sets the sample rate and the buffer size.");
    m_note2.SetText("Change them in the server's own settings; Tamborel follows them.");
}

void CAsioPanel::ComboChanged(gui::CComboBox* combo) {
    if (combo != &m_device) return;
    m_options.asioDevice = std::max(m_device.Selection(), 0);
    ShowServer();
    ReportUserChange();
}

bool CAsioPanel::Apply() {
    if (m_device.Selection() >= 0) m_options.asioDevice = m_device.Selection();
    return true;
}

// ---- the page ----

CAudioOutputPage::CAudioOutputPage(Options& options, COutputDriverManager* drivers,
                                   std::function<bool(int32_t)> switchDriver,
                                   std::function<std::string()> driverProblem)
    : m_options(options), m_drivers(drivers), m_switchDriver(std::move(switchDriver)),
      m_driverProblem(std::move(driverProblem)) {}

CAudioOutputPage::~CAudioOutputPage() = default;

void CAudioOutputPage::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "Audio Output", x, y, width, height, false);
    m_frame.CreateFrame(this, "Audio Output Options", 0, 0, width, height);
    m_frame.Show();
    const int top = m_frame.ContentTop() + 10;
    // The page's own controls lie on the frame as its siblings, so their changes come to the page.
    m_driverCaption.CreateLabel(this, "Driver:", kCaptionX + 12, top, kCaptionWidth, kRowHeight);
    m_driverBox.CreateComboBox(this, kFieldX + 12, top, 180, kRowHeight);
    m_driverCaption.Show();
    m_driverBox.Show();
    m_driverBox.Combo()->setObjectName("Drivers");
    const int panelY = top + kRowPitch + 8;
    const int panelWidth = width - 24;
    const int panelHeight = height - panelY - 12;
    if (!m_drivers) {
        m_noOutput.CreateLabel(this, "This session has no live audio output.", 12, panelY, panelWidth,
                               kRowHeight);
        m_noOutput.Show();
        m_driverBox.SetEnabled(false);
        return;
    }
    if (CWaveOutDriver* waveOut = m_drivers->WaveOut()) {
        m_waveOut = std::make_unique<CWaveOutPanel>(*waveOut, m_options);
        m_waveOut->Build(this, 12, panelY, panelWidth, panelHeight);
        m_waveOut->SetChangeHook([this] { MarkChanged(); });
    }
    if (CASIODriver* asio = m_drivers->Asio()) {
        m_asio = std::make_unique<CAsioPanel>(*asio, m_options);
        m_asio->Build(this, 12, panelY, panelWidth, panelHeight);
        m_asio->SetChangeHook([this] { MarkChanged(); });
    }
    Reload();
}

void CAudioOutputPage::Reload() {
    ClearChanges();
    m_driverChanged = false;
    if (!m_drivers) return;
    m_driverBox.Clear();
    for (int32_t i = 0; i < m_drivers->Count(); ++i)
        m_driverBox.AddEntry(m_drivers->Driver(i)->GetName());
    m_chosen = m_drivers->CurrentIndex();
    m_driverBox.SetSelection(m_chosen);
    if (m_waveOut) m_waveOut->Reload();
    if (m_asio) m_asio->Reload();
    ShowPanel();
}

CDriverPanel* CAudioOutputPage::Panel(int index) const {
    if (index == 0) return m_waveOut.get();
    if (index == 1) return m_asio.get();
    return nullptr;
}

void CAudioOutputPage::ShowPanel() {
    for (int i = 0; i < 2; ++i)
        if (CDriverPanel* panel = Panel(i))
            panel->ShowWith(i == m_chosen ? gui::ShowCommand::kShow : gui::ShowCommand::kHide);
}

void CAudioOutputPage::ComboChanged(gui::CComboBox* combo) {
    if (combo != &m_driverBox || m_driverBox.Selection() < 0) return;
    m_chosen = m_driverBox.Selection();
    m_driverChanged = m_drivers && m_chosen != m_drivers->CurrentIndex();
    m_options.driverIndex = m_chosen;
    ShowPanel();
    MarkChanged();
}

bool CAudioOutputPage::Apply() {
    if (!HasChanges() || !m_drivers) {
        ClearChanges();
        return true;
    }
    bool chosenChanged = false;
    for (int i = 0; i < 2; ++i) {
        CDriverPanel* panel = Panel(i);
        if (!panel) continue;
        const bool changed = panel->Apply();
        if (i == m_chosen) chosenChanged = changed;
    }
    const bool switchNeeded = m_driverChanged || chosenChanged;
    ClearChanges();
    m_driverChanged = false;
    if (!switchNeeded) return true;
    const bool playing = m_switchDriver && m_switchDriver(m_chosen);
    if (playing) return true;
    const std::string problem = m_driverProblem ? m_driverProblem() : std::string();
    QString text =
        QString("The audio output \"%1\" could not be started.").arg(m_drivers->Driver(m_chosen)->GetName());
    if (!problem.empty()) text += "\n" + QString::fromStdString(problem);
    text += "\nThe studio runs silent until another driver or device is chosen here.";
    gui::Dialogs().Message(Widget(), gui::MessageKind::kError, text);
    return false;
}

} // namespace options
