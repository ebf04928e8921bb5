// The SSE2 form of the bound on what the feedback writes back into the line
// (FilterLanes.h) against DelayEngine::limitLine, bit for bit (x86 only).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "DelayEngine.h"
#include "FilterLanes.h"

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The SSE2 form, both lanes, rounded to single precision as the loops store it.
void vectorLimit(double a, double b, float out[2]) {
    const __m128d y = limitLine(_mm_set_pd(b, a));
    _mm_storel_pi(reinterpret_cast<__m64*>(out), _mm_cvtpd_ps(y));
}

}  // namespace

TEST(FilterLanes, VectorWriteBackMatchesTheScalarBitForBit) {
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> scale(-40.0, 40.0);
    std::vector<double> values = {0.0, -0.0, 2.0, -2.0, std::nextafter(2.0, 3.0), 1e-310,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(), 1e300};
    for (int i = 0; i < 20000; ++i) values.push_back(std::ldexp(scale(rng), -static_cast<int>(rng() % 6)));
    // Each value beside an ordinary one and beside one past the knee, in
    // both lanes: the vector form decides for the pair at once.
    for (double v : values)
        for (double other : {0.5, 7.0}) {
            float out[2];
            vectorLimit(v, other, out);
            ASSERT_TRUE(sameBits(out[0], DelayEngine::limitLine(v))) << v << " beside " << other;
            ASSERT_TRUE(sameBits(out[1], DelayEngine::limitLine(other))) << other;
            vectorLimit(other, v, out);
            ASSERT_TRUE(sameBits(out[1], DelayEngine::limitLine(v))) << v << " beside " << other;
        }
}
