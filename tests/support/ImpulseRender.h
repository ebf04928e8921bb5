// Renders blocks through a plug-in instance and models the first two echoes
// of an impulse from the engine's own filter arithmetic.
#pragma once

#include <vector>

#include "BiquadCoeffs.h"
#include "HostKit.h"

struct StereoBuffer {
    std::vector<float> left, right;
    explicit StereoBuffer(size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
    size_t size() const { return left.size(); }
};

// Runs `input` through the plug-in in blocks of `block` frames.
inline StereoBuffer render(hostkit::Plugin& plugin, const StereoBuffer& input, int block = 512,
                           bool replace = true) {
    StereoBuffer out(input.size());
    for (size_t start = 0; start < input.size(); start += block) {
        const int n = static_cast<int>(std::min<size_t>(block, input.size() - start));
        plugin.processBlock(&input.left[start], &input.right[start], &out.left[start],
                            &out.right[start], n, replace);
    }
    return out;
}

inline StereoBuffer leftImpulse(size_t frames) {
    StereoBuffer in(frames);
    in.left[0] = 1.0f;
    return in;
}

// One direct-form-II channel exactly as the engine filters its feedback sum.
struct FilterModel {
    double w1 = 0, w2 = 0;
    float run(const BiquadCoeffs& c, double u) {
        const double w = c.gain * u + c.rec1 * w1 + c.rec2 * w2;
        const double y = w + c.num1 * w1 + c.num2 * w2;
        w2 = w1;
        w1 = w;
        return static_cast<float>(y);
    }
};

// The band-passed impulse the line holds after the first pass, including the
// coefficient glide that starts with the first block.
inline std::vector<float> firstPassResponse(float centreHz, float q, float rate, size_t frames,
                                            BiquadCoeffs* settled = nullptr) {
    BiquadCoeffs coeffs;
    CoeffRamp ramp;
    coeffs.setBandPass(centreHz / rate, static_cast<float>(qToOctaves(q)));
    ramp.start(coeffs, static_cast<int32_t>(rate * 0.019999999552965164));
    FilterModel filter;
    std::vector<float> h(frames);
    for (size_t k = 0; k < frames; ++k) {
        if (ramp.count > 0) ramp.step(coeffs);
        h[k] = filter.run(coeffs, k == 0 ? 1.0 : 0.0);
    }
    if (settled) *settled = coeffs;
    return h;
}
