#include "machines/dsp/wave_table.h"

CWaveTable::CWaveTable(int32_t count)
    : m_count(count > 0 ? count : 1), m_values(new float[static_cast<size_t>(count > 0 ? count : 1)]()) {}
