#include "machines/dsp/shared_tables.h"

#include <cmath>
#include <numbers>

CSharedTables::CSharedTables()
    : sine(kWaveLength), cosine(kWaveLength), triangle(kWaveLength), saw(kWaveLength), square(kWaveLength) {
    for (int32_t i = 0; i < kWaveLength; ++i) {
        const double x = static_cast<double>(i) / kWaveLength;
        sine.Values()[i] = static_cast<float>(std::sin(2.0 * std::numbers::pi * x));
        cosine.Values()[i] = static_cast<float>(std::cos(2.0 * std::numbers::pi * x));
        triangle.Values()[i] = static_cast<float>(x < 0.5 ? 1.0 - 4.0 * std::fabs(x - 0.25)
                                                          : -(1.0 - 4.0 * std::fabs(x - 0.75)));
        saw.Values()[i] = static_cast<float>(1.0 - 2.0 * x);
        square.Values()[i] = x < 0.5 ? 1.0f : -1.0f;
    }
    // The edge is generated here rather than shipped as data: the same design, made at load time.
    edge = CStepTable::Generate(32, 64, false);
    impulse = CStepTable::Generate(8, 16, true);
    integratedEdge = CStepTable::Integrated(*edge);
}

const CSharedTables& SharedTables() {
    static const CSharedTables tables;
    return tables;
}
