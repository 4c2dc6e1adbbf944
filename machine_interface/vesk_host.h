// CVeskHost: the host services, the one object through which machines and machine libraries
// reach the studio. The program makes exactly one at start-up and hands it to every machine,
// descriptor and library.
//
// The getters are read without locks from processing threads and the user-interface thread; the
// setters run on the user-interface thread (tempo) or the driver thread (sample counter). Every
// operation below may be called from any thread unless it says otherwise; none blocks, and none
// allocates except RegisterMachine.
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

    // Start-up (UI thread, machine libraries' entry points): appends the descriptor to the
    // machine registry, which owns it from then on; 0.
    virtual int32_t RegisterMachine(CMachineInfo* info);
    // Any: note < 128: its frequency in Hz (equal temperament, note 69 = 440 Hz) and 0;
    // otherwise 0 Hz and 2.
    virtual int32_t GetNoteFrequency(uint32_t note, float* frequency);
    // Any: the bank server and 0, or 1 when there is none.
    virtual int32_t GetBankServer(CHostBankServer** server);
    // Any (the UI for a machine's own panel, a worker for parameter events, the plug-in idle
    // thread): a machine reports a change of parameter index to value 0..1. With a host context
    // the frame applies it and queues news for the views (no allocation, no studio lock);
    // otherwise SetParameter directly.
    virtual void ParameterChanged(CMachine* machine, int32_t index, float value);
    // Any: frames rendered since start-up; wraps at 32 bits.
    virtual int32_t GetSampleCounter();
    // Any: beats per minute, 1 .. 1000.
    virtual float GetBPM();
    // Any: frames per second of the output driver.
    virtual int32_t GetSampleRate();
    // Any: frames per buffer of the output driver.
    virtual int32_t GetBufferSize();
    // Any: true for feature 0 (the bank server) only.
    virtual bool SupportsFeature(int32_t feature);
    // Any: the processor-feature bits detected at start-up.
    virtual int32_t GetProcessorFeatures();

    // Host program only. UI thread: the tempo (user edits go through CStudio::SetTempo, which
    // also marks the project changed).
    void SetBPM(float bpm) { m_tempo.store(bpm, std::memory_order_relaxed); }
    // UI thread, studio mutex held, no buffer rendering: the driver's format.
    void SetSampleRateAndBufferSize(int32_t sampleRate, int32_t bufferSize);
    // Driver thread, once per buffer: frames just rendered.
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
