#include "machines/quaddelay/echo.h"

#include "machine_interface/vesk_host.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

const char* const kRoles[8] = {"Delay Time", "Feedback", "Filter Frequency", "Filter Bandwidth",
                               "LFO Amount", "LFO Rate", "Wet Level",        "Dry Level"};
const float kDefaults[CEcho::kParameterCount] = {
    0.1f, 0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, // line 1
    0.2f, 0.5f, 0.1f, 0.5f, 0.0f, 0.5f, 0.0f, 0.0f, // line 2
    0.3f, 0.5f, 0.2f, 0.5f, 0.0f, 0.5f, 0.0f, 0.0f, // line 3
    0.4f, 0.5f, 0.3f, 0.5f, 0.0f, 0.5f, 0.0f, 0.0f, // line 4
};

float DelaySeconds(float x) {
    return 0.01f + 0.99f * (Pow2(x) - 1.0f);
}

// A denormal (exponent bits 0, mantissa not 0) becomes +0; zeros keep their sign.
inline float FlushDenormal(float x) {
    return std::fabs(x) < std::numeric_limits<float>::min() && x != 0.0f ? 0.0f : x;
}

bool IsPositiveZero(float x) {
    return std::bit_cast<uint32_t>(x) == 0;
}

// The interpolated read of a line at read offset `current` past the write position: the two ring
// positions and the fraction of the way from the first to the second.
struct Tap {
    int32_t i0, i1;
    float f;
};
inline Tap ReadTap(double current, int32_t write, int32_t length) {
    double position = current + write;
    if (position >= length) position -= length;
    const auto p = static_cast<float>(position);
    int32_t i0 = static_cast<int32_t>(p);
    if (i0 >= length) i0 = length - 1;
    return {i0, i0 == length - 1 ? 0 : i0 + 1, p - static_cast<float>(i0)};
}

// FlushDenormal on four lanes.
inline DspVec4 FlushDenormals(DspVec4 x) {
    const DspVec4 magnitude = (DspVec4)((DspVec4i)x & 0x7fffffff);
    const DspVec4 smallest = DspVec4{} + std::numeric_limits<float>::min();
    return magnitude < smallest && x != 0.0f ? DspVec4{} : x;
}

// True when every sample is +0.
bool IsSilent(const float* x, int32_t count) {
    uint32_t bits = 0;
    for (int32_t i = 0; i < count; ++i)
        bits |= std::bit_cast<uint32_t>(x[i]);
    return bits == 0;
}

} // namespace

CFilteredDelayLine::CFilteredDelayLine(int32_t sampleRate, float lengthSeconds, float feedback)
    : m_sampleRate(sampleRate > 0 ? sampleRate : 1), m_feedback(feedback) {
    const auto length = static_cast<int32_t>(static_cast<float>(m_sampleRate) * lengthSeconds);
    m_length = length < 1 ? 1 : length;
    m_buffer = std::make_unique<float[]>(static_cast<size_t>(m_length));
    m_quietRun = m_length;
}

void CFilteredDelayLine::SetDelayTime(float seconds) {
    const float d = seconds < 0.0f ? 0.0f : (seconds > 1.0f ? 1.0f : seconds);
    m_target = static_cast<float>(m_length - 1) * (1.0f - d);
}

void CFilteredDelayLine::SetFilterFrequency(float value) {
    m_frequency = value;
    m_coefficientsFor = -1.0f;
}

void CFilteredDelayLine::SetBandwidth(float hz) {
    m_bandwidth = hz;
    m_coefficientsFor = -1.0f;
}

void CFilteredDelayLine::UpdateCoefficients(float modulation) {
    const auto rate = static_cast<float>(m_sampleRate);
    float fc = 440.0f * Pow2(m_frequency - 5.0f) * 12.0f * modulation;
    if (fc < 1.0f)
        fc = 1.0f;
    else if (fc > rate * 0.25f)
        fc = rate * 0.25f;
    const float t = std::tan(kPi * m_bandwidth / rate);
    const float c = 1.0f / t;
    const float a = 1.0f / (1.0f + c);
    m_b0 = a;
    m_b1 = 0.0f;
    m_b2 = -a;
    m_a1 = -2.0f * a * c * std::cos(kTwoPi * fc / rate);
    m_a2 = a * (c - 1.0f);
    m_coefficientsFor = modulation;
}

bool CFilteredDelayLine::AtRest() const {
    return m_quietRun >= m_length && IsPositiveZero(m_x1) && IsPositiveZero(m_x2) && IsPositiveZero(m_y1) &&
           IsPositiveZero(m_y2);
}

void CFilteredDelayLine::SkipSilence(float* out, int32_t count) {
    // With +0 in the ring, in the filter and at the input, every sample reads, filters and writes +0;
    // only the glide toward the delay time and the write position move.
    if (m_current != static_cast<double>(m_target))
        for (int32_t j = 0; j < count; ++j)
            m_current = SmoothToward(static_cast<double>(m_target), m_current);
    m_write = static_cast<int32_t>((static_cast<int64_t>(m_write) + count) % m_length);
    std::memset(out, 0, sizeof(float) * static_cast<size_t>(count));
    m_quietRun += count;
}

void CFilteredDelayLine::NoteWritten(const float* out, int32_t count) {
    m_quietRun = IsSilent(out, count) ? m_quietRun + count : 0;
}

bool CFilteredDelayLine::SharesStateWith(const CFilteredDelayLine& other) const {
    return m_sampleRate == other.m_sampleRate && m_length == other.m_length && m_write == other.m_write &&
           m_target == other.m_target && m_current == other.m_current && m_frequency == other.m_frequency &&
           m_bandwidth == other.m_bandwidth && m_feedback == other.m_feedback &&
           m_coefficientsFor == other.m_coefficientsFor && m_b0 == other.m_b0 && m_b1 == other.m_b1 &&
           m_b2 == other.m_b2 && m_a1 == other.m_a1 && m_a2 == other.m_a2;
}

void CFilteredDelayLine::ProcessPair(CFilteredDelayLine& left, CFilteredDelayLine& right, const float* inLeft,
                                     const float* inRight, float* outLeft, float* outRight,
                                     const float* modulation, int32_t count) {
    if (!left.SharesStateWith(right)) {
        left.Process(inLeft, outLeft, modulation, count);
        right.Process(inRight, outRight, modulation, count);
        return;
    }
    if (IsSilent(inLeft, count) && IsSilent(inRight, count) && left.AtRest() && right.AtRest()) {
        left.SkipSilence(outLeft, count);
        right.SkipSilence(outRight, count);
        return;
    }
    // The same steps as Process, both channels side by side; the right line's position and
    // coefficients are copied back from the left at the end.
    float* bufferL = left.m_buffer.get();
    float* bufferR = right.m_buffer.get();
    const int32_t length = left.m_length;
    const float feedback = left.m_feedback;
    float x1L = left.m_x1, x2L = left.m_x2, y1L = left.m_y1, y2L = left.m_y2;
    float x1R = right.m_x1, x2R = right.m_x2, y1R = right.m_y1, y2R = right.m_y2;
    int32_t write = left.m_write;
    double current = left.m_current;
    const auto target = static_cast<double>(left.m_target);
    // The coefficients live in registers between recomputations (the ring writes cannot reach them).
    float madeFor = left.m_coefficientsFor;
    float b0 = left.m_b0, b1 = left.m_b1, b2 = left.m_b2, a1 = left.m_a1, a2 = left.m_a2;
    for (int32_t j = 0; j < count; ++j) {
        if (modulation[j] != madeFor) {
            left.UpdateCoefficients(modulation[j]);
            madeFor = left.m_coefficientsFor;
            b0 = left.m_b0, b1 = left.m_b1, b2 = left.m_b2, a1 = left.m_a1, a2 = left.m_a2;
        }
        current = SmoothToward(target, current);
        const auto [i0, i1, f] = ReadTap(current, write, length);
        float sL = ((1.0f - f) * bufferL[i0] + f * bufferL[i1]) * feedback + inLeft[j];
        float sR = ((1.0f - f) * bufferR[i0] + f * bufferR[i1]) * feedback + inRight[j];
        sL = FlushDenormal(sL);
        sR = FlushDenormal(sR);
        float vL = b0 * sL + b1 * x1L + b2 * x2L - a1 * y1L - a2 * y2L;
        float vR = b0 * sR + b1 * x1R + b2 * x2R - a1 * y1R - a2 * y2R;
        vL = FlushDenormal(vL);
        vR = FlushDenormal(vR);
        x2L = x1L, x1L = sL, y2L = y1L, y1L = vL;
        x2R = x1R, x1R = sR, y2R = y1R, y1R = vR;
        bufferL[write] = vL;
        bufferR[write] = vR;
        outLeft[j] = vL;
        outRight[j] = vR;
        if (++write == length) write = 0;
    }
    left.m_x1 = x1L, left.m_x2 = x2L, left.m_y1 = y1L, left.m_y2 = y2L;
    right.m_x1 = x1R, right.m_x2 = x2R, right.m_y1 = y1R, right.m_y2 = y2R;
    left.m_write = right.m_write = write;
    left.m_current = right.m_current = current;
    right.m_coefficientsFor = left.m_coefficientsFor;
    right.m_b0 = left.m_b0, right.m_b1 = left.m_b1, right.m_b2 = left.m_b2;
    right.m_a1 = left.m_a1, right.m_a2 = left.m_a2;
    left.NoteWritten(outLeft, count);
    right.NoteWritten(outRight, count);
}

int32_t CFilteredDelayLine::SettledSums(const CFilteredDelayLine& left, const CFilteredDelayLine& right,
                                        const float* inL, const float* inR, int32_t n, float (*sums)[8],
                                        int32_t lane) {
    // With the offset at its target T (a float), the read position T + write is exact in a double
    // (under 2^25 with a quarter-sample grain), so its rounding to float is the one rounding of a
    // single float addition of T and the write position; the wrap-around comparison and
    // subtraction are exact in float as well. So four positions at a time, in float lanes, give
    // the very indices and fractions the per-sample loop works out.
    const int32_t length = left.m_length;
    const float* bufferL = left.m_buffer.get();
    const float* bufferR = right.m_buffer.get();
    const float feedback = left.m_feedback;
    const float target = left.m_target;
    const auto lengthF = static_cast<float>(length);
    // Four at a time while the write position does not wrap inside the four.
    int32_t limit = std::min(n, length - left.m_write);
    limit -= limit % 4;
    const DspVec4 steps = {0.0f, 1.0f, 2.0f, 3.0f};
    const DspVec4i last = DspVec4i{} + (length - 1);
    int32_t j = 0;
    for (; j < limit; j += 4) {
        const DspVec4 write = static_cast<float>(left.m_write + j) + steps;
        const DspVec4i wraps = target >= lengthF - write;
        const DspVec4 p = target + (wraps ? write - lengthF : write);
        DspVec4i i0 = __builtin_convertvector(p, DspVec4i);
        i0 = i0 >= last ? last : i0;
        const DspVec4 f = p - __builtin_convertvector(i0, DspVec4);
        const DspVec4i i1 = i0 == last ? DspVec4i{} : i0 + 1;
        const DspVec4 g = 1.0f - f;
        DspVec4 l0, l1, r0, r1;
        // Mostly the four reads are neighbours (they part only where the position's rounding or
        // the ring's end comes between): then they are two plain loads per channel.
        const DspVec4i consecutive = i0 == i0[0] + DspVec4i{0, 1, 2, 3};
        if (consecutive[0] & consecutive[1] & consecutive[2] & consecutive[3] && i0[3] < length - 1) {
            l0 = LoadVec4(bufferL + i0[0]), l1 = LoadVec4(bufferL + i0[0] + 1);
            r0 = LoadVec4(bufferR + i0[0]), r1 = LoadVec4(bufferR + i0[0] + 1);
        } else {
            l0 = DspVec4{bufferL[i0[0]], bufferL[i0[1]], bufferL[i0[2]], bufferL[i0[3]]};
            l1 = DspVec4{bufferL[i1[0]], bufferL[i1[1]], bufferL[i1[2]], bufferL[i1[3]]};
            r0 = DspVec4{bufferR[i0[0]], bufferR[i0[1]], bufferR[i0[2]], bufferR[i0[3]]};
            r1 = DspVec4{bufferR[i1[0]], bufferR[i1[1]], bufferR[i1[2]], bufferR[i1[3]]};
        }
        const DspVec4 sL = FlushDenormals((g * l0 + f * l1) * feedback + LoadVec4(inL + j));
        const DspVec4 sR = FlushDenormals((g * r0 + f * r1) * feedback + LoadVec4(inR + j));
        for (int32_t l = 0; l < 4; ++l) {
            sums[j + l][lane] = sL[l];
            sums[j + l][4 + lane] = sR[l];
        }
    }
    return j;
}

void CFilteredDelayLine::ProcessFour(CFilteredDelayLine* const (&lines)[4][2], const float* inLeft,
                                     const float* inRight, float* const (&out)[4][2], const float* modulation,
                                     int32_t count) {
    for (int32_t done = 0; done < count; done += kPiece) {
        const int32_t n = std::min(kPiece, count - done);
        const float* const inL = inLeft + done;
        const float* const inR = inRight + done;
        const float* const mod = modulation + done;
        auto lineByLine = [&] {
            for (int32_t k = 0; k < 4; ++k)
                ProcessPair(*lines[k][0], *lines[k][1], inL, inR, out[k][0] + done, out[k][1] + done, mod, n);
        };
        bool steady = true;
        for (int32_t j = 1; j < n; ++j) steady &= mod[j] == mod[0];
        for (int32_t k = 0; k < 4 && steady; ++k) {
            const CFilteredDelayLine& line = *lines[k][0];
            // Reads stay behind every write of the piece: the farthest read is at most two
            // samples past the read offset, which only moves toward its target.
            const double farthest = std::max(line.m_current, static_cast<double>(line.m_target));
            steady = line.SharesStateWith(*lines[k][1]) && farthest + 2.0 + n < line.m_length;
        }
        if (!steady) {
            lineByLine();
            continue;
        }
        bool resting = IsSilent(inL, n) && IsSilent(inR, n);
        for (int32_t k = 0; k < 4 && resting; ++k) resting = lines[k][0]->AtRest() && lines[k][1]->AtRest();
        if (resting) {
            for (int32_t k = 0; k < 4; ++k)
                for (int32_t c = 0; c < 2; ++c) lines[k][c]->SkipSilence(out[k][c] + done, n);
            continue;
        }

        // First each line's feedback sums: the taps read only samples written before this piece,
        // so they can all be read ahead. sums[j] holds the four lines' left sums, then the right.
        alignas(16) float sums[kPiece][8];
        for (int32_t k = 0; k < 4; ++k) {
            CFilteredDelayLine& left = *lines[k][0];
            CFilteredDelayLine& right = *lines[k][1];
            if (mod[0] != left.m_coefficientsFor) left.UpdateCoefficients(mod[0]);
            const float* bufferL = left.m_buffer.get();
            const float* bufferR = right.m_buffer.get();
            const int32_t length = left.m_length;
            const float feedback = left.m_feedback;
            const auto target = static_cast<double>(left.m_target);
            double current = left.m_current;
            int32_t write = left.m_write;
            int32_t j = 0;
            if (current == target) {
                // A settled read offset: the reads of four samples at a time are worked out
                // side by side (below, why that gives the same reads).
                j = SettledSums(left, right, inL, inR, n, sums, k);
                write = (write + j) % length;
            }
            for (; j < n; ++j) {
                current = SmoothToward(target, current);
                const auto [i0, i1, f] = ReadTap(current, write, length);
                sums[j][k] = FlushDenormal(((1.0f - f) * bufferL[i0] + f * bufferL[i1]) * feedback + inL[j]);
                sums[j][4 + k] = FlushDenormal(((1.0f - f) * bufferR[i0] + f * bufferR[i1]) * feedback + inR[j]);
                if (++write == length) write = 0;
            }
            left.m_current = right.m_current = current;
        }

        // Then the eight band-passes, a lane per line, left and right in two vectors: the same
        // operations in the same order as one line's loop.
        auto gather = [&](int32_t c, float CFilteredDelayLine::*member) {
            return DspVec4{lines[0][c]->*member, lines[1][c]->*member, lines[2][c]->*member, lines[3][c]->*member};
        };
        auto scatter = [&](int32_t c, float CFilteredDelayLine::*member, DspVec4 v) {
            for (int32_t k = 0; k < 4; ++k) lines[k][c]->*member = v[k];
        };
        const DspVec4 b0 = gather(0, &CFilteredDelayLine::m_b0), b1 = gather(0, &CFilteredDelayLine::m_b1);
        const DspVec4 b2 = gather(0, &CFilteredDelayLine::m_b2), a1 = gather(0, &CFilteredDelayLine::m_a1);
        const DspVec4 a2 = gather(0, &CFilteredDelayLine::m_a2);
        DspVec4 x1L = gather(0, &CFilteredDelayLine::m_x1), x2L = gather(0, &CFilteredDelayLine::m_x2);
        DspVec4 y1L = gather(0, &CFilteredDelayLine::m_y1), y2L = gather(0, &CFilteredDelayLine::m_y2);
        DspVec4 x1R = gather(1, &CFilteredDelayLine::m_x1), x2R = gather(1, &CFilteredDelayLine::m_x2);
        DspVec4 y1R = gather(1, &CFilteredDelayLine::m_y1), y2R = gather(1, &CFilteredDelayLine::m_y2);
        for (int32_t j = 0; j < n; ++j) {
            const DspVec4 sL = LoadVec4(&sums[j][0]);
            const DspVec4 sR = LoadVec4(&sums[j][4]);
            const DspVec4 vL = FlushDenormals(b0 * sL + b1 * x1L + b2 * x2L - a1 * y1L - a2 * y2L);
            const DspVec4 vR = FlushDenormals(b0 * sR + b1 * x1R + b2 * x2R - a1 * y1R - a2 * y2R);
            x2L = x1L, x1L = sL, y2L = y1L, y1L = vL;
            x2R = x1R, x1R = sR, y2R = y1R, y1R = vR;
            StoreVec4(&sums[j][0], vL);
            StoreVec4(&sums[j][4], vR);
        }
        scatter(0, &CFilteredDelayLine::m_x1, x1L), scatter(0, &CFilteredDelayLine::m_x2, x2L);
        scatter(0, &CFilteredDelayLine::m_y1, y1L), scatter(0, &CFilteredDelayLine::m_y2, y2L);
        scatter(1, &CFilteredDelayLine::m_x1, x1R), scatter(1, &CFilteredDelayLine::m_x2, x2R);
        scatter(1, &CFilteredDelayLine::m_y1, y1R), scatter(1, &CFilteredDelayLine::m_y2, y2R);

        // Last the filtered samples go back into the rings and out: four samples of the four lines
        // at a time, turned from a row per sample into a row per line.
        for (int32_t c = 0; c < 2; ++c) {
            DspVec4i bits[4] = {};
            int32_t j = 0;
            for (; j + 4 <= n; j += 4) {
                const DspVec4 r0 = LoadVec4(&sums[j][4 * c]), r1 = LoadVec4(&sums[j + 1][4 * c]);
                const DspVec4 r2 = LoadVec4(&sums[j + 2][4 * c]), r3 = LoadVec4(&sums[j + 3][4 * c]);
                const DspVec4 t0 = __builtin_shuffle(r0, r1, DspVec4i{0, 4, 1, 5});
                const DspVec4 t1 = __builtin_shuffle(r0, r1, DspVec4i{2, 6, 3, 7});
                const DspVec4 t2 = __builtin_shuffle(r2, r3, DspVec4i{0, 4, 1, 5});
                const DspVec4 t3 = __builtin_shuffle(r2, r3, DspVec4i{2, 6, 3, 7});
                const DspVec4 perLine[4] = {
                    __builtin_shuffle(t0, t2, DspVec4i{0, 1, 4, 5}), __builtin_shuffle(t0, t2, DspVec4i{2, 3, 6, 7}),
                    __builtin_shuffle(t1, t3, DspVec4i{0, 1, 4, 5}), __builtin_shuffle(t1, t3, DspVec4i{2, 3, 6, 7})};
                for (int32_t k = 0; k < 4; ++k) {
                    CFilteredDelayLine& line = *lines[k][c];
                    StoreVec4(out[k][c] + done + j, perLine[k]);
                    bits[k] |= (DspVec4i)perLine[k];
                    // The piece is shorter than the ring, so it wraps at most once.
                    int32_t at = line.m_write + j;
                    if (at >= line.m_length) at -= line.m_length;
                    if (at + 4 <= line.m_length) {
                        StoreVec4(line.m_buffer.get() + at, perLine[k]);
                    } else {
                        for (int32_t l = 0; l < 4; ++l, at = at + 1 == line.m_length ? 0 : at + 1)
                            line.m_buffer[static_cast<size_t>(at)] = perLine[k][l];
                    }
                }
            }
            for (int32_t k = 0; k < 4; ++k) {
                CFilteredDelayLine& line = *lines[k][c];
                int32_t at = (line.m_write + j) % line.m_length;
                uint32_t any = static_cast<uint32_t>(bits[k][0] | bits[k][1] | bits[k][2] | bits[k][3]);
                for (int32_t t = j; t < n; ++t, at = at + 1 == line.m_length ? 0 : at + 1) {
                    const float v = sums[t][4 * c + k];
                    out[k][c][done + t] = v;
                    line.m_buffer[static_cast<size_t>(at)] = v;
                    any |= std::bit_cast<uint32_t>(v);
                }
                line.m_quietRun = any == 0 ? line.m_quietRun + n : 0; // as NoteWritten
            }
        }
        for (int32_t k = 0; k < 4; ++k) {
            CFilteredDelayLine& left = *lines[k][0];
            CFilteredDelayLine& right = *lines[k][1];
            left.m_write = right.m_write = (left.m_write + n) % left.m_length;
            right.m_coefficientsFor = left.m_coefficientsFor;
            right.m_b0 = left.m_b0, right.m_b1 = left.m_b1, right.m_b2 = left.m_b2;
            right.m_a1 = left.m_a1, right.m_a2 = left.m_a2;
        }
    }
}

void CFilteredDelayLine::Process(const float* in, float* out, const float* modulation, int32_t count) {
    if (IsSilent(in, count) && AtRest()) {
        SkipSilence(out, count);
        return;
    }
    float* buffer = m_buffer.get();
    const int32_t length = m_length;
    const float feedback = m_feedback;
    const auto target = static_cast<double>(m_target);
    double current = m_current;
    int32_t write = m_write;
    float x1 = m_x1, x2 = m_x2, y1 = m_y1, y2 = m_y2;
    float b0 = m_b0, b1 = m_b1, b2 = m_b2, a1 = m_a1, a2 = m_a2;
    for (int32_t j = 0; j < count; ++j) {
        // The coefficients follow the modulation sample by sample; an unchanged factor gives the
        // same coefficients, so they are only recomputed when it moves.
        if (modulation[j] != m_coefficientsFor) {
            UpdateCoefficients(modulation[j]);
            b0 = m_b0, b1 = m_b1, b2 = m_b2, a1 = m_a1, a2 = m_a2;
        }
        current = SmoothToward(target, current);
        const auto [i0, i1, f] = ReadTap(current, write, length);
        float s = ((1.0f - f) * buffer[i0] + f * buffer[i1]) * feedback + in[j];
        s = FlushDenormal(s);
        float v = b0 * s + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        v = FlushDenormal(v);
        x2 = x1;
        x1 = s;
        y2 = y1;
        y1 = v;
        buffer[write] = v;
        out[j] = v;
        if (++write == length) write = 0;
    }
    m_current = current;
    m_write = write;
    m_x1 = x1, m_x2 = x2, m_y1 = y1, m_y2 = y2;
    NoteWritten(out, count);
}

CEcho::CEcho(CVeskHost* host)
    : CMachine(host), m_blockSize(host ? host->GetBufferSize() : 256),
      m_sampleRate(host ? host->GetSampleRate() : 44100) {
    for (float& value : m_values)
        value = -1.0f; // every setter below runs once
    m_parameterCount = kParameterCount;
    for (auto& line : m_scratch)
        for (auto& scratch : line) scratch.Resize(m_blockSize);
    m_modulation.Resize(m_blockSize);
    for (int32_t i = 0; i < m_blockSize; ++i)
        m_modulation[static_cast<size_t>(i)] = 1.0f;
    AddPort(kPortStereoIn, "Line In");
    AddPort(kPortStereoOut, "Line Out");
    for (int32_t line = 0; line < kLineCount; ++line) {
        MakeDelayLines(line);
        m_lines[line].lfo = std::make_unique<COscillator>(m_sampleRate, &SharedTables().sine, 10.0f);
    }
    for (int32_t i = 0; i < kParameterCount; ++i)
        SetParameter(i, kDefaults[i]);
}

void CEcho::MakeDelayLines(int32_t line) {
    for (auto& delay : m_lines[line].delay)
        delay = std::make_unique<CFilteredDelayLine>(m_sampleRate, 1.0f, 0.0f);
}

void CEcho::ApplyToLine(int32_t index, float x) {
    EchoLine& line = m_lines[index / 8];
    switch (index % 8) {
    case 0:
        for (auto& delay : line.delay)
            delay->SetDelayTime(DelaySeconds(x));
        break;
    case 1:
        for (auto& delay : line.delay)
            delay->SetFeedback(x);
        break;
    case 2:
        for (auto& delay : line.delay)
            delay->SetFilterFrequency(12.0f * x);
        break;
    case 3:
        for (auto& delay : line.delay)
            delay->SetBandwidth(10000.0f * x + 10.0f);
        break;
    case 4:
        line.lfo->SetPitch(6.0f * x - 10.0f);
        break;
    default:
        break; // LFO Rate, Wet and Dry Level are read where they are used
    }
}

void CEcho::SetParameter(int32_t index, float value) {
    if (index < 0 || index >= kParameterCount) return;
    if (value == m_values[index]) return;
    m_values[index] = value;
    ApplyToLine(index, value);
}

float CEcho::GetParameter(int32_t index) {
    return index >= 0 && index < kParameterCount ? m_values[index] : 0.0f;
}

void CEcho::GetParameterName(int32_t index, char* text) {
    if (index < 0 || index >= kParameterCount) {
        text[0] = '\0';
        return;
    }
    std::snprintf(text, 64, "%s %i", kRoles[index % 8], index / 8 + 1);
}

void CEcho::FormatParameter(int32_t index, float x, char* text) {
    if (index < 0 || index >= kParameterCount) {
        text[0] = '\0';
        return;
    }
    switch (index % 8) {
    case 0:
        // Through double so that 0.01f (9.9999998 ms) truncates to 9 as the single value says.
        std::snprintf(text, 64, "%ims", static_cast<int>(static_cast<double>(DelaySeconds(x)) * 1000.0));
        break;
    case 6:
    case 7: {
        const float level = x != 0.0f ? DbToGain(80.0f * x - 64.0f) : 0.0f;
        if (level == 0.0f)
            std::snprintf(text, 64, "-oo dB");
        else
            std::snprintf(text, 64, "%.2fdB", static_cast<double>(GainToDb(level)));
        break;
    }
    default:
        std::snprintf(text, 64, "%i%%", static_cast<int>(x * 100.0f));
        break;
    }
}

void CEcho::Process() {
    CAudioBuffer* in = m_ports[0]->m_audioBuffer;
    CAudioBuffer* out = m_ports[1]->m_audioBuffer;
    int32_t n = m_blockSize;
    if (n > in->m_length) n = in->m_length;
    if (n > out->m_length) n = out->m_length;
    const size_t bytes = sizeof(float) * static_cast<size_t>(n);
    std::memset(out->m_channel1, 0, bytes);
    std::memset(out->m_channel2, 0, bytes);
    const float* modulation = m_modulation.Data();
    const float* inputs[2] = {in->m_channel1, in->m_channel2};
    float* outputs[2] = {out->m_channel1, out->m_channel2};
    // A line at wet level 0 still runs: its ring and filter must hold what they would if the level
    // is turned up later.
    static_assert(kLineCount == 4);
    CFilteredDelayLine* const lines[4][2] = {{m_lines[0].delay[0].get(), m_lines[0].delay[1].get()},
                                             {m_lines[1].delay[0].get(), m_lines[1].delay[1].get()},
                                             {m_lines[2].delay[0].get(), m_lines[2].delay[1].get()},
                                             {m_lines[3].delay[0].get(), m_lines[3].delay[1].get()}};
    float* const scratch[4][2] = {{m_scratch[0][0].Data(), m_scratch[0][1].Data()},
                                  {m_scratch[1][0].Data(), m_scratch[1][1].Data()},
                                  {m_scratch[2][0].Data(), m_scratch[2][1].Data()},
                                  {m_scratch[3][0].Data(), m_scratch[3][1].Data()}};
    CFilteredDelayLine::ProcessFour(lines, inputs[0], inputs[1], scratch, modulation, n);
    for (int32_t line = 0; line < kLineCount; ++line) {
        const float wet = 0.0625f * m_values[8 * line + 6];
        const float dry = 0.25f * m_values[8 * line + 7];
        // The outputs start at +0 and never hold −0, so a term that is ±0 leaves them as they are:
        // a level of 0 drops its term.
        for (int32_t channel = 0; channel < 2; ++channel) {
            const float* x = inputs[channel];
            const float* s = scratch[line][channel];
            float* y = outputs[channel];
            if (wet != 0.0f && dry != 0.0f) {
                for (int32_t i = 0; i < n; ++i)
                    y[i] += wet * s[i] + dry * x[i];
            } else if (wet != 0.0f) {
                for (int32_t i = 0; i < n; ++i)
                    y[i] += wet * s[i];
            } else if (dry != 0.0f) {
                for (int32_t i = 0; i < n; ++i)
                    y[i] += dry * x[i];
            }
        }
    }
}

void CEcho::SetSampleRate(int32_t rate) {
    m_sampleRate = rate;
    for (int32_t line = 0; line < kLineCount; ++line) {
        // Echoes in flight are dropped; the line keeps its settings.
        MakeDelayLines(line);
        m_lines[line].lfo->SetSampleRate(rate);
        for (int32_t role = 0; role < 4; ++role)
            ApplyToLine(8 * line + role, m_values[8 * line + role]);
    }
}

void CEcho::SetBufferSize(int32_t frames) {
    for (auto& line : m_scratch)
        for (auto& scratch : line) scratch.Resize(frames);
    m_modulation.Resize(frames);
    for (int32_t i = 0; i < frames; ++i)
        m_modulation[static_cast<size_t>(i)] = 1.0f;
    m_blockSize = frames;
}
