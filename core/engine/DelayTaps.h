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
// D is limited to the line's longest delay, maxDelay.
inline Tap tapFor(double D, double maxDelay) {
    if (!(D <= maxDelay)) D = maxDelay;
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
// delay (DelayEngine::maxDelayFor(lineFrames)). Frame j writes the line of
// lineFrames frames at writePos - 1 - j (wrapped). Returns the smoothed value
// after the last frame.
double computeTaps(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                   double modDepth, double baseDelay, int32_t writePos, int32_t lineFrames, TapRun& taps);

// The taps alone, from smoothed values already worked out.
void tapsFromSmoothed(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                      int32_t writePos, int32_t lineFrames, TapRun& taps);

namespace delay_taps {
// The two forms behind computeTaps, for tests; computeAvx2 only where
// engine_form::runs(Form::Avx2). These and the functions above are built
// for x86-64 targets only (x86/DelayTaps.cpp).
double computeBaseline(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                       double modDepth, double baseDelay, int32_t writePos, int32_t lineFrames, TapRun& taps);
double computeAvx2(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                   double modDepth, double baseDelay, int32_t writePos, int32_t lineFrames, TapRun& taps);
void tapsBaseline(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                  int32_t writePos, int32_t lineFrames, TapRun& taps);
void tapsAvx2(const double* smoothed, int32_t count, double modDepth, double baseDelay,
              int32_t writePos, int32_t lineFrames, TapRun& taps);
}  // namespace delay_taps
