// A machine that writes what is done to it into a shared log (panel calls, its destruction), with
// parameters kept in a program so SetProgram and Randomize have something to move, and listeners
// for the studio and a frame that write their news into the same log. For the tests that check
// the order in which models tell their views.
#pragma once

#include "engine/machine_container.h"
#include "engine/studio_observer.h"
#include "machine_interface/machine.h"
#include "tests/support/event_log.h"

#include <string>
#include <vector>

class CRecordingMachine : public CMachine {
public:
    CRecordingMachine(CVeskHost* host, CEventLog* log, int32_t parameters, int32_t programs)
        : CMachine(host), m_log(log) {
        AddPort(kPortStereoIn, "In");
        AddPort(kPortStereoOut, "Out");
        m_parameterCount = parameters;
        if (programs > 0) CreatePrograms(programs);
    }
    ~CRecordingMachine() override {
        if (m_log) m_log->Add(std::string("destroyed ") + (GetName() ? GetName() : ""));
    }
    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return false; }
    // A panel only when the test hands a parent (a stand-in for the "GUI Container" window).
    WindowHandle CreateGUI(WindowHandle parent) override {
        if (m_log) m_log->Add("CreateGUI");
        return parent ? &m_panel : nullptr;
    }
    void OnGUIShown() override {
        if (m_log) m_log->Add(std::string("shown, locked ") + (IsLocked() ? "yes" : "no"));
    }
    void OnGUIHidden() override {
        if (m_log) m_log->Add("hidden");
    }
    void SetProgram(int32_t index) override {
        if (m_log)
            m_log->Add(std::string("SetProgram ") + std::to_string(index) +
                       (IsLocked() ? " locked" : " unlocked"));
        CMachine::SetProgram(index);
    }
    float GetParameter(int32_t index) override {
        if (m_currentProgram < 0 || m_currentProgram >= m_programCount) return 0.0f;
        const Program* program = m_programs[m_currentProgram];
        return index >= 0 && index < program->valueCount ? program->values[index] : 0.0f;
    }

    CEventLog* m_log;
    int m_panel = 0;
};

class CRecordingMachineInfo : public CMachineInfo {
public:
    CRecordingMachineInfo(CVeskHost* host, const char* name, CEventLog* log, int32_t parameters,
                          int32_t programs)
        : CMachineInfo(name, name), m_host(host), m_log(log), m_parameters(parameters), m_programs(programs) {
    }
    void Delete() override { delete this; }
    CMachine* CreateMachine() override {
        return new CRecordingMachine(m_host, m_log, m_parameters, m_programs);
    }

private:
    CVeskHost* m_host;
    CEventLog* m_log;
    int32_t m_parameters;
    int32_t m_programs;
};

// Writes the studio's news into the log.
class CRecordingStudioListener : public CStudioListener {
public:
    explicit CRecordingStudioListener(CEventLog* log) : m_log(log) {}
    void FrameAdded(CMachineContainer* frame) override { m_log->Add("added " + frame->m_name); }
    void FrameRemoved(const RemovedFrame& gone) override { m_log->Add("removed " + gone.name); }
    void FrameRenamed(CMachineContainer* frame) override { m_log->Add("renamed " + frame->m_name); }
    void CablesChanged() override { m_log->Add("cables"); }
    void StudioCleared() override { m_log->Add("cleared"); }
    void ProjectLoaded() override { m_log->Add("loaded"); }

private:
    CEventLog* m_log;
};

// Writes a frame's news into the log, with the thread it arrived on.
class CRecordingFrameListener : public CContainerListener {
public:
    explicit CRecordingFrameListener(CEventLog* log) : m_log(log) {}
    void ParameterChanged(CMachineContainer*, int32_t index, float value) override {
        m_log->Add("parameter " + std::to_string(index) + " " + std::to_string(value));
        m_values.push_back(value);
    }
    void ConnectorsChanged(CMachineContainer*) override { m_log->Add("connectors"); }
    void ParametersChanged(CMachineContainer*) override { m_log->Add("all parameters"); }
    void PanelModeChanged(CMachineContainer* frame) override {
        m_log->Add("mode " + std::to_string(frame->PanelMode()));
    }

    std::vector<float> m_values;

private:
    CEventLog* m_log;
};
