// CVeskHost: the host services, the one object through which machines and machine libraries
// reach the studio. The program makes exactly one at start-up and hands it to every machine,
// descriptor and library.
//
// The getters are read without locks from processing threads and the user-interface thread; the
// setters run on the user-interface thread (tempo) or the driver thread (sample counter).
#pragma once

#include <atomic>
#include <cstdint>

class CHostBankServer;
class CMachine;
class CMachineInfo;
class MachineRegistry;

// Result codes of the host services.
enum HostResult : int32_t {
    kHostOk = 0,
    kHostNoServer = 1,
    kHostBadNote = 2,
};

class CVeskHost {
public:
    // Fills the note table, sets the tempo to 140 and creates the bank server. Descriptors
    // registered later go to the registry (which the host keeps apart, so it can outlive us).
    CVeskHost(int32_t sampleRate, int32_t bufferSize, int32_t processorFeatures, MachineRegistry* registry);
    virtual ~CVeskHost();
    CVeskHost(const CVeskHost&) = delete;
    CVeskHost& operator=(const CVeskHost&) = delete;

    // Appends the descriptor to the machine registry; 0.
    virtual int32_t RegisterMachine(CMachineInfo* info);
    // note < 128: its frequency in Hz and 0; otherwise 0 Hz and 2.
    virtual int32_t GetNoteFrequency(uint32_t note, float* frequency);
    // The bank server and 0, or 1 when there is none.
    virtual int32_t GetBankServer(CHostBankServer** server);
    // A machine reports a parameter change (its own panel or a parameter event). With a host
    // context the frame applies it and refreshes its view; otherwise SetParameter directly.
    virtual void ParameterChanged(CMachine* machine, int32_t index, float value);
    // Frames rendered since start-up; wraps at 32 bits.
    virtual int32_t GetSampleCounter();
    // Beats per minute.
    virtual float GetBPM();
    virtual int32_t GetSampleRate();
    virtual int32_t GetBufferSize();
    // True for feature 0 (the bank server) only.
    virtual bool SupportsFeature(int32_t feature);
    virtual int32_t GetProcessorFeatures();

    // Host program only.
    void SetBPM(float bpm) { m_tempo.store(bpm, std::memory_order_relaxed); }
    void SetSampleRateAndBufferSize(int32_t sampleRate, int32_t bufferSize);
    void AddToSampleCounter(int32_t frames);
    MachineRegistry* Registry() const { return m_registry; }

    float m_noteTable[128];

private:
    std::atomic<uint32_t> m_sampleCounter{0};
    std::atomic<int32_t> m_sampleRate;
    std::atomic<int32_t> m_bufferSize;
    std::atomic<float> m_tempo{140.0f};
    CHostBankServer* m_bankServer;
    int32_t m_processorFeatures;
    MachineRegistry* m_registry;
};
