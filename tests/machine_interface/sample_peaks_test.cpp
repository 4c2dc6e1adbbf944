// The block peaks, four lanes at a time, against std::max walking the samples in order: the same
// value for every length (the lanes and the tail), with NaNs, signed zeros and infinities about.
#include "machine_interface/sample_peaks.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

std::vector<float> Samples(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-2.0f, 2.0f);
    std::vector<float> x(count);
    for (float& value : x) value = uniform(random);
    return x;
}

bool SameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

} // namespace

TEST(SamplePeaks, MatchTheInOrderMaximumForEveryLengthAndOddValue) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float specials[] = {nan, -0.0f, INFINITY, -INFINITY, 1e-40f};
    for (size_t count = 0; count <= 13; ++count) {
        for (unsigned seed = 0; seed < 6; ++seed) {
            std::vector<float> x = Samples(count, seed + 10 * static_cast<unsigned>(count));
            // Put a special value at one place (or none with seed 5).
            if (count > 0 && seed < 5) x[seed % count] = specials[seed];
            float magnitude = 0.25f, counting = 0.25f, power = 0.0f;
            for (float v : x) {
                magnitude = std::max(magnitude, std::fabs(v));
                counting = std::max(counting, std::isnan(v) ? INFINITY : std::fabs(v));
                power = std::max(power, (0.5f * v) * (0.5f * v));
            }
            const auto n = static_cast<int32_t>(count);
            EXPECT_TRUE(SameBits(sample_peaks::Magnitude(x.data(), n, 0.25f), magnitude)) << count << " " << seed;
            EXPECT_TRUE(SameBits(sample_peaks::MagnitudeCountingNaN(x.data(), n, 0.25f), counting))
                << count << " " << seed;
            std::vector<float> out(count, 9.0f);
            EXPECT_TRUE(SameBits(sample_peaks::ScaledPower(x.data(), out.data(), n, 0.5f), power));
            std::vector<float> scaled = x;
            const float scaledPeak = sample_peaks::ScaleAndMagnitude(scaled.data(), n, 0.5f);
            float expectedPeak = 0.0f;
            for (size_t i = 0; i < count; ++i) {
                EXPECT_TRUE(SameBits(out[i], 0.5f * x[i]));
                EXPECT_TRUE(SameBits(scaled[i], 0.5f * x[i]));
                expectedPeak = std::max(expectedPeak, std::fabs(0.5f * x[i]));
            }
            EXPECT_TRUE(SameBits(scaledPeak, expectedPeak));
        }
    }
}
