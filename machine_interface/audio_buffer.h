// CAudioBuffer: one or two channels of float samples, 64-byte aligned so machines can use vector
// instructions. Resized by the host (user-interface thread, machine locked); read and written by
// the processing threads inside Process.
#pragma once

#include <cstdint>

class CAudioBuffer {
public:
    CAudioBuffer(int32_t length, bool stereo);
    virtual ~CAudioBuffer();
    CAudioBuffer(const CAudioBuffer&) = delete;
    CAudioBuffer& operator=(const CAudioBuffer&) = delete;

    // Worker (or the cycle before mixing), owner locked: sets every sample of both channels to 0.
    virtual void Clear();
    // UI thread, studio mutex held, owner locked (never while a buffer renders): new length in
    // frames (1 .. 8192). A different length reallocates the channels; contents are then
    // undefined until cleared. The same length keeps the buffer untouched.
    virtual void Resize(int32_t length);

    float* m_channel1 = nullptr;  // the only channel of a mono buffer; left when stereo
    float* m_channel2 = nullptr;  // right channel; null when mono
    uint8_t m_stereo = 0;
    int32_t m_length = 0;         // frames

private:
    void Allocate();
    void Free();
};
