#include "machines/dsp/block_ops.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::atomic<int32_t> g_features{0};

// Four floats in one vector register; loads and stores go through memcpy so unaligned blocks work
// too (the compiler turns them into plain vector moves).
typedef float Vec4 __attribute__((vector_size(16)));

inline Vec4 Load(const float* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(float* p, Vec4 v) {
    std::memcpy(p, &v, sizeof v);
}

} // namespace

void SetDspProcessorFeatures(int32_t features) {
    g_features.store(features, std::memory_order_relaxed);
}
int32_t DspProcessorFeatures() {
    return g_features.load(std::memory_order_relaxed);
}

static bool UseVector() {
    return (DspProcessorFeatures() & kVectorFeature) != 0;
}

void AddConstantScalar(float* buffer, int32_t count, float value) {
    for (int32_t i = 0; i < count; ++i)
        buffer[i] += value;
}

void AddConstantVector(float* buffer, int32_t count, float value) {
    const Vec4 v = {value, value, value, value};
    int32_t i = 0;
    for (; i + 4 <= count; i += 4)
        Store(buffer + i, Load(buffer + i) + v);
    for (; i < count; ++i)
        buffer[i] += value;
}

void AddConstant(float* buffer, int32_t count, float value) {
    if (UseVector())
        AddConstantVector(buffer, count, value);
    else
        AddConstantScalar(buffer, count, value);
}

void MixScaledScalar(float* dst, const float* src, int32_t count, float gain, bool set, bool modulate) {
    if (set) {
        for (int32_t i = 0; i < count; ++i)
            dst[i] = gain * src[i];
    } else if (modulate) {
        for (int32_t i = 0; i < count; ++i)
            dst[i] = dst[i] + dst[i] * src[i] * gain;
    } else {
        for (int32_t i = 0; i < count; ++i)
            dst[i] += gain * src[i];
    }
}

void MixScaledVector(float* dst, const float* src, int32_t count, float gain, bool set, bool modulate) {
    const Vec4 g = {gain, gain, gain, gain};
    int32_t i = 0;
    if (set) {
        for (; i + 4 <= count; i += 4)
            Store(dst + i, g * Load(src + i));
    } else if (modulate) {
        for (; i + 4 <= count; i += 4) {
            const Vec4 d = Load(dst + i);
            Store(dst + i, d + d * Load(src + i) * g);
        }
    } else {
        for (; i + 4 <= count; i += 4)
            Store(dst + i, Load(dst + i) + g * Load(src + i));
    }
    MixScaledScalar(dst + i, src + i, count - i, gain, set, modulate);
}

void MixScaled(float* dst, const float* src, int32_t count, float gain, bool set, bool modulate) {
    if (UseVector())
        MixScaledVector(dst, src, count, gain, set, modulate);
    else
        MixScaledScalar(dst, src, count, gain, set, modulate);
}

AlignedBlock::~AlignedBlock() {
    std::free(m_data);
}

void AlignedBlock::Resize(int32_t count) {
    std::free(m_data);
    m_data = nullptr;
    m_count = 0;
    if (count <= 0) return;
    // aligned_alloc wants a size that is a multiple of the alignment.
    const size_t bytes = (static_cast<size_t>(count) * sizeof(float) + 15) & ~static_cast<size_t>(15);
    m_data = static_cast<float*>(std::aligned_alloc(16, bytes));
    if (!m_data) throw std::bad_alloc();
    std::memset(m_data, 0, bytes);
    m_count = count;
}
