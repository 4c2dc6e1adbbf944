// Cable mixing: a machine's inputs filled from its cables through each cable's smoothed volume,
// and the master's output into the driver's channels through the gliding master gain, with the
// buffer's peaks for the meter.
//
// Threads: the processing thread rendering the frame (its machine locked, the studio mutex held
// by Render); the master's output on the driver thread. Nothing here allocates or waits.
#pragma once

#include <cstdint>

class CConnection;
class CMachine;
class CMachineContainer;
class CPort;

namespace cable_mixing {

// Adds the cable's source buffer into the input port's buffer (mono into stereo on both channels,
// stereo into mono at half the sum), its volume gliding sample by sample from the cable's current
// volume toward its target; the volume reached is kept on the cable for the next buffer.
void MixInto(CPort* input, CConnection* connection);

// Before Process: clears the control outputs, copies each control cable's events into its input,
// clears every ordinary audio input and mixes its cables into it. Returns are left alone. True
// when the frame has return inputs (a late phase follows).
bool MixInputs(CMachineContainer* frame);

// Before ProcessLate: mixes the cables of the audio returns into them (on top of what the machine
// left there).
void MixReturns(CMachineContainer* frame);

// The master's output of one buffer.
struct MasterOutput {
    float gain = 0.0f;         // the master gain reached at the end of the buffer
    float peakLeft = 0.0f;     // squared peak of channel 0
    float peakRight = 0.0f;    // squared peak of channel 1 (0 with fewer channels)
    float loudestPower = 0.0f; // squared peak over every channel (the clip light)
};

// Writes the master's inputs into the driver's channel arrays (frames samples each), times the
// master gain gliding from gain toward target. Two channels take the two channels of the first
// port; otherwise channel c is the first channel of port c. Channels without a port, and samples
// past the port's buffer, are silent.
MasterOutput MixMasterOutput(const CMachine* master, int32_t channelCount, float** channels, int32_t frames,
                             float gain, float target);

} // namespace cable_mixing
