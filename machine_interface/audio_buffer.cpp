#include "machine_interface/audio_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr size_t kAlignment = 64;

float* AllocateChannel(int32_t length) {
    // aligned_alloc wants a size that is a multiple of the alignment.
    size_t bytes = static_cast<size_t>(length > 0 ? length : 1) * sizeof(float);
    bytes = (bytes + kAlignment - 1) / kAlignment * kAlignment;
    void* memory = std::aligned_alloc(kAlignment, bytes);
    if (!memory) throw std::bad_alloc();
    // A new buffer is silence: a machine that reads an input nobody has written yet hears
    // nothing, never what the heap held before.
    std::memset(memory, 0, bytes);
    return static_cast<float*>(memory);
}
} // namespace

CAudioBuffer::CAudioBuffer(int32_t length, bool stereo) : m_stereo(stereo ? 1 : 0), m_length(length) {
    Allocate();
}

CAudioBuffer::~CAudioBuffer() { Free(); }

void CAudioBuffer::Clear() {
    const size_t bytes = static_cast<size_t>(m_length) * sizeof(float);
    if (m_channel1) std::memset(m_channel1, 0, bytes);
    if (m_channel2) std::memset(m_channel2, 0, bytes);
}

void CAudioBuffer::Resize(int32_t length) {
    if (length == m_length) return;
    Free();
    m_length = length;
    Allocate();
}

void CAudioBuffer::Allocate() {
    m_channel1 = AllocateChannel(m_length);
    m_channel2 = m_stereo ? AllocateChannel(m_length) : nullptr;
}

void CAudioBuffer::Free() {
    std::free(m_channel1);
    std::free(m_channel2);
    m_channel1 = nullptr;
    m_channel2 = nullptr;
}
