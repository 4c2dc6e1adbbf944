#include "machines/dsp/step_table.h"

#include "machines/dsp/transforms.h"

#include <cstring>
#include <vector>

namespace {

int32_t ReadInt(const unsigned char* bytes) {
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 |
                                static_cast<uint32_t>(bytes[3]) << 24);
}

// Running sum normalised by its final value, written as floats.
void StoreIntegral(const std::vector<double>& values, float* out) {
    double sum = 0.0;
    for (double value : values)
        sum += value;
    const double total = sum == 0.0 ? 1.0 : sum;
    double running = 0.0;
    for (size_t i = 0; i < values.size(); ++i) {
        running += values[i];
        out[i] = static_cast<float>(running / total);
    }
    if (!values.empty()) out[values.size() - 1] = 1.0f;
}

} // namespace

CStepTable::CStepTable(int32_t zeroCrossings, int32_t pointsPerSample, int32_t valueCount)
    : m_zeroCrossings(zeroCrossings), m_pointsPerSample(pointsPerSample), m_table(valueCount) {}

std::unique_ptr<CStepTable> CStepTable::FromBinary(const void* data, size_t size) {
    if (!data || size < 12) return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const int32_t zeroCrossings = ReadInt(bytes);
    const int32_t points = ReadInt(bytes + 4);
    const int32_t count = ReadInt(bytes + 8);
    if (zeroCrossings <= 0 || points <= 0 || count != 2 * zeroCrossings * points + 1) return nullptr;
    if (size < 12 + 4 * static_cast<size_t>(count)) return nullptr;
    auto table = std::make_unique<CStepTable>(zeroCrossings, points, count);
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t word = static_cast<uint32_t>(ReadInt(bytes + 12 + 4 * i));
        std::memcpy(&table->Values()[i], &word, sizeof word);
    }
    table->BuildPhaseRows();
    return table;
}

std::unique_ptr<CStepTable> CStepTable::Generate(int32_t zeroCrossings, int32_t pointsPerSample,
                                                 bool keepImpulse) {
    const std::vector<double> impulse = MinimumPhaseSinc(zeroCrossings, pointsPerSample);
    auto table =
        std::make_unique<CStepTable>(zeroCrossings, pointsPerSample, static_cast<int32_t>(impulse.size()));
    if (keepImpulse) {
        for (size_t i = 0; i < impulse.size(); ++i)
            table->Values()[i] = static_cast<float>(impulse[i]);
    } else {
        StoreIntegral(impulse, table->Values());
    }
    table->BuildPhaseRows();
    return table;
}

std::unique_ptr<CStepTable> CStepTable::Integrated(const CStepTable& source) {
    auto table =
        std::make_unique<CStepTable>(source.ZeroCrossings(), source.PointsPerSample(), source.Count());
    std::vector<double> values(source.Values(), source.Values() + source.Count());
    StoreIntegral(values, table->Values());
    table->BuildPhaseRows();
    return table;
}

void CStepTable::BuildPhaseRows() {
    const int32_t points = m_pointsPerSample;
    const int32_t count = Count();
    m_span = (count - 1 + points - 1) / points;
    m_phaseRows.assign(static_cast<size_t>(points + 1) * static_cast<size_t>(m_span), 0.0f);
    for (int32_t j = 0; j <= points; ++j)
        for (int32_t k = 0; k < m_span; ++k) {
            const int64_t index = j + static_cast<int64_t>(k) * points;
            if (index < count) m_phaseRows[static_cast<size_t>(j) * m_span + k] = Values()[index];
        }
}
