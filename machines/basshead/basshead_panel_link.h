// What an open BassHead panel offers the machine: showing a parameter change (its slider and a
// line on the display; any thread, machine locked), and closing when the machine goes or makes a
// new panel (UI thread).
#pragma once

#include <cstdint>

class CBassHeadPanelLink {
public:
    virtual ~CBassHeadPanelLink() = default;
    virtual void ShowChange(int32_t parameter, float value) = 0;
    virtual void ClosePanel() = 0;
};
