// The colour manager: 38 numbered colour slots every control paints with, a list of palettes
// and, for a manager made as the child of another, per-slot inheritance from its parent.
//
// Threads: user-interface thread only, like the controls that use it.
#pragma once

#include <QBrush>
#include <QColor>
#include <QPen>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace gui {

// Colour slot roles the views rely on.
enum ColorSlot : int {
    kSlotBlack = 0,
    kSlotWhite = 1,
    kSlotFace = 2,            // control face and default background
    kSlotDisabledFace = 3,    // face of a disabled button
    kSlotButtonText = 4,      // button and panel text
    kSlotDisabledText = 5,    // disabled button text
    kSlotBevelLight = 6,      // light edge of a bevel
    kSlotBevelShadow = 7,     // shadow edge of a bevel
    kSlotFrameLine = 12,      // frame lines
    kSlotFieldBackground = 29, // edit, list and combo background
    kSlotFieldText = 30,      // edit, list and combo text
    kSlotMeterLow = 35,       // peak meter segments far below full scale
    kSlotMeterHigh = 36,      // peak meter segments near full scale
    kSlotMeterTop = 37,       // peak meter's last four segments
};

class CColorManager {
public:
    static constexpr int kSlotCount = 38;
    using Palette = std::array<uint32_t, kSlotCount>; // 0xRRGGBB per slot

    // The default palette, palette 0 of every top-level manager.
    static const Palette& DefaultPalette();

    // A top-level manager holding the default palette, or a child whose every slot inherits.
    explicit CColorManager(const CColorManager* parent = nullptr);
    CColorManager(const CColorManager&) = delete;
    CColorManager& operator=(const CColorManager&) = delete;

    // The colour, brush and pen of a slot; an inheriting slot asks the parent chain. A slot outside
    // 0..37 raises "ColorManager: Invalid Color Requested".
    QColor Color(int slot) const;
    const QBrush& Brush(int slot) const;
    const QPen& Pen(int slot) const;
    // Gives the slot its own colour (it stops inheriting) and drops its cached brush and pen.
    void SetColor(int slot, QColor color);
    bool Inherits(int slot) const;

    // Palettes: each is 38 colours. Choosing one copies it into the slots the manager owns.
    int AddPalette(const Palette& palette);
    int PaletteCount() const { return static_cast<int>(m_palettes.size()); }
    int CurrentPalette() const { return m_current; }
    void UsePalette(int index);

private:
    const CColorManager* Owner(int slot) const;
    static void CheckSlot(int slot);

    const CColorManager* m_parent;
    std::array<QColor, kSlotCount> m_colors;
    std::array<bool, kSlotCount> m_inherit{};
    mutable std::array<std::optional<QBrush>, kSlotCount> m_brushes;
    mutable std::array<std::optional<QPen>, kSlotCount> m_pens;
    std::vector<Palette> m_palettes;
    int m_current = 0;
};

} // namespace gui
