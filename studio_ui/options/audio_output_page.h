// The "Audio Output" page of the options dialog: "Driver:" with the box "Drivers" (every driver
// of the list by name, the current one selected) and, below it, one settings panel per driver of
// which only the chosen driver's is visible.
//
// CWaveOutPanel ("Wave Out Options"): "Device:" (the ALSA devices), "Format:" (the chosen
// device's format codes in ascending order), "Latency:" with a slider (10 ... 400 ms, squared so
// the short latencies get most of the travel) and its read-out "Latency: %ims". Choosing a device
// refills the formats, keeping the driver's format when the device has it.
//
// CAsioPanel ("ASIO Out Options"): the JACK servers found at start-up as devices, the server's
// rate as the only format, "Channels: %i", and "Buffer Size: %i Samples". Rate and period belong
// to the JACK server: they are shown read-only and the panel says where to change them.
//
// Every panel stores what the user sets into the options record at once. On Apply each panel
// writes its settings into its driver and says whether anything changed; when the chosen driver's
// panel changed something, or another driver was chosen, the output is switched to the chosen
// driver (which restarts it with the new settings).
//
// Threads: user-interface thread only.
#pragma once

#include "gui/combo_box.h"
#include "gui/frame.h"
#include "gui/label.h"
#include "gui/slider.h"
#include "studio_ui/options/options_page.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct Options;
class CASIODriver;
class COutputDriverManager;
class CWaveOutDriver;

namespace options {

// One driver's settings panel.
class CDriverPanel : public gui::CFrame {
public:
    // Shows the driver's current settings again (when the dialog opens).
    virtual void Reload() = 0;
    // Writes the settings into the driver; true when anything differs from what it had.
    virtual bool Apply() = 0;
    void SetChangeHook(std::function<void()> hook) { m_changeHook = std::move(hook); }

protected:
    void ReportUserChange() {
        if (m_changeHook) m_changeHook();
    }

private:
    std::function<void()> m_changeHook;
};

class CWaveOutPanel : public CDriverPanel {
public:
    CWaveOutPanel(CWaveOutDriver& driver, Options& options);
    void Build(gui::CControl* parent, int x, int y, int width, int height);

    void Reload() override;
    bool Apply() override;

    gui::CComboBox& DeviceBox() { return m_device; }
    gui::CComboBox& FormatBox() { return m_format; }
    gui::CSlider& LatencySlider() { return m_latencySlider; }
    gui::CLabel& LatencyLabel() { return m_latencyLabel; }
    // What the panel holds (and the record already has).
    int32_t ChosenDevice() const { return m_chosenDevice; }
    int32_t ChosenFormat() const { return m_chosenFormat; }
    int32_t ChosenLatency() const { return m_chosenLatency; }

    void ComboChanged(gui::CComboBox* combo) override;
    void ChildChanged(gui::CControl* child) override;

private:
    // Lists the chosen device's formats, selecting the chosen format when the device has it and
    // the first otherwise.
    void FillFormats();
    void ShowLatency();

    CWaveOutDriver& m_driver;
    Options& m_options;
    gui::CLabel m_deviceCaption, m_formatCaption, m_latencyCaption;
    gui::CComboBox m_device;
    gui::CComboBox m_format;
    gui::CSlider m_latencySlider;
    gui::CLabel m_latencyLabel;
    gui::CLabel m_delayNote;
    std::vector<int32_t> m_formatCodes; // the format box's entries
    int32_t m_chosenDevice = -1;
    int32_t m_chosenFormat = 0;
    int32_t m_chosenLatency = 150;
};

class CAsioPanel : public CDriverPanel {
public:
    CAsioPanel(CASIODriver& driver, Options& options);
    void Build(gui::CControl* parent, int x, int y, int width, int height);

    void Reload() override;
    // Records the chosen server; always reports a change, so applying restarts the output.
    bool Apply() override;

    gui::CComboBox& DeviceBox() { return m_device; }
    gui::CComboBox& FormatBox() { return m_format; }
    gui::CLabel& ChannelsLabel() { return m_channels; }
    gui::CLabel& BufferLabel() { return m_buffer; }
    gui::CLabel& NoteLabel() { return m_note; }

    void ComboChanged(gui::CComboBox* combo) override;

private:
    // The format box and the read-outs for the chosen server.
    void ShowServer();

    CASIODriver& m_driver;
    Options& m_options;
    gui::CLabel m_deviceCaption, m_formatCaption, m_bufferCaption;
    gui::CComboBox m_device;
    gui::CComboBox m_format;
    gui::CLabel m_channels;
    gui::CLabel m_buffer;
    gui::CLabel m_note, m_note2;
};

class CAudioOutputPage : public COptionsPage {
public:
    // drivers may be null: the page then says there is no live output.
    CAudioOutputPage(Options& options, COutputDriverManager* drivers,
                     std::function<bool(int32_t)> switchDriver, std::function<std::string()> driverProblem);
    ~CAudioOutputPage() override;
    void Build(gui::CControl* parent, int x, int y, int width, int height);
    // Shows the current driver and every panel's settings again, without changes.
    void Reload();
    bool Apply() override;

    gui::CComboBox& DriverBox() { return m_driverBox; }
    int ChosenDriver() const { return m_chosen; }
    // The panel of driver n (null when the list has no panel for it).
    CDriverPanel* Panel(int index) const;
    CWaveOutPanel* WaveOutPanel() const { return m_waveOut.get(); }
    CAsioPanel* AsioPanel() const { return m_asio.get(); }

    void ComboChanged(gui::CComboBox* combo) override;

private:
    void ShowPanel();

    Options& m_options;
    COutputDriverManager* m_drivers;
    std::function<bool(int32_t)> m_switchDriver;
    std::function<std::string()> m_driverProblem;
    gui::CFrame m_frame;
    gui::CLabel m_driverCaption;
    gui::CComboBox m_driverBox;
    gui::CLabel m_noOutput;
    std::unique_ptr<CWaveOutPanel> m_waveOut;
    std::unique_ptr<CAsioPanel> m_asio;
    int m_chosen = 0;
    bool m_driverChanged = false;
};

} // namespace options
