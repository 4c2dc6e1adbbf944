#include "engine/cable_mixing.h"

#include "engine/connector.h"
#include "engine/machine_container.h"
#include "engine/volume.h"
#include "machine_interface/machine.h"
#include "machine_interface/port.h"
#include "machine_interface/sample_peaks.h"

#include <algorithm>

namespace cable_mixing {

void MixInto(CPort* input, CConnection* connection) {
    const CPort* sourcePort = connection->m_source->m_port;
    const CAudioBuffer* source = sourcePort->m_audioBuffer;
    CAudioBuffer* destination = input->m_audioBuffer;
    if (!source || !destination) return;
    const int32_t n = std::min(source->m_length, destination->m_length);
    const float target = connection->TargetVolume();
    float v = connection->m_currentVolume;
    const bool sourceStereo = source->m_channel2 != nullptr;
    const bool destinationStereo = destination->m_channel2 != nullptr;
    const float* sl = source->m_channel1;
    const float* sr = source->m_channel2;
    float* dl = destination->m_channel1;
    float* dr = destination->m_channel2;

    // The glide runs only while the cable's volume moves; the steady part is a plain loop.
    auto mix = [&](int32_t from, int32_t to, bool glide) {
        if (sourceStereo && destinationStereo) {
            for (int32_t i = from; i < to; ++i) {
                if (glide) v = volume::Glide(v, target);
                dl[i] += v * sl[i];
                dr[i] += v * sr[i];
            }
        } else if (destinationStereo) {
            for (int32_t i = from; i < to; ++i) {
                if (glide) v = volume::Glide(v, target);
                dl[i] += v * sl[i];
                dr[i] += v * sl[i];
            }
        } else if (sourceStereo) {
            for (int32_t i = from; i < to; ++i) {
                if (glide) v = volume::Glide(v, target);
                dl[i] += (sl[i] + sr[i]) * v * 0.5f;
            }
        } else {
            for (int32_t i = from; i < to; ++i) {
                if (glide) v = volume::Glide(v, target);
                dl[i] += v * sl[i];
            }
        }
    };
    int32_t i = 0;
    if (v != target) {
        // Glide sample by sample until the volume arrives, then finish without the glide.
        int32_t arrive = 0;
        float probe = v;
        while (arrive < n && probe != target) {
            probe = volume::Glide(probe, target);
            ++arrive;
        }
        mix(0, arrive, true);
        i = arrive;
    }
    mix(i, n, false);
    connection->m_currentVolume = v;
}

bool MixInputs(CMachineContainer* frame) {
    const int32_t connectorCount = frame->ConnectorCount();
    bool late = false;
    for (int32_t c = 0; c < connectorCount; ++c) {
        CConnector* connector = frame->Connector(c);
        CPort* port = connector->m_port;
        if (port->IsInput() && port->IsSendReturn()) late = true;
        if (port->IsControl()) {
            if (port->IsOutput()) {
                port->m_controlBuffer->Clear();
            } else if (port->IsInput()) {
                for (const CConnection* connection : connector->m_connections)
                    connection->m_source->m_port->m_controlBuffer->CopyTo(port->m_controlBuffer);
            }
        } else if (port->IsInput() && port->IsAudio()) {
            if (!port->IsSendReturn()) {
                port->m_audioBuffer->Clear();
                for (CConnection* connection : connector->m_connections)
                    MixInto(port, connection);
            }
        }
    }
    return late;
}

void MixReturns(CMachineContainer* frame) {
    const int32_t connectorCount = frame->ConnectorCount();
    for (int32_t c = 0; c < connectorCount; ++c) {
        CConnector* input = frame->Connector(c);
        if (!input->m_port->IsInput() || !input->m_port->IsSendReturn() || !input->m_port->IsAudio())
            continue;
        for (CConnection* connection : input->m_connections)
            MixInto(input->m_port, connection);
    }
}

MasterOutput MixMasterOutput(const CMachine* master, int32_t channelCount, float** channels, int32_t frames,
                             float gain, float target) {
    MasterOutput output;
    const float startGain = gain;
    for (int32_t c = 0; c < channelCount; ++c) {
        // Stereo output from a stereo port takes its two channels; otherwise output channel c is
        // the first channel of master port c.
        const float* source = nullptr;
        int32_t available = 0;
        const int32_t portIndex = channelCount == 2 ? 0 : c;
        if (portIndex < master->m_portCount && master->m_ports[portIndex]->m_audioBuffer) {
            const CAudioBuffer* buffer = master->m_ports[portIndex]->m_audioBuffer;
            source =
                (channelCount == 2 && c == 1 && buffer->m_channel2) ? buffer->m_channel2 : buffer->m_channel1;
            available = source ? buffer->m_length : 0;
        }
        float g = startGain;
        float peak = 0.0f;
        float* out = channels[c];
        if (g == target) {
            // A settled gain stays where it is for the whole buffer.
            const int32_t played = std::min(available, frames);
            peak = sample_peaks::ScaledPower(source, out, std::max(played, 0), g);
            for (int32_t i = std::max(played, 0); i < frames; ++i) out[i] = 0.0f;
        }
        for (int32_t i = g == target ? frames : 0; i < frames; ++i) {
            const float value = i < available ? g * source[i] : 0.0f;
            out[i] = value;
            peak = std::max(peak, value * value);
            g = volume::Glide(g, target);
        }
        if (c == 0) output.peakLeft = peak;
        if (c == 1) output.peakRight = peak;
        output.loudestPower = std::max(output.loudestPower, peak);
        gain = g;
    }
    // No channels still lets the gain move as if a buffer was played.
    if (channelCount == 0)
        for (int32_t i = 0; i < frames; ++i)
            gain = volume::Glide(gain, target);
    output.gain = gain;
    return output;
}

} // namespace cable_mixing
