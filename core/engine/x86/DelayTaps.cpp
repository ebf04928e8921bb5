#include "DelayTaps.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "DelayEngine.h"
#include "EngineForm.h"
#include "VectorLanes.h"

// The wide vectors never cross a call boundary (everything below is inlined
// into the function built for its width).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// The taps of N frames from their smoothed values.
template <int N>
[[gnu::always_inline]] inline void tapsOfGroup(const double* smoothed, double modDepth,
                                               double baseDelay, int32_t writePos, int32_t lineFrames,
                                               TapRun& taps, int32_t j) {
    using L = Lanes<N>;
    using Real = typename L::Real;
    const auto single = [](Real x) {  // rounded to single precision and back
        return __builtin_convertvector(__builtin_convertvector(x, typename L::Single), Real);
    };
    Real s;
    std::memcpy(&s, smoothed + j, sizeof s);
    Real D = s * modDepth + baseDelay;
    // |D| by clearing the sign bit; then the limit, which also catches a not-a-number.
    D = reinterpret_cast<Real>(reinterpret_cast<typename L::Bits>(D) & 0x7FFFFFFFFFFFFFFFull);
    const double maxDelay = DelayEngine::maxDelayFor(lineFrames);
    D = (D <= maxDelay) ? D : maxDelay;
    const typename L::Int T = __builtin_convertvector(D, typename L::Int);  // truncates
    const Real c = single(D - __builtin_convertvector(T, Real));
    const Real d = 1.0 - c;
    const Real e = single(-0.5 * c * d);
    const Real g = single(1.0 - e);
    const Real w[4] = {single(d * e), d * g, c * g, c * e};
    std::memcpy(taps.ages + j, &T, sizeof T);
    for (int k = 0; k < 4; ++k) std::memcpy(taps.weights[k] + j, &w[k], sizeof w[k]);
    // The oldest tap's position: the frame writes writePos - 1 - j, wrapped,
    // and the tap is T - 1 older. With writePos in 0..N-1, j below
    // TapRun::kMaxFrames (128) and T in 0..N-4, (writePos - 1 - j) + (T - 1)
    // lies in -129..2N-7, so one add or subtract of N brings it into the
    // line, to the same position as wrapping the write position first.
    const int32_t kN = lineFrames;
    typename L::Int first;
    for (int k = 0; k < N; ++k) first[k] = writePos - 2 - j - k;
    first += T;
    first = first < 0 ? first + kN : first;
    first = first >= kN ? first - kN : first;
    std::memcpy(taps.first + j, &first, sizeof first);
}

// run(values) with the count frames of smoothed values padded to a multiple
// of N with copies of the last value, whose taps are then no younger than the
// run's youngest.
template <int N, typename Run>
[[gnu::always_inline]] inline void withPadding(const double* smoothed, int32_t count, Run&& run) {
    double padded[TapRun::kMaxFrames + N];
    const double* values = smoothed;
    if (count % N != 0) {
        std::memcpy(padded, smoothed, sizeof(double) * static_cast<size_t>(count));
        for (int32_t k = count; k % N != 0; ++k) padded[k] = smoothed[count - 1];
        values = padded;
    }
    run(values);
}

// Taps for count frames of smoothed values, N at a time;
// `group(values, j)` works out the taps of frames j..j+N-1.
template <int N, typename Group>
[[gnu::always_inline]] inline void tapsOf(const double* smoothed, int32_t count, Group&& group) {
    withPadding<N>(smoothed, count, [&](const double* values) {
        for (int32_t j = 0; j < count; j += N) group(values, j);
    });
}

// The smallest age of the run's count frames, into taps.youngest.
inline void findYoungest(int32_t count, TapRun& taps) {
    int32_t youngest = taps.ages[0];  // without branches, which would mispredict
    for (int32_t j = 1; j < count; ++j) youngest = std::min(youngest, taps.ages[j]);
    taps.youngest = youngest;
}

template <int N, typename Group>
[[gnu::always_inline]] inline double compute(const double* shapeValues, int32_t count, double lfoCoef,
                                             double smoothed, Group&& group) {
    // The smoothing recursion is serial; the taps of each group of N frames
    // are worked out one group behind it, from values it stored a while ago,
    // so the vector work overlaps the recursion of the next frames.
    double values[TapRun::kMaxFrames + N];
    const auto groupAt = [&](int32_t j) { group(values, j); };
    int32_t j = 0;
    for (; j < count; ++j) {
        smoothed += (shapeValues[j] - smoothed) * lfoCoef;
        values[j] = smoothed;
        if (j % N == N - 1 && j >= 2 * N - 1) groupAt(j - (2 * N - 1));
    }
    for (int32_t k = j; k % N != 0; ++k) values[k] = values[j - 1];  // pad the last group, as tapsOf does
    // The groups not yet done.
    for (int32_t group = (j >= 2 * N ? (j / N - 1) * N : 0); group < count; group += N) groupAt(group);
    return smoothed;
}

}  // namespace

// The AVX2 forms; lambdas in this region are built for AVX2 too.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace {

// tapsOfGroup<4> in AVX2 registers, the same operations lane by lane; it
// also keeps the smallest age it has seen.
struct FourTaps {
    __m256d depth, base, limit, absMask, half, one;
    __m128i least = _mm_set1_epi32(INT32_MAX);
    // writePos - 2 - j for the frames j of the next group: the groups are
    // worked out in order, j = 0, 4, 8, ...
    __m128i positions;
    __m128i n;  // the line's frames
    TapRun& taps;
    FourTaps(double modDepth, double baseDelay, int32_t position, int32_t lineFrames, TapRun& run)
        : depth(_mm256_set1_pd(modDepth)), base(_mm256_set1_pd(baseDelay)),
          limit(_mm256_set1_pd(DelayEngine::maxDelayFor(lineFrames))),
          absMask(_mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF))),
          half(_mm256_set1_pd(-0.5)), one(_mm256_set1_pd(1.0)),
          positions(_mm_sub_epi32(_mm_set1_epi32(position - 2), _mm_setr_epi32(0, 1, 2, 3))),
          n(_mm_set1_epi32(lineFrames)), taps(run) {}
    static __m256d single(__m256d x) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(x)); }
    // A group's work in three parts, each a long chain of dependent
    // operations: front() stores the ages and oldest positions and gives the
    // fractions D - T, middle() rounds them to c and works out d, e and g,
    // back() stores the weights. Worked out group by group, a whole group's
    // chain held so many waiting operations that the processor could not look
    // far enough ahead to keep busy; run() overlaps each part of a group with
    // the other parts of its neighbours.
    __m256d front(const double* smoothed, int32_t j) {
        __m256d D = _mm256_add_pd(_mm256_mul_pd(_mm256_loadu_pd(smoothed + j), depth), base);
        D = _mm256_and_pd(D, absMask);
        // D < limit ? D : limit: the same as D <= limit ? D : limit, and a
        // not-a-number becomes the limit too.
        D = _mm256_min_pd(D, limit);
        const __m128i T = _mm256_cvttpd_epi32(D);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(taps.ages + j), T);
        least = _mm_min_epi32(least, T);
        // The oldest tap's position, reduced into the line once (see
        // tapsOfGroup). As unsigned numbers, of x and x + N the smaller is x
        // unless x is negative, and of x and x - N it is x unless x >= N.
        __m128i first = _mm_add_epi32(positions, T);
        first = _mm_min_epu32(first, _mm_add_epi32(first, n));
        first = _mm_min_epu32(first, _mm_sub_epi32(first, n));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(taps.first + j), first);
        positions = _mm_sub_epi32(positions, _mm_set1_epi32(4));
        return _mm256_sub_pd(D, _mm256_cvtepi32_pd(T));
    }
    struct Fractions {
        __m256d c, d, e, g;
    };
    Fractions middle(__m256d fraction) const {
        const __m256d c = single(fraction);
        const __m256d d = _mm256_sub_pd(one, c);
        const __m128 eSingle = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_mul_pd(half, c), d));
        // 1 - e rounded to single precision, worked out in single precision:
        // for single-precision operands the double result rounded to single
        // is the same (53 >= 2 * 24 + 2 bits, so the second rounding cannot
        // change what the first left).
        return {c, d, _mm256_cvtps_pd(eSingle), _mm256_cvtps_pd(_mm_sub_ps(_mm_set1_ps(1.0f), eSingle))};
    }
    void back(int32_t j, const Fractions& f) {
        _mm256_storeu_pd(taps.weights[0] + j, single(_mm256_mul_pd(f.d, f.e)));
        _mm256_storeu_pd(taps.weights[1] + j, _mm256_mul_pd(f.d, f.g));
        _mm256_storeu_pd(taps.weights[2] + j, _mm256_mul_pd(f.c, f.g));
        _mm256_storeu_pd(taps.weights[3] + j, _mm256_mul_pd(f.c, f.e));
    }
    void operator()(const double* smoothed, int32_t j) { back(j, middle(front(smoothed, j))); }
    // The groups of count frames (padded to a multiple of four) in order.
    void run(const double* values, int32_t count) {
        if (count <= 4) {
            if (count > 0) (*this)(values, 0);
            return;
        }
        Fractions f = middle(front(values, 0));
        __m256d fraction = front(values, 4);
        int32_t j = 0;
        for (; j + 8 < count; j += 4) {
            const __m256d next = front(values, j + 8);
            const Fractions later = middle(fraction);
            back(j, f);
            f = later;
            fraction = next;
        }
        back(j, f);
        back(j + 4, middle(fraction));
    }
    // The smallest age of the groups so far (padded lanes repeat a frame's value).
    int32_t youngest() const {
        __m128i m = _mm_min_epi32(least, _mm_shuffle_epi32(least, 0x4E));
        m = _mm_min_epi32(m, _mm_shuffle_epi32(m, 0xB1));
        return _mm_cvtsi128_si32(m);
    }
};

}  // namespace

namespace delay_taps {

double computeAvx2(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                   double modDepth, double baseDelay, int32_t writePos, int32_t lineFrames, TapRun& taps) {
    FourTaps four(modDepth, baseDelay, writePos, lineFrames, taps);
    smoothed = compute<4>(shapeValues, count, lfoCoef, smoothed, four);
    taps.youngest = four.youngest();
    return smoothed;
}

void tapsAvx2(const double* smoothed, int32_t count, double modDepth, double baseDelay,
              int32_t writePos, int32_t lineFrames, TapRun& taps) {
    FourTaps four(modDepth, baseDelay, writePos, lineFrames, taps);
    withPadding<4>(smoothed, count, [&](const double* values) { four.run(values, count); });
    taps.youngest = four.youngest();
}

}  // namespace delay_taps

#pragma GCC pop_options

namespace delay_taps {

double computeBaseline(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                       double modDepth, double baseDelay, int32_t writePos, int32_t lineFrames, TapRun& taps) {
    smoothed = compute<2>(shapeValues, count, lfoCoef, smoothed, [&](const double* values, int32_t j) {
        tapsOfGroup<2>(values, modDepth, baseDelay, writePos, lineFrames, taps, j);
    });
    findYoungest(count, taps);
    return smoothed;
}

void tapsBaseline(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                  int32_t writePos, int32_t lineFrames, TapRun& taps) {
    tapsOf<2>(smoothed, count, [&](const double* values, int32_t j) {
        tapsOfGroup<2>(values, modDepth, baseDelay, writePos, lineFrames, taps, j);
    });
    findYoungest(count, taps);
}

}  // namespace delay_taps

namespace {
using Compute = double (*)(const double*, int32_t, double, double, double, double, int32_t, int32_t, TapRun&);
// Chosen once, when the library loads, so the audio thread never decides.
const bool useAvx2 = engine_form::chosen() == engine_form::Form::Avx2;
const Compute chosenCompute = useAvx2 ? &delay_taps::computeAvx2 : &delay_taps::computeBaseline;
using Taps = void (*)(const double*, int32_t, double, double, int32_t, int32_t, TapRun&);
const Taps chosenTaps = useAvx2 ? &delay_taps::tapsAvx2 : &delay_taps::tapsBaseline;
}  // namespace

void tapsFromSmoothed(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                      int32_t writePos, int32_t lineFrames, TapRun& taps) {
    chosenTaps(smoothed, count, modDepth, baseDelay, writePos, lineFrames, taps);
}

double computeTaps(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                   double modDepth, double baseDelay, int32_t writePos, int32_t lineFrames, TapRun& taps) {
    return chosenCompute(shapeValues, count, lfoCoef, smoothed, modDepth, baseDelay, writePos, lineFrames, taps);
}
