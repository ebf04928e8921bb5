// The audio engine's state and its per-sample arithmetic: a stereo delay line
// read at an LFO-modulated position, a wet and a feedback matrix, and a
// band-pass in the feedback path.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "BiquadCoeffs.h"
#include "LfoShapes.h"

struct StereoFrame {
    float left;
    float right;
};

struct DelayEngine {
    // The line holds at least this many frames (8.2 s at 48 kHz); see
    // framesFor for higher rates.
    static constexpr int32_t kMinLineFrames = 393216;  // 3 * 131072
    // The longest delay whose four interpolation taps (ages T-1..T+2) all lie
    // in the history a line of `frames` holds (ages -1..frames-2).
    static constexpr double maxDelayFor(int32_t frames) { return frames - 4; }
    // The line that holds the longest free-running delay and modulation
    // depth (rounded to frames as setDelay rounds them) at
    // `sampleRate`, never fewer than kMinLineFrames frames; rates beyond
    // kMaxSizedRate get the line of that rate (their longest delays are
    // cut short), so that no rate asks for an absurd amount of memory.
    static constexpr float kMaxSizedRate = 768000.0f;
    static int32_t framesFor(float sampleRate, float longestDelaySeconds, float longestDepthSeconds);

    // What the feedback writes back into the line. A delay swept faster than
    // one sample per sample reads parts of its history more than once, so
    // with high feedback the loop gain can exceed one. A value of magnitude
    // up to kLineKnee (+6 dBFS) is written as it is; above it the curve
    // kLineCeiling - kLineBend / |y| (value and slope continuous at the knee)
    // bends it towards kLineCeiling (+12 dBFS), keeping its sign. A
    // not-a-number becomes 0.
    static constexpr double kLineKnee = 2.0;
    static constexpr double kLineCeiling = 4.0;
    static constexpr double kLineBend = (kLineCeiling - kLineKnee) * (kLineCeiling - kLineKnee);
    // kLineCeiling - kLineBend / kLineKnee == kLineKnee, with slope
    // kLineBend / kLineKnee^2 == 1 there.
    static_assert(kLineCeiling - kLineBend / kLineKnee == kLineKnee);
    static_assert(kLineBend / (kLineKnee * kLineKnee) == 1.0);

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
    // The line's frames; its length is set by resizeLine, off the audio path.
    std::vector<StereoFrame> line = std::vector<StereoFrame>(kMinLineFrames);

    int32_t lineFrames() const { return static_cast<int32_t>(line.size()); }
    double maxDelay() const { return maxDelayFor(lineFrames()); }
    // Takes `bigger` (zeroed, longer than the line) as the line, keeping the
    // history: each age holds what it held. `bigger` is left holding the old
    // line. Neither allocates nor frees.
    void adoptLine(std::vector<StereoFrame>& bigger);

    void setDelay(float delaySeconds, float depthSeconds, float rateHz, float sampleRate);
    void setFeedbackFilter(float centreHz, float q, float sampleRate);
    static void buildMatrix(float* target, float gain, float angle, bool swapLR, bool swapMS,
                            bool invert);
    // One sample through the engine with the current shape.
    StereoFrame processSample(float xL, float xR) { return processSampleWith(lfoShape, xL, xR); }
    // The same with the shape given as a callable, so a block loop can have
    // the shape inlined; the arithmetic is identical.
    template <typename Shape>
    StereoFrame processSampleWith(Shape shape, float xL, float xR);
    StereoFrame readInterpolated(int32_t index, float frac) const;

    // Reduces a position in -frames..2*frames-1 into a line of `frames`.
    static int32_t wrapIn(int32_t position, int32_t frames) {
        if (position < 0) return position + frames;
        if (position >= frames) return position - frames;
        return position;
    }
    int32_t wrap(int32_t position) const { return wrapIn(position, lineFrames()); }
    // A feedback sample as written back into the line (see kLineKnee).
    static float limitLine(double y) {
        const double a = std::fabs(y);
        if (a <= kLineKnee) [[likely]]
            return static_cast<float>(y);
        if (!(a > kLineKnee)) return 0.0f;  // not a number
        return static_cast<float>(std::copysign(kLineCeiling - kLineBend / a, y));
    }
    // Direct form II with double-precision state: {older w2, newer w1}.
    static double filterStep(const BiquadCoeffs& c, double state[2], double u) {
        const double w = c.gain * u + c.rec1 * state[1] + c.rec2 * state[0];
        const double y = w + c.num1 * state[1] + c.num2 * state[0];
        state[0] = state[1];
        state[1] = w;
        return y;
    }
};

inline StereoFrame DelayEngine::readInterpolated(int32_t index, float frac) const {
    // Intermediate arithmetic is in double precision; e, g and d*e are
    // rounded to single precision, as is the result.
    const double c = frac;
    const double d = 1.0 - c;
    const double e = static_cast<float>(-0.5 * c * d);
    const double g = static_cast<float>(1.0 - e);
    const double de = static_cast<float>(d * e);
    const double ce = c * e;
    const double cg = c * g;
    const double dg = d * g;
    // Four consecutive frames; only a read that straddles the line's end
    // needs each position reduced on its own.
    const int32_t first = wrap(index - 1);
    const bool contiguous = first <= lineFrames() - 4;
    const StereoFrame& xm1 = line[first];
    const StereoFrame& x0 = line[contiguous ? first + 1 : wrap(index)];
    const StereoFrame& xp1 = line[contiguous ? first + 2 : wrap(index + 1)];
    const StereoFrame& xp2 = line[contiguous ? first + 3 : wrap(index + 2)];
    return {static_cast<float>(de * xm1.left + ce * xp2.left + cg * xp1.left + dg * x0.left),
            static_cast<float>(de * xm1.right + ce * xp2.right + cg * xp1.right + dg * x0.right)};
}

template <typename Shape>
inline StereoFrame DelayEngine::processSampleWith(Shape shape, float xL, float xR) {
    lfoPhase += lfoIncrement;
    const double v = shape(lfoPhase);
    lfoSmoothed += (v - lfoSmoothed) * lfoCoef;

    double D = std::fabs(lfoSmoothed * modDepth + baseDelay);
    // Never read past the oldest frame the line holds (a longer delay would
    // otherwise wrap round onto the newest frames).
    if (!(D <= maxDelay())) D = maxDelay();
    const int32_t T = static_cast<int32_t>(D);
    const float frac = static_cast<float>(D - T);

    writePos = wrap(writePos - 1);
    line[writePos] = {xL, xR};
    line[wrap(writePos - 1)] = {xL, xR};

    const StereoFrame r = readInterpolated(writePos + T, frac);
    const StereoFrame wet = {
        static_cast<float>(static_cast<double>(wetMatrix[0]) * r.left +
                           static_cast<double>(wetMatrix[1]) * r.right),
        static_cast<float>(static_cast<double>(wetMatrix[2]) * r.left +
                           static_cast<double>(wetMatrix[3]) * r.right)};

    if (ramp.count > 0) ramp.step(coeffs);

    StereoFrame& slot = line[writePos];
    const double uL = static_cast<double>(fbMatrix[0]) * r.left +
                      static_cast<double>(fbMatrix[1]) * r.right + slot.left;
    slot.left = limitLine(filterStep(coeffs, filterStateL, uL));
    const double uR = static_cast<double>(fbMatrix[2]) * r.left +
                      static_cast<double>(fbMatrix[3]) * r.right + slot.right;
    slot.right = limitLine(filterStep(coeffs, filterStateR, uR));
    return wet;
}

