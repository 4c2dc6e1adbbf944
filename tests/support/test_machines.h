// Small machines for the engine's tests and benchmarks: generators of a constant or a sine,
// pass-through effects, a machine with a send and a return, and one that fails on demand.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/vesk_host.h"
#include "tests/support/event_log.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// A machine with the ports it is given. Process: outputs = the sum of the audio inputs plus the
// constant (or the sine), control outputs untouched.
class CTestMachine : public CMachine {
public:
    struct PortSpec {
        int32_t flags;
        const char* name;
    };

    CTestMachine(CVeskHost* host, const std::vector<PortSpec>& ports) : CMachine(host) {
        for (const auto& port : ports)
            AddPort(port.flags, port.name);
    }
    void Delete() override { delete this; }
    void SetSampleRate(int32_t rate) override { m_rate = rate; }
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return true; }
    void UpdateGUI() override { ++m_updates; }
    void SetState(const void* data, int32_t size, bool parameterList) override {
        if (m_log) m_log->Add("SetState " + std::to_string(size));
        CMachine::SetState(data, size, parameterList);
    }
    void SetName(const char* name) override {
        if (m_log) m_log->Add(std::string("SetName ") + name);
        CMachine::SetName(name);
    }

    void Process() override {
        ++m_processCount;
        m_processThread = std::this_thread::get_id();
        if (m_log) m_log->Add(std::string(GetName()) + " Process");
        if (m_fail.exchange(false)) throw std::runtime_error("Test machine failed");
        if (m_onProcess) m_onProcess();
        // Returns are mixed without zeroing: the machine clears them itself, before the late phase.
        for (int32_t p = 0; p < m_portCount; ++p)
            if (m_ports[p]->IsInput() && m_ports[p]->IsSendReturn() && m_ports[p]->m_audioBuffer)
                m_ports[p]->m_audioBuffer->Clear();
        int32_t frames = 0;
        for (int32_t p = 0; p < m_portCount; ++p)
            if (m_ports[p]->m_audioBuffer) frames = std::max(frames, m_ports[p]->m_audioBuffer->m_length);
        for (int32_t i = 0; i < frames; ++i) {
            float left = m_level, right = m_rightLevel;
            if (m_frequency > 0.0) {
                left = right = m_level * static_cast<float>(std::sin(m_phase));
                m_phase += 2.0 * M_PI * m_frequency / m_rate;
                if (m_phase > 2.0 * M_PI) m_phase -= 2.0 * M_PI;
            }
            for (int32_t p = 0; p < m_portCount; ++p) {
                const CPort* port = m_ports[p];
                if (port->IsAudio() && port->IsInput() && !port->IsSendReturn() &&
                    i < port->m_audioBuffer->m_length) {
                    left += port->m_audioBuffer->m_channel1[i];
                    right += port->m_audioBuffer->m_channel2 ? port->m_audioBuffer->m_channel2[i]
                                                             : port->m_audioBuffer->m_channel1[i];
                }
            }
            for (int32_t p = 0; p < m_portCount; ++p) {
                CPort* port = m_ports[p];
                if (!port->IsAudio() || !port->IsOutput() || i >= port->m_audioBuffer->m_length) continue;
                port->m_audioBuffer->m_channel1[i] = left;
                if (port->m_audioBuffer->m_channel2) port->m_audioBuffer->m_channel2[i] = right;
            }
        }
    }
    // The late phase: every ordinary output gets the returns added.
    void ProcessLate() override {
        if (m_log) m_log->Add(std::string(GetName()) + " ProcessLate");
        for (int32_t p = 0; p < m_portCount; ++p) {
            const CPort* ret = m_ports[p];
            if (!(ret->IsInput() && ret->IsSendReturn())) continue;
            for (int32_t q = 0; q < m_portCount; ++q) {
                CPort* out = m_ports[q];
                if (!out->IsAudio() || !out->IsOutput() || out->IsSendReturn()) continue;
                for (int32_t i = 0; i < out->m_audioBuffer->m_length; ++i)
                    out->m_audioBuffer->m_channel1[i] += ret->m_audioBuffer->m_channel1[i];
            }
        }
    }

    float m_level = 0.0f;      // constant on every output (left with stereo)
    float m_rightLevel = 0.0f; // constant on the right channel of stereo outputs
    double m_frequency = 0.0;  // > 0: a sine of m_level amplitude instead
    double m_phase = 0.0;
    int32_t m_rate = 44100;
    std::atomic<int> m_processCount{0};
    std::thread::id m_processThread; // the thread of the latest Process
    std::atomic<int> m_updates{0};
    std::atomic<bool> m_fail{false};
    CEventLog* m_log = nullptr;
    std::function<void()> m_onProcess; // runs at the start of every Process when set
};

// A descriptor that builds test machines of one port layout.
class CTestMachineInfo : public CMachineInfo {
public:
    CTestMachineInfo(CVeskHost* host, const char* displayName, std::vector<CTestMachine::PortSpec> ports)
        : CMachineInfo(displayName, displayName), m_host(host), m_ports(std::move(ports)) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CTestMachine(m_host, m_ports); }

private:
    CVeskHost* m_host;
    std::vector<CTestMachine::PortSpec> m_ports;
};
