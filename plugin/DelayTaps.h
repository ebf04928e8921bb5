// Read positions for a run of frames whose delay moves: the LFO smoothing
// over the frames' shape values, then for each frame the age T of the read
// and the four interpolation weights (ages T-1, T, T+1, T+2), exactly as
// processSample and readInterpolated form them.
#pragma once

#include <cstdint>

struct TapRun {
    static constexpr int32_t kMaxFrames = 64;
    int32_t ages[kMaxFrames];
    double weights[4][kMaxFrames];
};

// For count <= kMaxFrames frames: smoothed += (shape value - smoothed) * lfoCoef,
// then D = |smoothed * modDepth + baseDelay|, limited to the line's longest
// delay. Returns the smoothed value after the last frame.
double computeTaps(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                   double modDepth, double baseDelay, TapRun& taps);

// The taps alone, from smoothed values already worked out.
void tapsFromSmoothed(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                      TapRun& taps);

namespace delay_taps {
// The two forms behind computeTaps, for tests; computeAvx2 only where
// haveAvx2() says so.
double computeBaseline(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                       double modDepth, double baseDelay, TapRun& taps);
double computeAvx2(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                   double modDepth, double baseDelay, TapRun& taps);
void tapsBaseline(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                  TapRun& taps);
void tapsAvx2(const double* smoothed, int32_t count, double modDepth, double baseDelay,
              TapRun& taps);
}  // namespace delay_taps
