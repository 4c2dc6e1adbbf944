// CStudioObserver: the studio's list of listeners (the studio window, the pattern editor's machine
// box, the title bar, ...) and the news it hands them.
//
// Every notification is raised on the user-interface thread, by the edit that caused it, often
// with the studio mutex held: a listener may read the model and call the studio's editing
// operations (the mutex is recursive) but must not wait for the driver or a worker thread.
// News from other threads (parameter changes from patterns, plug-in panels) does not come this
// way; it goes through the studio's notification queue (CStudio::DeliverNotifications).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CMachineContainer;

// What is left of a frame once it is destroyed: enough to find and drop its view, nothing to
// follow. The address is only a key; it may already belong to another object.
struct RemovedFrame {
    const void* address = nullptr;
    uint64_t serial = 0;
    std::string name;
};

class CStudioListener {
public:
    virtual ~CStudioListener() = default;
    // A frame was appended to the list (add-machine command or project load), in list order.
    virtual void FrameAdded(CMachineContainer* /*frame*/) {}
    // A frame was unlinked and destroyed together with its machine; its cables went first.
    virtual void FrameRemoved(const RemovedFrame& /*gone*/) {}
    // The instance name of a frame changed.
    virtual void FrameRenamed(CMachineContainer* /*frame*/) {}
    // Cables were added or removed (once per edit, however many cables it touched).
    virtual void CablesChanged() {}
    // The project was cleared: every frame is gone (each was reported removed before).
    virtual void StudioCleared() {}
    // A project file finished loading (also when it loaded only in part).
    virtual void ProjectLoaded() {}
};

class CStudioObserver {
public:
    // User-interface thread. Adding a listener twice adds it once.
    void AddListener(CStudioListener* listener);
    void RemoveListener(CStudioListener* listener);
    size_t ListenerCount() const { return m_listeners.size(); }

    void FrameAdded(CMachineContainer* frame);
    void FrameRemoved(const RemovedFrame& gone);
    void FrameRenamed(CMachineContainer* frame);
    void CablesChanged();
    void StudioCleared();
    void ProjectLoaded();

private:
    template <typename Call> void Tell(Call call);

    std::vector<CStudioListener*> m_listeners;
};
