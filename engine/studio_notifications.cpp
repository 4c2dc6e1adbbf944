// The studio's observing side: the news its edits raise, the project change counter, and the
// delivery of queued parameter news on the user-interface thread.
#include "engine/studio.h"

#include "machine_interface/vesk_host.h"

void CStudio::MoveFrame(CMachineContainer* frame, int32_t x, int32_t y) {
    if (frame->m_x == x && frame->m_y == y) return;
    frame->m_x = x;
    frame->m_y = y;
    m_changes.Raise();
}

void CStudio::SetTempo(float bpm) {
    if (m_host->GetBPM() == bpm) return;
    m_host->SetBPM(bpm);
    m_changes.Raise();
}

void CStudio::ParameterApplied(CMachineContainer* frame, int32_t index, float value) {
    // Patterns and automation move parameters on processing threads while a song plays; only
    // the user's own moves are edits of the project.
    if (OnUserInterfaceThread()) m_changes.Raise();
    m_notifications.Post({Notification::kParameterChanged, index, value, frame->Serial()});
}

size_t CStudio::DeliverNotifications() {
    CMutexLock lock(m_mutex);
    return m_notifications.Drain([this](const Notification& record) {
        if (record.kind == Notification::kLost) {
            // Which frames missed news is unknown: every frame re-reads. By index, since a
            // listener may delete frames while being told.
            for (size_t i = 0; i < m_frames.size(); ++i) {
                CMachineContainer* frame = m_frames[i];
                frame->TellListeners(
                    [frame](CContainerListener* listener) { listener->ParametersChanged(frame); });
            }
            return;
        }
        for (CMachineContainer* frame : m_frames) {
            if (frame->Serial() != record.source) continue;
            frame->TellListeners([&](CContainerListener* listener) {
                listener->ParameterChanged(frame, record.index, record.value);
            });
            return;
        }
        // The frame is gone: its views went with it.
    });
}

void CStudio::CablesEdited() {
    m_changes.Raise();
    if (m_cableBatch > 0)
        m_cablesEditedInBatch = true;
    else
        m_observer.CablesChanged();
}

void CStudio::EndCableBatch() {
    if (--m_cableBatch > 0 || !m_cablesEditedInBatch) return;
    m_cablesEditedInBatch = false;
    m_observer.CablesChanged();
}
