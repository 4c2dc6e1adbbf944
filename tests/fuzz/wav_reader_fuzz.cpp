// The WAV reader: any file either loads as 16-bit mono samples in -1..1 or raises one of the
// reader's texts and leaves the buffer empty.
#include "host_machines/wav/wav_file.h"
#include "tests/fuzz/fuzz_support.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::WriteScratch(data, size, ".wav");
    CSampleBuffer buffer(16, 44100);
    if (!fuzz::Accepts([&] { buffer.Load(path); })) {
        fuzz::Check(buffer.m_frameCount == 0 && buffer.m_data == nullptr,
                    "a refused file leaves the buffer empty");
        return 0;
    }
    fuzz::Check(buffer.m_frameCount >= 0 && static_cast<size_t>(buffer.m_frameCount) * 2 <= size,
                "no more samples than the file holds");
    for (int32_t i = 0; i < buffer.m_frameCount; ++i)
        fuzz::Check(std::fabs(buffer.m_data[i]) <= 1.0f, "samples lie in -1..1");
    return 0;
}
