#include "machine_interface/vesk_host.h"

#include "machine_interface/bank_server.h"
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"

CVeskHost::CVeskHost(int32_t sampleRate, int32_t bufferSize, int32_t processorFeatures, MachineRegistry* registry)
    : m_sampleRate(sampleRate), m_bufferSize(bufferSize), m_bankServer(new CHostBankServer()),
      m_processorFeatures(processorFeatures), m_registry(registry) {
    // Each entry is the previous times one equal-tempered semitone, in double precision.
    double frequency = 8.175798915636872;
    for (int note = 0; note < 128; ++note) {
        m_noteTable[note] = static_cast<float>(frequency);
        frequency *= 1.059463094359;
    }
}

CVeskHost::~CVeskHost() { delete m_bankServer; }

int32_t CVeskHost::RegisterMachine(CMachineInfo* info) {
    if (m_registry) m_registry->Append(info);
    return kHostOk;
}

int32_t CVeskHost::GetNoteFrequency(uint32_t note, float* frequency) {
    if (note < 128) {
        *frequency = m_noteTable[note];
        return kHostOk;
    }
    *frequency = 0.0f;
    return kHostBadNote;
}

int32_t CVeskHost::GetBankServer(CHostBankServer** server) {
    *server = m_bankServer;
    return m_bankServer ? kHostOk : kHostNoServer;
}

void CVeskHost::ParameterChanged(CMachine* machine, int32_t index, float value) {
    if (machine->m_hostContext)
        machine->m_hostContext->ApplyParameter(machine, index, value);
    else
        machine->SetParameter(index, value);
}

int32_t CVeskHost::GetSampleCounter() { return static_cast<int32_t>(m_sampleCounter.load(std::memory_order_relaxed)); }
float CVeskHost::GetBPM() { return m_tempo.load(std::memory_order_relaxed); }
int32_t CVeskHost::GetSampleRate() { return m_sampleRate.load(std::memory_order_relaxed); }
int32_t CVeskHost::GetBufferSize() { return m_bufferSize.load(std::memory_order_relaxed); }
bool CVeskHost::SupportsFeature(int32_t feature) { return feature == 0; }
int32_t CVeskHost::GetProcessorFeatures() { return m_processorFeatures; }

void CVeskHost::SetSampleRateAndBufferSize(int32_t sampleRate, int32_t bufferSize) {
    m_sampleRate.store(sampleRate, std::memory_order_relaxed);
    m_bufferSize.store(bufferSize, std::memory_order_relaxed);
}

void CVeskHost::AddToSampleCounter(int32_t frames) {
    m_sampleCounter.fetch_add(static_cast<uint32_t>(frames), std::memory_order_relaxed);
}
