#include "engine/studio_observer.h"

#include <algorithm>

void CStudioObserver::AddListener(CStudioListener* listener) {
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void CStudioObserver::RemoveListener(CStudioListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

template <typename Call> void CStudioObserver::Tell(Call call) {
    // A listener may remove itself (or another) while being told: walk a copy, and skip those
    // removed meanwhile.
    const std::vector<CStudioListener*> listeners = m_listeners;
    for (CStudioListener* listener : listeners)
        if (std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end()) call(listener);
}

void CStudioObserver::FrameAdded(CMachineContainer* frame) {
    Tell([frame](CStudioListener* listener) { listener->FrameAdded(frame); });
}
void CStudioObserver::FrameRemoved(const RemovedFrame& gone) {
    Tell([&gone](CStudioListener* listener) { listener->FrameRemoved(gone); });
}
void CStudioObserver::FrameRenamed(CMachineContainer* frame) {
    Tell([frame](CStudioListener* listener) { listener->FrameRenamed(frame); });
}
void CStudioObserver::CablesChanged() {
    Tell([](CStudioListener* listener) { listener->CablesChanged(); });
}
void CStudioObserver::StudioCleared() {
    Tell([](CStudioListener* listener) { listener->StudioCleared(); });
}
void CStudioObserver::ProjectLoaded() {
    Tell([](CStudioListener* listener) { listener->ProjectLoaded(); });
}
