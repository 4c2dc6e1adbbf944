// CClipLight: the latched light beside the master meter that says the master output went beyond
// full scale (a sample above 1.0 in size, which a sound card clips) in some buffer since the user
// last cleared it. It stays lit however short the overload was.
//
// Threads: Input on the driver's thread (the master, once per buffer); IsLit, ClippedBuffers and
// Reset on the user-interface thread. Lock-free: the clear moves a baseline instead of writing
// what the driver thread writes, so a clip during the clear is never lost.
#pragma once

#include "platform/resettable_count.h"

#include <cstdint>

class CClipLight {
public:
    // The loudest squared sample of one buffer over all output channels. Above 1.0 (also
    // infinity) lights the light; NaN does not.
    void Input(float loudestPower) {
        if (loudestPower > 1.0f) m_clippedBuffers.Add();
    }
    bool IsLit() const { return m_clippedBuffers.Count() != 0; }
    // Buffers that clipped since the last Reset (for a tool tip).
    uint64_t ClippedBuffers() const { return m_clippedBuffers.Count(); }
    // The user's click: dark until the next clip.
    void Reset() { m_clippedBuffers.Reset(); }

private:
    CResettableCount m_clippedBuffers;
};
