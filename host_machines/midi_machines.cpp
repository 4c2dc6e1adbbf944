#include "host_machines/midi_machines.h"

#include "machine_interface/vesk_host.h"

CMIDIInput::CMIDIInput(CVeskHost* host)
    : CMachine(host), m_sampleRate(host->GetSampleRate()), m_bufferSize(host->GetBufferSize()) {
    AddPort(kPortControlOut, "Control Out");
}

void CMIDIInput::Process() {}

CMIDIOutput::CMIDIOutput(CVeskHost* host)
    : CMachine(host), m_sampleRate(host->GetSampleRate()), m_bufferSize(host->GetBufferSize()) {
    AddPort(kPortControlIn, "Control In");
}

void CMIDIOutput::Process() {
    // No device yet: the events of this buffer are dropped.
    m_ports[0]->m_controlBuffer->Clear();
}
