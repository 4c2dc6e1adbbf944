#include "gui/color_manager.h"

#include "platform/error.h"

namespace gui {

const CColorManager::Palette& CColorManager::DefaultPalette() {
    static const Palette kPalette = {
        0x000000, 0xFFFFFF, 0x404040, 0x303030, 0xE0E0E0, 0xA0A0A0, 0x808080, 0x000000, // 0-7
        0x101013, 0xC0C0C3, 0x101010, 0x101010, 0xA0B0A0, 0xC0D0C0, 0xF0F0F0, 0x000000, // 8-15
        0x000000, 0xF0F0F0, 0x404040, 0x808080, 0x000000, 0x001000, 0xA0F0A0, 0x406040, // 16-23
        0x70A070, 0x90C090, 0x104010, 0x202020, 0xA0A0A0, 0x202020, 0xA0A0A0, 0x404040, // 24-31
        0xA0A0A0, 0x202020, 0xBBBBBB, 0x408040, 0x80F080, 0xF0F0F0,                     // 32-37
    };
    return kPalette;
}

CColorManager::CColorManager(const CColorManager* parent) : m_parent(parent) {
    m_palettes.push_back(DefaultPalette());
    for (int slot = 0; slot < kSlotCount; ++slot) {
        m_colors[slot] = QColor::fromRgb(DefaultPalette()[slot]);
        m_inherit[slot] = parent != nullptr;
    }
}

void CColorManager::CheckSlot(int slot) {
    if (slot < 0 || slot >= kSlotCount) platform::Raise("ColorManager: Invalid Color Requested");
}

const CColorManager* CColorManager::Owner(int slot) const {
    CheckSlot(slot);
    const CColorManager* manager = this;
    while (manager->m_inherit[slot] && manager->m_parent) manager = manager->m_parent;
    return manager;
}

QColor CColorManager::Color(int slot) const { return Owner(slot)->m_colors[slot]; }

const QBrush& CColorManager::Brush(int slot) const {
    const CColorManager* owner = Owner(slot);
    auto& brush = owner->m_brushes[slot];
    if (!brush) brush.emplace(owner->m_colors[slot]);
    return *brush;
}

const QPen& CColorManager::Pen(int slot) const {
    const CColorManager* owner = Owner(slot);
    auto& pen = owner->m_pens[slot];
    if (!pen) {
        pen.emplace(owner->m_colors[slot]);
        pen->setWidth(1);
    }
    return *pen;
}

void CColorManager::SetColor(int slot, QColor color) {
    CheckSlot(slot);
    m_colors[slot] = color;
    m_inherit[slot] = false;
    m_brushes[slot].reset();
    m_pens[slot].reset();
}

bool CColorManager::Inherits(int slot) const {
    CheckSlot(slot);
    return m_inherit[slot];
}

int CColorManager::AddPalette(const Palette& palette) {
    m_palettes.push_back(palette);
    return static_cast<int>(m_palettes.size()) - 1;
}

void CColorManager::UsePalette(int index) {
    if (index < 0 || index >= PaletteCount()) platform::Raise("ColorManager: Invalid Palette %d", index);
    m_current = index;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (m_inherit[slot]) continue;
        m_colors[slot] = QColor::fromRgb(m_palettes[static_cast<size_t>(index)][static_cast<size_t>(slot)]);
        m_brushes[slot].reset();
        m_pens[slot].reset();
    }
}

} // namespace gui
