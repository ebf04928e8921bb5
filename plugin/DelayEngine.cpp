#include "DelayEngine.h"

#include <cmath>
#include <limits>

namespace {

constexpr int32_t wrap(int32_t position) {
    // Positions stay within -2..2*kLineFrames, so one correction suffices.
    if (position < 0) return position + DelayEngine::kLineFrames;
    if (position >= DelayEngine::kLineFrames) return position - DelayEngine::kLineFrames;
    return position;
}

double filterStep(const BiquadCoeffs& c, double state[2], double u) {
    const double w = c.gain * u + c.rec1 * state[1] + c.rec2 * state[0];
    const double y = w + c.num1 * state[1] + c.num2 * state[0];
    state[0] = state[1];
    state[1] = w;
    return y;
}

}  // namespace

void DelayEngine::setDelay(float delaySeconds, float depthSeconds, float rateHz, float sampleRate) {
    baseDelay = std::floor(static_cast<double>(delaySeconds) * sampleRate + 0.5);
    modDepth = std::floor(static_cast<double>(sampleRate) * depthSeconds + 0.5);
    // Truncation to an unsigned 32-bit increment. An increment of a whole
    // cycle or more per sample (only at absurdly low sample rates) is the same
    // oscillator reduced modulo one cycle; that keeps the conversion defined.
    double increment = rateHz * 4294967296.0 / sampleRate;
    if (!std::isfinite(increment) || increment < 0.0) increment = 0.0;
    if (increment >= 4294967296.0) increment = std::fmod(increment, 4294967296.0);
    lfoIncrement = static_cast<uint32_t>(increment);
}

void DelayEngine::setFeedbackFilter(float centreHz, float q, float sampleRate) {
    const float octaves = static_cast<float>(qToOctaves(q));
    const float f = static_cast<float>(static_cast<double>(centreHz) / sampleRate);
    coeffs.setBandPass(f, octaves);
    // Glide length: 20 ms (the single-precision value nearest 0.02, applied in
    // double precision) truncated to samples, kept within the counter's range.
    const double length = sampleRate * 0.019999999552965164;
    const int32_t n = length < 2147483647.0 ? static_cast<int32_t>(length)
                                            : std::numeric_limits<int32_t>::max();
    ramp.start(coeffs, n);
}

void DelayEngine::buildMatrix(float* target, float gain, float angle, bool swapLR, bool swapMS,
                              bool invert) {
    float c = static_cast<float>(std::cos(angle));
    float s = static_cast<float>(std::sin(angle));
    if (invert) {
        c = -c;
        s = -s;
    }
    const float cG = c * gain;
    const float sG = s * gain;
    if (!swapLR && !swapMS) {
        target[0] = cG, target[1] = -sG, target[2] = sG, target[3] = cG;
    } else if (!swapLR && swapMS) {
        target[0] = cG, target[1] = sG, target[2] = sG, target[3] = -cG;
    } else if (swapLR && !swapMS) {
        target[0] = -sG, target[1] = cG, target[2] = cG, target[3] = sG;
    } else {
        target[0] = sG, target[1] = cG, target[2] = -cG, target[3] = sG;
    }
}

StereoFrame DelayEngine::readInterpolated(int32_t index, float frac) const {
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
    const bool contiguous = first <= kLineFrames - 4;
    const StereoFrame& xm1 = line[first];
    const StereoFrame& x0 = line[contiguous ? first + 1 : wrap(index)];
    const StereoFrame& xp1 = line[contiguous ? first + 2 : wrap(index + 1)];
    const StereoFrame& xp2 = line[contiguous ? first + 3 : wrap(index + 2)];
    return {static_cast<float>(de * xm1.left + ce * xp2.left + cg * xp1.left + dg * x0.left),
            static_cast<float>(de * xm1.right + ce * xp2.right + cg * xp1.right + dg * x0.right)};
}

StereoFrame DelayEngine::processSample(float xL, float xR) {
    lfoPhase += lfoIncrement;
    const double v = lfoShape(lfoPhase);
    lfoSmoothed += (v - lfoSmoothed) * lfoCoef;

    double D = std::fabs(lfoSmoothed * modDepth + baseDelay);
    // Never read past the oldest frame the line holds (a longer delay would
    // otherwise wrap round onto the newest frames).
    if (!(D <= kMaxDelay)) D = kMaxDelay;
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
    slot.left = static_cast<float>(filterStep(coeffs, filterStateL, uL));
    const double uR = static_cast<double>(fbMatrix[2]) * r.left +
                      static_cast<double>(fbMatrix[3]) * r.right + slot.right;
    slot.right = static_cast<float>(filterStep(coeffs, filterStateR, uR));
    return wet;
}
