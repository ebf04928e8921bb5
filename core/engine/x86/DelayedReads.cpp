#include "DelayedReads.h"

#include <immintrin.h>

#include <cstring>

#include "FilterLanes.h"
#include "LineLanes.h"
#include "PhaseSine.h"
#include "PhaseSineAvx2.h"
#include "EngineForm.h"
#include "VectorLanes.h"

// The wide vectors never cross a call boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

// The parts both forms share, built once for each.
namespace {
namespace baseline {
// Two filter outputs limited and rounded, into two neighbouring frames of the
// line (the first at `at`).
[[gnu::always_inline]] inline void storeLimitedPair(StereoFrame* at, __m128d first, __m128d second) {
    const __m128 both = _mm_movelh_ps(_mm_cvtpd_ps(limitLine(first)), _mm_cvtpd_ps(limitLine(second)));
    _mm_storeu_ps(&at->left, both);
}
// The filter outputs of pairs of frames, limited and stored as
// storeLimitedPair does, from the states w0 and w1 of the pair's frames (the
// first frame's, then the second's) and the states wm1 and wm2 before them.
// The outputs feed nothing back, so they need not be worked out frame by
// frame.
struct PairOutputs {
    const FilterLanes& f;
    PairOutputs(const FilterLanes& filter, __m128d, __m128d) : f(filter) {}
    // The pair's second frame goes to `at`, the first after it.
    [[gnu::always_inline]] void store(StereoFrame* at, __m128d wm2, __m128d wm1, __m128d w0, __m128d w1) {
        storeLimitedPair(at, f.output(w1, w0, wm1), f.output(w0, wm1, wm2));
    }
};
[[gnu::always_inline]] inline void sineValues(uint32_t first, uint32_t increment, int32_t count, double* out) {
    phase_sine::sineRun<2>(first, increment, count, out);
}
#include "ReadAheadLoop.inc"
}  // namespace baseline
}  // namespace

namespace delayed_reads {

void steadyBaseline(DelayEngine& e, FilterCarry& carry, const DelayedReads& a, const Tap& tap,
                    const Smoothing& sm) {
    baseline::steadyByFrame(e, carry, a, tap, sm);
}

void movingBaseline(DelayEngine& e, FilterCarry& carry, const DelayedReads& a, const TapRun& taps,
                    const Smoothing& sm) {
    using namespace baseline;
    const auto tapOf = [&taps](int32_t j) { return tapOfRun(taps, j); };
    FrameReads<decltype(tapOf)> reads(a, tapOf, carry.writePos, feedGainOf(e));
    runLoop<true>(e, carry, a, sm, reads);
}

}  // namespace delayed_reads

// The AVX2 forms, built for AVX2 (lambdas included) and only called where
// the processor has it.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace {
namespace avx2 {
// Two frames' filter outputs (the first in the low half) limited and
// rounded, into two neighbouring frames of the line from `at`.
[[gnu::always_inline]] inline void storeLimited(StereoFrame* at, __m256d y) {
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d knee = _mm256_set1_pd(DelayEngine::kLineKnee);
    const __m256d a = _mm256_andnot_pd(sign, y);
    // As limitLine (FilterLanes.h) works it out, four lanes at a time.
    if (_mm256_movemask_pd(_mm256_cmp_pd(a, knee, _CMP_NLE_UQ)) != 0) [[unlikely]] {
        const __m256d bent = _mm256_or_pd(_mm256_sub_pd(_mm256_set1_pd(DelayEngine::kLineCeiling),
                                                         _mm256_div_pd(_mm256_set1_pd(DelayEngine::kLineBend), a)),
                                           _mm256_and_pd(sign, y));
        y = _mm256_or_pd(_mm256_and_pd(_mm256_cmp_pd(a, knee, _CMP_LE_OQ), y),
                         _mm256_and_pd(_mm256_cmp_pd(a, knee, _CMP_GT_OQ), bent));
    }
    _mm_storeu_ps(&at->left, _mm256_cvtpd_ps(y));
}
// storeLimitedPair of the baseline, with the two frames in one register.
[[gnu::always_inline]] inline void storeLimitedPair(StereoFrame* at, __m128d first, __m128d second) {
    storeLimited(at, _mm256_set_m128d(second, first));
}
// PairOutputs of the baseline with the two frames in one register; the
// last pair's states, kept from one pair to the next, are the next pair's
// oldest.
struct PairOutputs {
    __m256d num1, num2;
    __m256d last;  // the states of the last pair (the second frame's low)
    PairOutputs(const FilterLanes& f, __m128d w2, __m128d w1)
        : num1(_mm256_broadcastsd_pd(f.num1)), num2(_mm256_broadcastsd_pd(f.num2)), last(_mm256_set_m128d(w2, w1)) {}
    [[gnu::always_inline]] void store(StereoFrame* at, __m128d, __m128d wm1, __m128d w0, __m128d w1) {
        const __m256d w = _mm256_set_m128d(w0, w1), older = _mm256_set_m128d(wm1, w0);
        const __m256d y = _mm256_add_pd(_mm256_add_pd(w, _mm256_mul_pd(num1, older)), _mm256_mul_pd(num2, last));
        last = w;
        storeLimited(at, y);
    }
};
// Out of line: inlined, its constants took registers the loop then spilled
// (measured 6% slower); a call every 32 frames costs less.
[[gnu::noinline]] void sineValues(uint32_t first, uint32_t increment, int32_t count, double* out) {
    phase_sine::sineRunAvx2(first, increment, count, out);
}
#include "ReadAheadLoop.inc"

// Which outputs a chunk's loop writes: as its record says, frame by frame
// (the wet sums alone when no host outputs are given, else the host's
// outputs replaced or added to), or the host's outputs, known to be replaced
// or known to be added to.
enum class Outputs { kAsGiven, kReplace, kAdd };

// The same for two frames at once in AVX2 registers, (left, right) pairs in
// frame order.
template <Outputs kOut = Outputs::kAsGiven, bool kHalves = false>
struct FinishPair {
    __m256d wetS, wetC, fbS, fbC, dry, gain;
    bool unitDry;  // a dry gain of exactly 1
    static __m256d twice(const double (&lr)[2]) {
        return _mm256_setr_pd(lr[0], lr[1], lr[0], lr[1]);
    }
    FinishPair(const DelayedReads& a, double feedGain)
        : wetS(twice(a.matrices.wetStraight)), wetC(twice(a.matrices.wetCrossed)),
          fbS(twice(a.matrices.fbStraight)), fbC(twice(a.matrices.fbCrossed)),
          dry(_mm256_set1_pd(a.dryGain)), gain(_mm256_set1_pd(feedGain)), unitDry(a.dryGain == 1.0) {
        if (kHalves) {
            // Only built where halfMatrices applies.
            const HalfMatrices halves = halfMatrices(a.matrices, a.dryGain);
            // The lane a product takes its read from: bit 1 of each 64-bit
            // control picks the upper lane of its 128-bit half.
            const __m256d same = _mm256_castsi256_pd(_mm256_setr_epi64x(0, 2, 0, 2));
            const __m256d swap = _mm256_castsi256_pd(_mm256_setr_epi64x(2, 0, 2, 0));
            wetS = halves.wetCrossed ? wetC : wetS;
            fbS = halves.fbCrossed ? fbC : fbS;
            wetC = halves.wetCrossed ? swap : same;
            fbC = halves.fbCrossed ? swap : same;
        }
    }
    [[gnu::always_inline]] void operator()(const DelayedReads& a, int32_t j, __m256d r) const {
        const __m256d x = _mm256_cvtps_pd(_mm_loadu_ps(&a.inputs[j].left));
        __m256d wet, u;
        if constexpr (kHalves) {
            // One product each, from the read as it is or swapped (the
            // factors are in wetS and fbS, the lane choices in wetC and fbC).
            wet = _mm256_mul_pd(wetS, _mm256_permutevar_pd(r, _mm256_castpd_si256(wetC)));
            u = _mm256_add_pd(_mm256_mul_pd(fbS, _mm256_permutevar_pd(r, _mm256_castpd_si256(fbC))), x);
        } else {
            const __m256d swapped = _mm256_permute_pd(r, 0x5);
            wet = _mm256_add_pd(_mm256_mul_pd(wetS, r), _mm256_mul_pd(wetC, swapped));
            u = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(fbS, r), _mm256_mul_pd(fbC, swapped)), x);
        }
        _mm256_storeu_pd(a.feed + 2 * j, _mm256_mul_pd(gain, u));
        if (kOut == Outputs::kAsGiven && !a.outL) {
            _mm256_storeu_pd(a.wetSums + 2 * j, wet);
            return;
        }
        // (left, right) pairs and the host's channels apart: lanes 0 2 1 3.
        constexpr int kApart = 0xD8;
        if (unitDry && (kOut == Outputs::kReplace || (kOut == Outputs::kAsGiven && a.replace))) {
            // The input plus the rounded wet sum: the sum of two floats is
            // exact in double precision, or so lopsided that it rounds to the
            // larger either way, so adding them in single precision gives the
            // same float as adding them in double and rounding.
            const __m128 out =
                _mm_permute_ps(_mm_add_ps(_mm_loadu_ps(&a.inputs[j].left), _mm256_cvtpd_ps(wet)), kApart);
            _mm_storel_pi(reinterpret_cast<__m64*>(a.outL + j), out);
            _mm_storeh_pi(reinterpret_cast<__m64*>(a.outR + j), out);
            return;
        }
        __m256d y = _mm256_add_pd(_mm256_mul_pd(dry, x), _mm256_cvtps_pd(_mm256_cvtpd_ps(wet)));
        if (kOut == Outputs::kAdd || (kOut == Outputs::kAsGiven && !a.replace)) {
            const __m128 outs = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(a.outL + j)),
                                             reinterpret_cast<const __m64*>(a.outR + j));
            y = _mm256_add_pd(_mm256_cvtps_pd(_mm_permute_ps(outs, kApart)), y);
        }
        const __m128 out = _mm_permute_ps(_mm256_cvtpd_ps(y), kApart);
        _mm_storel_pi(reinterpret_cast<__m64*>(a.outL + j), out);
        _mm_storeh_pi(reinterpret_cast<__m64*>(a.outR + j), out);
    }
};

// A steady tap whose run of the line does not straddle its end: frame j's
// taps are first0 - j .. first0 - j + 3, so two frames at a time come from
// one load per tap (in line order, the later frame first). With kWhole the
// weights are -0, 1, 0, -0 (a whole number of frames back): the three zero
// products then add signed zeros, so the sum is the frame at age T itself
// unless that frame holds a zero, and only then is the sum worked out.
template <bool kWhole, bool kHalves>
struct SteadyPairs {
    const DelayedReads a;  // a copy, so that the loop's stores cannot be taken to change it
    int32_t first0;
    __m256d w0, w1, w2, w3;
    double w[4];
    FinishPair<Outputs::kAsGiven, kHalves> finish;
    Finish finishOne;
    int32_t done = 0;
    SteadyPairs(const DelayedReads& chunk, int32_t first, const Tap& tap, double feedGain)
        : a(chunk), first0(first), w0(_mm256_set1_pd(tap.w[0])), w1(_mm256_set1_pd(tap.w[1])),
          w2(_mm256_set1_pd(tap.w[2])), w3(_mm256_set1_pd(tap.w[3])),
          w{tap.w[0], tap.w[1], tap.w[2], tap.w[3]}, finish(a, feedGain), finishOne(a, feedGain) {}
    // Frames j and j + 1; pair() reads the next two.
    [[gnu::always_inline]] void pairAt(int32_t j) {
        const float* at = &a.line[first0 - j - 1].left;
        const auto tap = [at](int k) { return _mm256_cvtps_pd(_mm_loadu_ps(at + 2 * k)); };
        __m256d r;
        if (kWhole) r = tap(1);
        if (!kWhole || _mm256_movemask_pd(_mm256_cmp_pd(r, _mm256_setzero_pd(), _CMP_EQ_OQ)) != 0) {
            __m256d acc = _mm256_mul_pd(w0, tap(0));
            acc = _mm256_add_pd(acc, _mm256_mul_pd(w3, tap(3)));
            acc = _mm256_add_pd(acc, _mm256_mul_pd(w2, tap(2)));
            acc = _mm256_add_pd(acc, _mm256_mul_pd(w1, tap(1)));
            r = _mm256_cvtps_pd(_mm256_cvtpd_ps(acc));
        }
        finish(a, j, _mm256_permute4x64_pd(r, 0x4E));  // frame j first
    }
    [[gnu::always_inline]] void pair() {
        pairAt(done);
        done += 2;
    }
    void readTo(int32_t n) { done = n; }
    [[gnu::always_inline]] void upTo(int32_t n) {
        while (done + 2 <= n) pair();
        if (done < n) {
            finishOne(a, done, readFrame(a.line, a.lineFrames, first0 - done, _mm_set1_pd(w[0]), _mm_set1_pd(w[1]),
                                         _mm_set1_pd(w[2]), _mm_set1_pd(w[3])));
            ++done;
        }
    }
};

// Whether any of the first count frames' four taps run past the line's end.
// Eight at a time by hand: the compiler left the plain loop scalar (about
// five instructions a frame more).
inline bool anyStraddles(const TapRun& taps, int32_t count, int32_t N) {
    const __m256i last = _mm256_set1_epi32(N - 4);  // an oldest tap beyond this runs past the end
    __m256i past = _mm256_setzero_si256();
    int32_t j = 0;
    for (; j + 8 <= count; j += 8)
        past = _mm256_or_si256(past, _mm256_cmpgt_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(taps.first + j)), last));
    bool any = _mm256_movemask_epi8(past) != 0;
    for (; j < count; ++j) any |= taps.first[j] > N - 4;
    return any;
}

// A tap per frame: each frame reads on its own, the products after the read
// go two frames at a time. Unless kMayStraddle, no frame's taps run past the
// line's end.
template <Outputs kOut, bool kMayStraddle, bool kHalves>
struct MovingPairs {
    const DelayedReads a;  // a copy, as above
    const TapRun& taps;
    FinishPair<kOut, kHalves> finish;
    Finish finishOne;
    int32_t done = 0;
    // A constructor rather than an aggregate, which the compiler clears as a
    // whole before filling it in.
    MovingPairs(const DelayedReads& chunk, const TapRun& run, double feedGain)
        : a(chunk), taps(run), finish(a, feedGain), finishOne(a, feedGain) {}
    [[gnu::always_inline]] __m128d read(int32_t j) {
        return readFrame(a.line, a.lineFrames, taps.first[j], _mm_loaddup_pd(&taps.weights[0][j]),
                         _mm_loaddup_pd(&taps.weights[1][j]), _mm_loaddup_pd(&taps.weights[2][j]),
                         _mm_loaddup_pd(&taps.weights[3][j]));
    }
    // Taps k and k + 1 of frames j (from lo) and j + 1 (from hi), each with
    // the channels apart: (L j, L j+1, R j, R j+1), the order in which frame
    // j's and j + 1's weights for a tap lie in memory.
    struct TapPairs {
        __m256d k, next;
    };
    [[gnu::always_inline]] static TapPairs tapPairs(const StereoFrame* lo, const StereoFrame* hi, int k) {
        const __m128 l = _mm_loadu_ps(&lo[k].left), h = _mm_loadu_ps(&hi[k].left);
        return {_mm256_cvtps_pd(_mm_unpacklo_ps(l, h)), _mm256_cvtps_pd(_mm_unpackhi_ps(l, h))};
    }
    [[gnu::always_inline]] __m256d weightPair(int k, int32_t j) const {
        return _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(&taps.weights[k][j]));
    }
    // The reads of frames pendingAt, pendingAt + 1 and of the two after
    // them, where the chunk has them.
    __m256d pending = _mm256_setzero_pd(), later = _mm256_setzero_pd();
    int32_t pendingAt = -1;
    // Frames j and j + 1, read two rounds ahead: the read and what is worked
    // out from it are each long chains of dependent operations, and
    // overlapping them keeps fewer operations waiting.
    [[gnu::always_inline]] void pairAt(int32_t j) {
        __m256d r;
        if (pendingAt == j) {
            r = pending;
            pending = later;
        } else {
            r = readPair(j);
            if (j + 4 <= a.count) pending = readPair(j + 2);
        }
        if (j + 6 <= a.count) later = readPair(j + 4);
        pendingAt = j + 2;
        finish(a, j, r);
    }
    // The read of frames j and j + 1.
    [[gnu::always_inline]] __m256d readPair(int32_t j) {
        const int32_t first0 = taps.first[j], first1 = taps.first[j + 1];
        __m256d r;
        if (!kMayStraddle || (first0 <= a.lineFrames - 4 && first1 <= a.lineFrames - 4)) [[likely]] {
            // The interpolation of both frames at once, in readFrame's order;
            // the channels are put back together once it is rounded.
            const StereoFrame* lo = a.line + first0;
            const StereoFrame* hi = a.line + first1;
            const TapPairs t01 = tapPairs(lo, hi, 0), t23 = tapPairs(lo, hi, 2);
            __m256d acc = _mm256_mul_pd(weightPair(0, j), t01.k);
            acc = _mm256_add_pd(acc, _mm256_mul_pd(weightPair(3, j), t23.next));
            acc = _mm256_add_pd(acc, _mm256_mul_pd(weightPair(2, j), t23.k));
            acc = _mm256_add_pd(acc, _mm256_mul_pd(weightPair(1, j), t01.next));
            constexpr int kTogether = 0xD8;  // lanes 0 2 1 3
            r = _mm256_cvtps_pd(_mm_permute_ps(_mm256_cvtpd_ps(acc), kTogether));
        } else {
            const __m128d first = read(j);
            r = _mm256_set_m128d(read(j + 1), first);
        }
        return r;
    }
    [[gnu::always_inline]] void pair() {
        pairAt(done);
        done += 2;
    }
    void readTo(int32_t n) { done = n; }
    [[gnu::always_inline]] void upTo(int32_t n) {
        while (done + 2 <= n) pair();
        if (done < n) {
            finishOne(a, done, read(done));
            ++done;
        }
    }
};

}  // namespace avx2
}  // namespace

namespace delayed_reads {

template <bool kHalves>
void steadyWith(DelayEngine& e, FilterCarry& carry, const DelayedReads& a, const Tap& tap, const Smoothing& sm,
                int32_t first0, bool whole) {
    using namespace avx2;
    if (whole) {
        SteadyPairs<true, kHalves> reads(a, first0, tap, feedGainOf(e));
        runLoop<false>(e, carry, a, sm, reads);
    } else {
        SteadyPairs<false, kHalves> reads(a, first0, tap, feedGainOf(e));
        runLoop<false>(e, carry, a, sm, reads);
    }
}

template <bool kHalves>
void movingWith(DelayEngine& e, FilterCarry& carry, const DelayedReads& a, const TapRun& taps, const Smoothing& sm) {
    using namespace avx2;
    // The checks of every pair taken out of the loop where the chunk allows.
    if (a.outL && !anyStraddles(taps, a.count, a.lineFrames)) {
        if (a.replace) {
            MovingPairs<Outputs::kReplace, false, kHalves> reads(a, taps, feedGainOf(e));
            runLoop<true>(e, carry, a, sm, reads);
        } else {
            MovingPairs<Outputs::kAdd, false, kHalves> reads(a, taps, feedGainOf(e));
            runLoop<true>(e, carry, a, sm, reads);
        }
    } else {
        MovingPairs<Outputs::kAsGiven, true, kHalves> reads(a, taps, feedGainOf(e));
        runLoop<true>(e, carry, a, sm, reads);
    }
}

void steadyAvx2(DelayEngine& e, FilterCarry& carry, const DelayedReads& a, const Tap& tap,
                const Smoothing& sm) {
    using namespace avx2;
    const int32_t first0 = oldestTap(previous(carry.writePos, a.lineFrames), tap.T, a.lineFrames);
    const bool whole = tap.w[0] == 0.0 && tap.w[1] == 1.0 && tap.w[2] == 0.0 && tap.w[3] == 0.0;
    if (first0 - (a.count - 1) < 0 || first0 + 3 >= a.lineFrames)
        steadyByFrame(e, carry, a, tap, sm);
    else if (halfMatrices(a.matrices, a.dryGain).apply)
        steadyWith<true>(e, carry, a, tap, sm, first0, whole);
    else
        steadyWith<false>(e, carry, a, tap, sm, first0, whole);
}

void movingAvx2(DelayEngine& e, FilterCarry& carry, const DelayedReads& a, const TapRun& taps,
                const Smoothing& sm) {
    if (halfMatrices(a.matrices, a.dryGain).apply)
        movingWith<true>(e, carry, a, taps, sm);
    else
        movingWith<false>(e, carry, a, taps, sm);
}

}  // namespace delayed_reads

#pragma GCC pop_options

namespace {
// Chosen once, when the library loads, so the audio thread never decides.
const bool useAvx2 = engine_form::chosen() == engine_form::Form::Avx2;
}  // namespace

void loopSteady(DelayEngine& e, FilterCarry& carry, const DelayedReads& chunk, const Tap& tap,
                const Smoothing& smoothing) {
    useAvx2 ? delayed_reads::steadyAvx2(e, carry, chunk, tap, smoothing)
            : delayed_reads::steadyBaseline(e, carry, chunk, tap, smoothing);
}

void loopMoving(DelayEngine& e, FilterCarry& carry, const DelayedReads& chunk, const TapRun& taps,
                const Smoothing& smoothing) {
    useAvx2 ? delayed_reads::movingAvx2(e, carry, chunk, taps, smoothing)
            : delayed_reads::movingBaseline(e, carry, chunk, taps, smoothing);
}
