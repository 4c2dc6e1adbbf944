// Block-wise vector operations and the aligned scratch blocks voices render into.
//
// AddConstant and MixScaled pick a four-wide vector path when the processor feature flags (from the
// host services, kept library-wide by SetDspProcessorFeatures) have bit value 2 set. Both paths give
// the same results; the Scalar/Vector variants are public so tests can hold them side by side.
#pragma once

#include <cstddef>
#include <cstdint>

// Library-wide processor feature flags (CVeskHost::GetProcessorFeatures). Set once when the library
// is loaded, before any machine renders.
void SetDspProcessorFeatures(int32_t features);
int32_t DspProcessorFeatures();
constexpr int32_t kVectorFeature = 2;

// buffer[i] += value.
void AddConstant(float* buffer, int32_t count, float value);
void AddConstantScalar(float* buffer, int32_t count, float value);
void AddConstantVector(float* buffer, int32_t count, float value);

// set:            dst = gain·src
// else modulate:  dst = dst + dst·src·gain  (amplitude modulation by 1 + gain·src)
// else:           dst += gain·src
void MixScaled(float* dst, const float* src, int32_t count, float gain, bool set, bool modulate);
void MixScaledScalar(float* dst, const float* src, int32_t count, float gain, bool set, bool modulate);
void MixScaledVector(float* dst, const float* src, int32_t count, float gain, bool set, bool modulate);

// An owned block of floats, 16-byte aligned, zeroed when (re)allocated. Allocate only outside
// rendering (constructors, SetBufferSize).
class AlignedBlock {
public:
    AlignedBlock() = default;
    explicit AlignedBlock(int32_t count) { Resize(count); }
    ~AlignedBlock();
    AlignedBlock(const AlignedBlock&) = delete;
    AlignedBlock& operator=(const AlignedBlock&) = delete;

    // Frees and reallocates at count floats (zeroed).
    void Resize(int32_t count);
    float* Data() { return m_data; }
    const float* Data() const { return m_data; }
    int32_t Count() const { return m_count; }
    float& operator[](size_t i) { return m_data[i]; }

private:
    float* m_data = nullptr;
    int32_t m_count = 0;
};
