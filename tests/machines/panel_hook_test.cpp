// Every stock machine gets its own panel through the panel factory of its module, under its own
// panel name, and has none when no factory is installed.
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/panel_factory.h"
#include "machine_interface/vesk_host.h"
#include "machines/stock_machines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PanelHook, StockMachinesAskTheInstalledFactoryAndHaveNoPanelWithoutOne) {
    MachineRegistry registry;
    CVeskHost host(44100, 256, 0x16, &registry);
    RegisterStockMachines(&host);
    struct Factory : CPanelFactory {
        WindowHandle CreatePanel(CMachine* machine, const char* kind, WindowHandle parent) override {
            asked.push_back(kind);
            machines.push_back(machine);
            return parent;
        }
        std::vector<std::string> asked;
        std::vector<CMachine*> machines;
    } factory;
    int parent = 0;
    for (int32_t i = 0; i < registry.Count(); ++i) {
        CMachineInfo* info = registry.At(i).info;
        CMachine* machine = info->CreateMachine();
        EXPECT_EQ(machine->CreateGUI(&parent), nullptr) << info->m_displayName;
        machine_panels::Install(&factory);
        EXPECT_EQ(machine->CreateGUI(&parent), &parent) << info->m_displayName;
        machine_panels::Install(nullptr);
        ASSERT_EQ(factory.asked.size(), static_cast<size_t>(i + 1));
        EXPECT_EQ(factory.asked.back(), info->m_displayName);
        EXPECT_EQ(factory.machines.back(), machine);
        machine->Delete();
    }
    EXPECT_EQ(factory.asked.size(), 7u);
}

} // namespace
