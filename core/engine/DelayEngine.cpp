#include "DelayEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>


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


int32_t DelayEngine::framesFor(float sampleRate, float longestDelaySeconds, float longestDepthSeconds) {
    if (!(sampleRate > 0.0f) || !std::isfinite(sampleRate)) return kMinLineFrames;
    const float rate = std::min(sampleRate, kMaxSizedRate);
    // As setDelay rounds them; with the smoothed shape value within -1..1 the
    // delay is at most their sum.
    const double base = std::floor(static_cast<double>(longestDelaySeconds) * rate + 0.5);
    const double depth = std::floor(static_cast<double>(rate) * longestDepthSeconds + 0.5);
    const double frames = base + depth + 4.0;
    return frames > kMinLineFrames ? static_cast<int32_t>(frames) : kMinLineFrames;
}

void DelayEngine::adoptLine(std::vector<StereoFrame>& bigger) {
    const int32_t n = lineFrames();
    const int32_t m = static_cast<int32_t>(bigger.size());
    if (m <= n) return;
    // Age a (0..n-2) moves to position a of the new line, whose write
    // position is 0; the old line's slot of age n-1 holds the copy of the
    // newest input at the next write position (age -1), which goes to the
    // new line's last frame. Everything older stays zero.
    const auto from = line.begin() + writePos;
    std::copy(from, line.end(), bigger.begin());
    std::copy(line.begin(), from, bigger.begin() + (n - writePos));
    bigger[static_cast<size_t>(m - 1)] = bigger[static_cast<size_t>(n - 1)];
    bigger[static_cast<size_t>(n - 1)] = {0.0f, 0.0f};
    line.swap(bigger);
    writePos = 0;
}
