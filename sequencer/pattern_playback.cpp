// The pattern editor's "Play Pattern" transport and its per-buffer playback: the current pattern's
// tick, the delivery of note-offs that are still due after a pattern stopped, went or moved, and
// the play marker.
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/edit_lock.h"
#include "sequencer/pattern_editor.h"

#include <cmath>

// ----- Transport (user-interface thread) -----

void CPatternEditor::SetPlayPattern(bool down) {
    {
        CEditLock lock(m_mutex);
        if (!m_current) {
            m_playDown = false;
        } else if (down) {
            m_playDown = true;
            m_current->SetLoop(m_loopDown);
            m_current->Start(false);
        } else {
            m_playDown = false;
            m_current->SetLoop(false);
            m_current->Stop(false);
        }
    }
    Notify(PatternEditorChange::Transport);
}

void CPatternEditor::StopPattern() {
    {
        CEditLock lock(m_mutex);
        if (m_current) {
            if (m_playDown) m_current->SetLoop(false);
            m_current->Stop(true);
        }
        m_playDown = false;
    }
    Notify(PatternEditorChange::Transport);
}

void CPatternEditor::SetLoopPattern(bool down) {
    {
        CEditLock lock(m_mutex);
        m_loopDown = down;
        if (m_current) m_current->SetLoop(down);
    }
    Notify(PatternEditorChange::Transport);
}

void CPatternEditor::ReleaseHeldNotes(Pattern* pattern) {
    CEditLock lock(m_mutex);
    if (!pattern->Port()) return;
    for (const ControlEvent& event : pattern->TakeCarryOver()) m_released.push_back({pattern->Port(), event});
}

// ----- Ticks (driver thread) -----

void CPatternEditor::Tick(uint64_t bufferSerial) {
    if (!m_playDown.load(std::memory_order_relaxed)) return;
    if (m_current && m_current->IsPlaying()) {
        m_current->PlayTick(bufferSerial);
    } else {
        m_playDown = false;
        m_transportChanged = true;
    }
}

void CPatternEditor::DeliverPendingNoteOffs(uint64_t bufferSerial) {
    for (Pattern* pattern : m_patterns)
        if (pattern->CarryOver().GetCount() > 0) pattern->AdvanceCarryOver(bufferSerial);
    // Shrinking the vector frees nothing: no allocation on the driver thread.
    const int32_t frames = m_host->GetBufferSize();
    size_t kept = 0;
    for (ReleasedNoteOff& off : m_released) {
        if (off.event.time >= frames) {
            off.event.time -= frames;
            m_released[kept++] = off;
        } else if (off.port->m_controlBuffer) {
            off.port->m_controlBuffer->AddEvent(&off.event);
        }
    }
    m_released.resize(kept);
}

void CPatternEditor::RefreshDisplay() {
    float position = -1.0f;
    bool transport;
    {
        CEditLock lock(m_mutex);
        transport = m_transportChanged.exchange(false);
        if (m_machine && m_current) position = m_current->DisplayPosition();
    }
    if (transport) Notify(PatternEditorChange::Transport);
    const bool visibilityChanged = (position < 0.0f) != (m_shownPosition < 0.0f);
    if (visibilityChanged || std::fabs(position - m_shownPosition) > 0.001f) {
        m_shownPosition = position;
        Notify(PatternEditorChange::PlayMarker);
    }
}

float CPatternEditor::DisplayPosition() {
    CEditLock lock(m_mutex);
    return m_current ? m_current->DisplayPosition() : -1.0f;
}
