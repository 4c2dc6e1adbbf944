// CBankExplorerWindow: the bank explorer in a window of its own, opened from the main window's
// "Tools" menu. The explorer fills the window's client area and follows its size; closing the
// window only hides it, so the banks listed and the panes' borders stay for the next opening.
//
// Threads: user-interface thread only. The window observes the host's bank server through the
// explorer and owns neither.
#pragma once

#include "gui/window.h"

#include <memory>

class CVeskHost;

namespace bank_explorer {

class CBankExplorer;

inline constexpr const char* kWindowTitle = "Bank Explorer";
inline constexpr int kWindowWidth = 760, kWindowHeight = 480;

class CBankExplorerWindow : public gui::CWindow {
public:
    explicit CBankExplorerWindow(CVeskHost* host);
    ~CBankExplorerWindow() override;

    // Makes the (hidden) top-level window with the explorer inside.
    void Build();
    // Shows the window and brings it to the front.
    void Open();
    CBankExplorer& Explorer() { return *m_explorer; }

    void SizeChanged(int width, int height) override;

private:
    CVeskHost* m_host;
    std::unique_ptr<CBankExplorer> m_explorer;
};

} // namespace bank_explorer
