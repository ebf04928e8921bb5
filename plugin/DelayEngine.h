// The audio engine's state and its per-sample arithmetic: a stereo delay line
// read at an LFO-modulated position, a wet and a feedback matrix, and a
// band-pass in the feedback path.
#pragma once

#include <cstdint>

#include "BiquadCoeffs.h"
#include "LfoShapes.h"

struct StereoFrame {
    float left;
    float right;
};

struct DelayEngine {
    static constexpr int32_t kLineFrames = 393216;  // 3 * 131072
    // The longest delay whose four interpolation taps (ages T-1..T+2) all lie
    // in the history the line holds (ages -1..kLineFrames-2).
    static constexpr double kMaxDelay = kLineFrames - 4;

    float wetMatrix[4] = {0, 0, 0, 0};
    float fbMatrix[4] = {0, 0, 0, 0};
    int32_t writePos = 0;
    LfoShape lfoShape = &trueSine;
    uint32_t lfoPhase = 0;
    uint32_t lfoIncrement = 0;
    float lfoCoef = 0;
    double lfoSmoothed = 0;
    double modDepth = 0;
    double baseDelay = 1024;
    double filterStateL[2] = {0, 0};  // older w2, newer w1
    double filterStateR[2] = {0, 0};
    BiquadCoeffs coeffs;
    CoeffRamp ramp;
    StereoFrame line[kLineFrames] = {};

    void setDelay(float delaySeconds, float depthSeconds, float rateHz, float sampleRate);
    void setFeedbackFilter(float centreHz, float q, float sampleRate);
    static void buildMatrix(float* target, float gain, float angle, bool swapLR, bool swapMS,
                            bool invert);
    StereoFrame processSample(float xL, float xR);
    StereoFrame readInterpolated(int32_t index, float frac) const;
};
