// The engine's frame loop for one block. Left and right run side by side in
// the two lanes of SSE2 double registers, and the engine's running state is
// kept in registers for the block. Every lane performs exactly the scalar
// operations of DelayEngine::processSample in the same order, so the output
// is bit-identical to running that function frame by frame.
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "DelayEngine.h"

struct BlockIo {
    const float* inL;  // null: silence
    const float* inR;
    float* outL;  // null: skipped
    float* outR;
    int32_t frameCount;
    bool replace;
    double dryGain;
};

namespace engine_loop {

inline __m128d loadFrame(const StereoFrame& frame) {
    return _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(&frame))));
}
inline void storeFrame(StereoFrame& frame, __m128d value) {
    _mm_store_sd(reinterpret_cast<double*>(&frame), _mm_castps_pd(_mm_cvtpd_ps(value)));
}
// Rounds both lanes to single precision and back, as storing to a float does.
inline __m128d roundToFloat(__m128d value) { return _mm_cvtps_pd(_mm_cvtpd_ps(value)); }
inline __m128d pair(float left, float right) { return _mm_set_pd(right, left); }

}  // namespace engine_loop

template <typename Shape>
void runEngineBlock(DelayEngine& e, uint32_t& noiseSeed, Shape shape, const BlockIo& io) {
    using namespace engine_loop;
    constexpr int32_t N = DelayEngine::kLineFrames;

    uint32_t phase = e.lfoPhase;
    const uint32_t increment = e.lfoIncrement;
    const double lfoCoef = e.lfoCoef;
    double smoothed = e.lfoSmoothed;
    const double modDepth = e.modDepth;
    const double baseDelay = e.baseDelay;
    int32_t writePos = e.writePos;
    uint32_t seed = noiseSeed;

    // Matrix columns as lane pairs: wet = colL * rL + colR * rR.
    const __m128d wetColL = pair(e.wetMatrix[0], e.wetMatrix[2]);
    const __m128d wetColR = pair(e.wetMatrix[1], e.wetMatrix[3]);
    const __m128d fbColL = pair(e.fbMatrix[0], e.fbMatrix[2]);
    const __m128d fbColR = pair(e.fbMatrix[1], e.fbMatrix[3]);
    __m128d w1 = _mm_set_pd(e.filterStateR[1], e.filterStateL[1]);
    __m128d w2 = _mm_set_pd(e.filterStateR[0], e.filterStateL[0]);
    __m128d gain = _mm_set1_pd(e.coeffs.gain), num1 = _mm_set1_pd(e.coeffs.num1),
            num2 = _mm_set1_pd(e.coeffs.num2), rec1 = _mm_set1_pd(e.coeffs.rec1),
            rec2 = _mm_set1_pd(e.coeffs.rec2);
    StereoFrame* const line = e.line;
    const __m128d lineMax = _mm_set1_pd(DelayEngine::kLineLimit);
    const __m128d lineMin = _mm_set1_pd(-DelayEngine::kLineLimit);

    // Frames are taken in chunks: the LFO, the delay and the interpolation
    // weights of a chunk depend only on the LFO recursion, so they are worked
    // out ahead of the serial audio loop, which keeps that loop short.
    constexpr int32_t kChunk = 64;
    int32_t ages[kChunk];
    double weights[kChunk][4];  // for ages T-1, T, T+1, T+2

    for (int32_t chunkStart = 0; chunkStart < io.frameCount; chunkStart += kChunk) {
        const int32_t chunkEnd = std::min(io.frameCount, chunkStart + kChunk);
        for (int32_t i = chunkStart; i < chunkEnd; ++i) {
            phase += increment;
            const double v = shape(phase);
            smoothed += (v - smoothed) * lfoCoef;
            double D = std::fabs(smoothed * modDepth + baseDelay);
            if (!(D <= DelayEngine::kMaxDelay)) D = DelayEngine::kMaxDelay;
            const int32_t T = static_cast<int32_t>(D);
            const float frac = static_cast<float>(D - T);
            const double c = frac;
            const double d = 1.0 - c;
            const double ew = static_cast<float>(-0.5 * c * d);
            const double g = static_cast<float>(1.0 - ew);
            ages[i - chunkStart] = T;
            double* w = weights[i - chunkStart];
            w[0] = static_cast<float>(d * ew);
            w[1] = d * g;
            w[2] = c * g;
            w[3] = c * ew;
        }
        for (int32_t i = chunkStart; i < chunkEnd; ++i) {
            const double noise = static_cast<double>(static_cast<int32_t>(seed)) * 4.656612889969227e-25f;
            seed = seed * 1664525u + 1013904223u;
            // Both inputs are read before either output is written (hosts often
            // process in place); non-finite samples count as silence.
            float inputL = io.inL ? io.inL[i] : 0.0f;
            float inputR = io.inR ? io.inR[i] : 0.0f;
            if (!std::isfinite(inputL)) inputL = 0.0f;
            if (!std::isfinite(inputR)) inputR = 0.0f;
            const float xL = static_cast<float>(inputL + noise);
            const float xR = static_cast<float>(inputR + noise);
            const int32_t T = ages[i - chunkStart];
            const double* wt = weights[i - chunkStart];

            // Write the input twice (the next write position too).
            writePos = writePos == 0 ? N - 1 : writePos - 1;
            line[writePos] = {xL, xR};
            line[writePos == 0 ? N - 1 : writePos - 1] = {xL, xR};
            const __m128d x = loadFrame(line[writePos]);  // the inputs as stored

            // Interpolated read of ages T-1..T+2.
            const int32_t first = DelayEngine::wrap(writePos + T - 1);
            __m128d acc;
            if (first <= N - 4) {
                acc = _mm_mul_pd(_mm_set1_pd(wt[0]), loadFrame(line[first]));
                acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(wt[3]), loadFrame(line[first + 3])));
                acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(wt[2]), loadFrame(line[first + 2])));
                acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(wt[1]), loadFrame(line[first + 1])));
            } else {
                const int32_t index = writePos + T;
                acc = _mm_mul_pd(_mm_set1_pd(wt[0]), loadFrame(line[first]));
                acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(wt[3]),
                                                 loadFrame(line[DelayEngine::wrap(index + 2)])));
                acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(wt[2]),
                                                 loadFrame(line[DelayEngine::wrap(index + 1)])));
                acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(wt[1]),
                                                 loadFrame(line[DelayEngine::wrap(index)])));
            }
            const __m128d r = roundToFloat(acc);
            const __m128d rL = _mm_unpacklo_pd(r, r);
            const __m128d rR = _mm_unpackhi_pd(r, r);
            const __m128d wet =
                roundToFloat(_mm_add_pd(_mm_mul_pd(wetColL, rL), _mm_mul_pd(wetColR, rR)));

            // Coefficient glide, then the feedback through the band-pass.
            if (e.ramp.count > 0) {
                e.ramp.step(e.coeffs);
                gain = _mm_set1_pd(e.coeffs.gain);
                num1 = _mm_set1_pd(e.coeffs.num1);
                num2 = _mm_set1_pd(e.coeffs.num2);
                rec1 = _mm_set1_pd(e.coeffs.rec1);
                rec2 = _mm_set1_pd(e.coeffs.rec2);
            }
            const __m128d u = _mm_add_pd(_mm_add_pd(_mm_mul_pd(fbColL, rL), _mm_mul_pd(fbColR, rR)), x);
            const __m128d w = _mm_add_pd(_mm_add_pd(_mm_mul_pd(gain, u), _mm_mul_pd(rec1, w1)),
                                         _mm_mul_pd(rec2, w2));
            const __m128d y = _mm_add_pd(_mm_add_pd(w, _mm_mul_pd(num1, w1)), _mm_mul_pd(num2, w2));
            w2 = w1;
            w1 = w;
            // max first, so that a not-a-number becomes the lower limit.
            storeFrame(line[writePos], _mm_min_pd(_mm_max_pd(y, lineMin), lineMax));

            // Dry plus wet.
            const __m128d out =
                _mm_add_pd(_mm_mul_pd(_mm_set1_pd(io.dryGain), x), wet);
            const double yL = _mm_cvtsd_f64(out);
            const double yR = _mm_cvtsd_f64(_mm_unpackhi_pd(out, out));
            if (io.replace) {
                if (io.outL) io.outL[i] = static_cast<float>(yL);
                if (io.outR) io.outR[i] = static_cast<float>(yR);
            } else {
                if (io.outL) io.outL[i] = static_cast<float>(io.outL[i] + yL);
                if (io.outR) io.outR[i] = static_cast<float>(io.outR[i] + yR);
            }
        }
    }

    e.lfoPhase = phase;
    e.lfoSmoothed = smoothed;
    e.writePos = writePos;
    e.filterStateL[1] = _mm_cvtsd_f64(w1);
    e.filterStateR[1] = _mm_cvtsd_f64(_mm_unpackhi_pd(w1, w1));
    e.filterStateL[0] = _mm_cvtsd_f64(w2);
    e.filterStateR[0] = _mm_cvtsd_f64(_mm_unpackhi_pd(w2, w2));
    noiseSeed = seed;
}
