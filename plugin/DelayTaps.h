// Read positions: the age T of a read and its four interpolation weights
// (ages T-1, T, T+1, T+2), for one delay or for a run of frames whose delay
// moves (the LFO smoothing over the frames' shape values first), exactly as
// processSample and readInterpolated form them.
#pragma once

#include <cstdint>

#include "DelayEngine.h"

// The read position's age and interpolation weights for one delay, as
// readInterpolated forms them.
struct Tap {
    int32_t T;
    double w[4];  // for ages T-1, T, T+1, T+2
};
inline Tap tapFor(double D) {
    if (!(D <= DelayEngine::kMaxDelay)) D = DelayEngine::kMaxDelay;
    Tap tap;
    tap.T = static_cast<int32_t>(D);
    const float frac = static_cast<float>(D - tap.T);
    const double c = frac;
    const double d = 1.0 - c;
    const double ew = static_cast<float>(-0.5 * c * d);
    const double g = static_cast<float>(1.0 - ew);
    tap.w[0] = static_cast<float>(d * ew);
    tap.w[1] = d * g;
    tap.w[2] = c * g;
    tap.w[3] = c * ew;
    return tap;
}

// A run of frames' taps, one per frame.
struct TapRun {
    static constexpr int32_t kMaxFrames = 128;
    int32_t ages[kMaxFrames];
    double weights[4][kMaxFrames];
    int32_t first[kMaxFrames];  // where in the line the oldest tap (age T-1) is
    int32_t youngest;           // the smallest of the run's ages
};

// For count <= kMaxFrames frames: smoothed += (shape value - smoothed) * lfoCoef,
// then D = |smoothed * modDepth + baseDelay|, limited to the line's longest
// delay. Frame j writes the line at writePos - 1 - j (wrapped). Returns the
// smoothed value after the last frame.
double computeTaps(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                   double modDepth, double baseDelay, int32_t writePos, TapRun& taps);

// The taps alone, from smoothed values already worked out.
void tapsFromSmoothed(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                      int32_t writePos, TapRun& taps);

namespace delay_taps {
// The two forms behind computeTaps, for tests; computeAvx2 only where
// haveAvx2() says so.
double computeBaseline(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                       double modDepth, double baseDelay, int32_t writePos, TapRun& taps);
double computeAvx2(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                   double modDepth, double baseDelay, int32_t writePos, TapRun& taps);
void tapsBaseline(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                  int32_t writePos, TapRun& taps);
void tapsAvx2(const double* smoothed, int32_t count, double modDepth, double baseDelay,
              int32_t writePos, TapRun& taps);
}  // namespace delay_taps
