// COptionsDialog: the "Options" window of the studio. An icon list of pages on the left ("Audio
// Output", "VST Paths"), the chosen page beside it, and the buttons "Apply" and "Close" at the
// bottom right. Any change on a page enables "Apply". "Apply", and closing the window (its
// button, the close box or Escape) while changes are pending, apply every changed page, write
// the options file and disable "Apply" again. The pages store what the user sets into the
// options record at once; applying the audio page with another driver, or with changed settings
// of the chosen driver, switches the output through the program's own switching.
//
// The dialog neither owns the options nor the drivers: they are the application's, and the
// program's switching and saving are reached through Hooks, so the dialog is tested without a
// sound card. The program wires them to the application:
//   hooks.switchDriver = [&app](int32_t index) { return app.SwitchDriver(index); };
//   hooks.driverProblem = [&app] { return app.DriverProblem(); };
//   hooks.saveOptions = [&app] { return app.SaveOptions(); };
//
// Threads: user-interface thread only. The hooks lock the studio themselves; the dialog never
// holds the studio mutex, and never while a folder browser or message box is open.
#pragma once

#include "gui/button.h"
#include "gui/field_control.h"
#include "gui/icon_list.h"
#include "gui/window.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct Options;
class COutputDriverManager;

namespace options {

class CAudioOutputPage;
class CVSTPaths;
class COptionsPage;

class COptionsDialog : public gui::CWindow {
public:
    // What applying needs from the program.
    struct Hooks {
        // Switches the live output to driver n (stopping the current one, binding and starting
        // the new one). False when it cannot play.
        std::function<bool(int32_t driverIndex)> switchDriver;
        // Why the output is silent after a failed switch, for the user.
        std::function<std::string()> driverProblem;
        // Writes the options file. False when it could not be written.
        std::function<bool()> saveOptions;
    };

    static constexpr int kWidth = 600;
    static constexpr int kHeight = 340;
    enum Page { kAudioOutput = 0, kVstPaths = 1 };

    // drivers may be null (no live output): the audio page then says so.
    COptionsDialog(Options& options, COutputDriverManager* drivers, Hooks hooks);
    ~COptionsDialog() override;

    // Makes the window (hidden) over owner (may be null).
    void Build(gui::CControl* owner);
    // Shows the window with the page the user last looked at, its settings read from the drivers
    // and the record. When it is open already it only comes to the front, keeping what is pending.
    void Open();
    // Applies pending changes and hides the window.
    void Close();
    // Applies every changed page, writes the options file, disables "Apply". False when the
    // output could not be switched or the file could not be written (the user was told).
    bool Apply();

    bool HasChanges() const;
    int CurrentPage() const { return m_page; }
    void ShowPage(int page);

    gui::CButton& ApplyButton() { return m_apply; }
    gui::CButton& CloseButton() { return m_close; }
    gui::CIconList& PageList() { return m_pages; }
    CAudioOutputPage& AudioOutput() { return *m_audio; }
    CVSTPaths& VstPaths() { return *m_vst; }

    void ButtonClicked(gui::CButton* button) override;
    void ChildChanged(gui::CControl* child) override;
    bool KeyPressed(QKeyEvent* event) override;
    bool CloseRequested() override;

private:
    // A page reports a change the user made.
    void PageChanged();
    COptionsPage* PageAt(int page) const;

    Options& m_options;
    COutputDriverManager* m_drivers;
    Hooks m_hooks;
    gui::CIconList m_pages;
    std::unique_ptr<CAudioOutputPage> m_audio;
    std::unique_ptr<CVSTPaths> m_vst;
    gui::CButton m_apply;
    gui::CButton m_close;
    int m_page = kAudioOutput;
};

} // namespace options
