// Complex transforms and the minimum-phase design tools behind the step tables and the AntiAlias
// filters. Used only while tables and filters are built (they allocate); never while rendering.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

using ComplexVector = std::vector<std::complex<double>>;

// In-place complex transform of data.size() points: radix-2 when the length is a power of two,
// otherwise a direct discrete transform. The inverse divides by the length. Forward uses e^(−i…).
void Transform(ComplexVector& data, bool inverse);
// Radix-2 transform; the length must be a power of two (2, 4, 8, …).
void FastTransform(ComplexVector& data, bool inverse);
// Direct O(n²) discrete transform of any length.
void DirectTransform(ComplexVector& data, bool inverse);

// Blackman window of n points: 0.42 − 0.5·cos(2πk/(n − 1)) + 0.08·cos(4πk/(n − 1)).
std::vector<double> BlackmanWindow(int32_t n);

// Real cepstrum of a real sequence: forward transform, natural log of the magnitude, inverse.
// Magnitudes are floored at 1e-100 so spectral nulls stay finite.
ComplexVector RealCepstrum(const std::vector<double>& signal);

// Minimum-phase sequence from a real cepstrum: fold the cepstrum onto its causal half, forward
// transform, complex exponential, inverse transform; the real parts.
std::vector<double> MinimumPhase(const ComplexVector& cepstrum);

// A windowed sinc of 2·Z·P + 1 points (x from −Z to Z, Blackman window) turned minimum phase.
// The cepstrum is taken over a zero-padded power-of-two length of at least 4 times the points, which
// keeps cepstral aliasing negligible and the design fast; the first 2·Z·P + 1 values are returned.
std::vector<double> MinimumPhaseSinc(int32_t zeroCrossings, int32_t pointsPerSample);
