// CConnector and CConnection: the cable model of the studio. Every port of a machine has one
// connector on its frame; every cable is a connection from an output connector to an input
// connector, owned by the input connector's array.
//
// Threads: cables are made and removed on the user-interface thread with the studio mutex and
// both machines' locks held; the processing cycle reads them (and glides the current volume) on
// worker threads under the same studio mutex. The target volume may be written by the user
// interface at any time (cable-volume slider) and is read once per sample while mixing.
#pragma once

#include "machine_interface/array.h"

#include <atomic>
#include <cstdint>

class CConnector;
class CMachineContainer;
class CPort;

class CConnection {
public:
    CConnection(CConnector* source, CConnector* destination, float volume)
        : m_source(source), m_destination(destination), m_targetVolume(volume), m_currentVolume(volume) {}

    float TargetVolume() const { return m_targetVolume.load(std::memory_order_relaxed); }
    // Linear power ratio; the cable glides to it sample by sample.
    void SetTargetVolume(float volume) { m_targetVolume.store(volume, std::memory_order_relaxed); }

    CConnector* m_source;      // an output connector
    CConnector* m_destination; // the input connector that owns this connection
    std::atomic<float> m_targetVolume;
    float m_currentVolume; // processing threads only
};

class CConnector {
public:
    CConnector(CPort* port, CMachineContainer* frame) : m_port(port), m_frame(frame) {}
    // Deletes the connections it holds (without touching their sources' counts).
    ~CConnector();
    CConnector(const CConnector&) = delete;
    CConnector& operator=(const CConnector&) = delete;

    CPort* m_port;
    CMachineContainer* m_frame;
    CArray<CConnection> m_connections; // input side only
    int32_t m_fanIn = 0;               // cables ending here
    int32_t m_fanOut = 0;              // cables starting here
};
