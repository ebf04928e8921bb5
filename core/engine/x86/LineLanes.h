// A stereo frame of the delay line in the two lanes of an SSE2 double register,
// and the interpolated read of four frames, as DelayEngine::readInterpolated
// forms it. Loads and stores go through intrinsics that may alias the
// frame's floats.
#pragma once

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#include "DelayEngine.h"

namespace line_lanes {

inline __m128d loadFrame(const StereoFrame& frame) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&frame))));
}
// Rounded to single precision on the way.
inline void storeFrame(StereoFrame& frame, __m128d value) {
    _mm_storel_pi(reinterpret_cast<__m64*>(&frame), _mm_cvtpd_ps(value));
}

// Four frames of the line (ages T-1..T+2) interpolated and rounded to single
// precision.
inline __m128d interpolate(const StereoFrame& xm1, const StereoFrame& x0, const StereoFrame& xp1,
                           const StereoFrame& xp2, __m128d w0, __m128d w1, __m128d w2, __m128d w3) {
    __m128d acc = _mm_mul_pd(w0, loadFrame(xm1));
    acc = _mm_add_pd(acc, _mm_mul_pd(w3, loadFrame(xp2)));
    acc = _mm_add_pd(acc, _mm_mul_pd(w2, loadFrame(xp1)));
    acc = _mm_add_pd(acc, _mm_mul_pd(w1, loadFrame(x0)));
    return _mm_cvtps_pd(_mm_cvtpd_ps(acc));
}

// One frame's read: the four frames from `first` (the oldest tap, in a line
// of N frames) on. Only a read that straddles the line's end needs each
// position reduced on its own.
inline __m128d readFrame(const StereoFrame* line, int32_t N, int32_t first, __m128d w0, __m128d w1,
                         __m128d w2, __m128d w3) {
    if (first <= N - 4) [[likely]]
        return interpolate(line[first], line[first + 1], line[first + 2], line[first + 3], w0, w1, w2, w3);
    const auto at = [&](int32_t k) -> const StereoFrame& {
        return line[first + k < N ? first + k : first + k - N];
    };
    return interpolate(at(0), at(1), at(2), at(3), w0, w1, w2, w3);
}

}  // namespace line_lanes
