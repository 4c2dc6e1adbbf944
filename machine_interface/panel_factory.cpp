#include "machine_interface/panel_factory.h"

#include <atomic>

namespace {
std::atomic<CPanelFactory*> g_factory{nullptr};
} // namespace

namespace machine_panels {

void Install(CPanelFactory* factory) {
    g_factory.store(factory, std::memory_order_release);
}

CPanelFactory* Installed() {
    return g_factory.load(std::memory_order_acquire);
}

WindowHandle Create(CMachine* machine, const char* kind, WindowHandle parent) {
    CPanelFactory* factory = Installed();
    return factory ? factory->CreatePanel(machine, kind, parent) : nullptr;
}

} // namespace machine_panels
