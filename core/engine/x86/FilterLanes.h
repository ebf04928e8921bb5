// The feedback band-pass on (left, right) in the two lanes of an SSE2
// register: the same operations, in the same order, as DelayEngine::filterStep
// and limitLine work out for each channel.
#pragma once

#include <emmintrin.h>

#include "BiquadCoeffs.h"
#include "DelayEngine.h"

struct FilterLanes {
    __m128d gain, num1, num2, rec1, rec2;

    explicit FilterLanes(const BiquadCoeffs& c) { load(c); }
    void load(const BiquadCoeffs& c) {
        gain = _mm_set1_pd(c.gain);
        num1 = _mm_set1_pd(c.num1);
        num2 = _mm_set1_pd(c.num2);
        rec1 = _mm_set1_pd(c.rec1);
        rec2 = _mm_set1_pd(c.rec2);
    }
    // A frame's new state from its input u (with kScaled, gain * u instead)
    // and the state {w1 newer, w2 older} before it.
    template <bool kScaled = false>
    __m128d state(__m128d u, __m128d w1, __m128d w2) const {
        const __m128d gu = kScaled ? u : _mm_mul_pd(gain, u);
        return _mm_add_pd(_mm_add_pd(gu, _mm_mul_pd(rec1, w1)), _mm_mul_pd(rec2, w2));
    }
    // The output of a frame whose new state is w; it feeds nothing back.
    __m128d output(__m128d w, __m128d w1, __m128d w2) const {
        return _mm_add_pd(_mm_add_pd(w, _mm_mul_pd(num1, w1)), _mm_mul_pd(num2, w2));
    }
    // The state moves on to a frame's new state w.
    static void advance(__m128d w, __m128d& w1, __m128d& w2) {
        w2 = w1;
        w1 = w;
    }
    // One frame: the input u in (as for state), the output out; the state
    // moves on.
    template <bool kScaled = false>
    __m128d step(__m128d u, __m128d& w1, __m128d& w2) const {
        const __m128d w = state<kScaled>(u, w1, w2);
        const __m128d y = output(w, w1, w2);
        advance(w, w1, w2);
        return y;
    }
};

// What the feedback writes back into the line (see DelayEngine::limitLine),
// lane by lane with the same operations.
inline __m128d limitLine(__m128d y) {
    const __m128d sign = _mm_set1_pd(-0.0);
    const __m128d knee = _mm_set1_pd(DelayEngine::kLineKnee);
    const __m128d a = _mm_andnot_pd(sign, y);
    // Nothing beyond the knee (and no not-a-number): y itself.
    if (_mm_movemask_pd(_mm_cmpnle_pd(a, knee)) == 0) [[likely]]
        return y;
    const __m128d bent = _mm_or_pd(
        _mm_sub_pd(_mm_set1_pd(DelayEngine::kLineCeiling), _mm_div_pd(_mm_set1_pd(DelayEngine::kLineBend), a)),
        _mm_and_pd(sign, y));
    return _mm_or_pd(_mm_and_pd(_mm_cmple_pd(a, knee), y), _mm_and_pd(_mm_cmpgt_pd(a, knee), bent));
}
