// The sine shape of PhaseSine.h for a run of phases, in AVX2 intrinsics, for
// code built for AVX2 only. A run whose phases all lie in one quarter turn
// takes that quarter's kernel, with the quarter's reduction constants and
// sign worked out once for the run; any other run goes four lanes at a time
// through phase_sine::sinesOfRun. The values are those of phase_sine::sines,
// operation for operation (k * kP1 and the like are the same products
// whether formed in a lane or once).
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "PhaseSine.h"

#pragma GCC push_options
#pragma GCC target("avx2")
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace phase_sine {

// rs of the sine kernel (see sines), four lanes.
[[gnu::always_inline]] inline __m256d sinePolynomial(__m256d z) {
    const auto c = [](double v) { return _mm256_set1_pd(v); };
    const auto mul = [](__m256d a, __m256d b) { return _mm256_mul_pd(a, b); };
    const auto add = [](__m256d a, __m256d b) { return _mm256_add_pd(a, b); };
    return add(c(kS2), mul(z, add(c(kS3), mul(z, add(c(kS4), mul(z, add(c(kS5), mul(z, c(kS6)))))))));
}

// The sines of phases in quarter turn k, four at a time.
template <Kernels K>
struct QuarterSines {
    static_assert(K != Kernels::Both);
    __m256d kP1k, kP2k, kP3k, sign;
    [[gnu::always_inline]] explicit QuarterSines(int32_t k)
        : kP1k(_mm256_set1_pd(k * kP1)), kP2k(_mm256_set1_pd(k * kP2)), kP3k(_mm256_set1_pd(k * kP3)),
          sign(_mm256_set1_pd(k < 0 || k == 2 ? -0.0 : 0.0)) {}

    [[gnu::always_inline]] __m256d operator()(__m128i s) const {
        const auto c = [](double v) { return _mm256_set1_pd(v); };
        const auto mul = [](__m256d a, __m256d b) { return _mm256_mul_pd(a, b); };
        const auto add = [](__m256d a, __m256d b) { return _mm256_add_pd(a, b); };
        const auto sub = [](__m256d a, __m256d b) { return _mm256_sub_pd(a, b); };
        const __m256d x = mul(_mm256_cvtepi32_pd(s), c(kStep));
        const __m256d t = sub(x, kP1k);
        const __m256d hi = sub(t, kP2k);
        const __m256d lo = sub(sub(sub(t, hi), kP2k), kP3k);
        const __m256d z = mul(hi, hi);
        __m256d r;
        if constexpr (K == Kernels::Sine) {
            const __m256d v = mul(z, hi);
            const __m256d rs = sinePolynomial(z);
            r = sub(hi, sub(sub(mul(z, sub(mul(c(0.5), lo), mul(v, rs))), lo), mul(v, c(kS1))));
        } else {
            const __m256d rc = mul(
                z, add(c(kC1), mul(z, add(c(kC2), mul(z, add(c(kC3), mul(z, add(c(kC4), mul(z, add(c(kC5), mul(z, c(kC6))))))))))));
            const __m256d hz = mul(c(0.5), z);
            const __m256d c1 = sub(c(1.0), hz);
            r = add(c1, add(sub(sub(c(1.0), c1), hz), sub(mul(z, rc), mul(hi, lo))));
        }
        return _mm256_xor_pd(r, sign);
    }
};

// The sines of phases in quarter turn 0, four at a time: there the reduction
// leaves the argument as it is (hi is x, lo is +0) and the sign is +, so these
// are the operations of QuarterSines<Kernels::Sine>(0) that change anything,
// and the values are the same.
struct ZeroQuarterSines {
    [[gnu::always_inline]] __m256d operator()(__m128i s) const {
        const auto c = [](double v) { return _mm256_set1_pd(v); };
        const auto mul = [](__m256d a, __m256d b) { return _mm256_mul_pd(a, b); };
        const auto sub = [](__m256d a, __m256d b) { return _mm256_sub_pd(a, b); };
        const __m256d x = mul(_mm256_cvtepi32_pd(s), c(kStep));
        const __m256d z = mul(x, x);
        const __m256d v = mul(z, x);
        const __m256d rs = sinePolynomial(z);
        // 0.5 * lo is +0, and subtracting lo leaves any value as it is.
        return sub(x, sub(mul(z, sub(_mm256_setzero_pd(), mul(v, rs))), mul(v, c(kS1))));
    }
};

// out[i] = the sine shape at first + i * increment, i = 0..count-1, with
// count a multiple of four.
[[gnu::always_inline]] inline void sineRunAvx2(uint32_t first, uint32_t increment, int32_t count,
                                               double* out) {
    const __m128i step = _mm_set1_epi32(static_cast<int32_t>(4 * increment));
    __m128i phases = _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(first)),
                                   _mm_mullo_epi32(_mm_set1_epi32(static_cast<int32_t>(increment)),
                                                   _mm_setr_epi32(0, 1, 2, 3)));
    const auto run = [&](const auto& sines) __attribute__((always_inline)) {
        for (int32_t i = 0; i < count; i += 4) {
            _mm256_storeu_pd(out + i, sines(phases));
            phases = _mm_add_epi32(phases, step);  // wraps, as the phase does
        }
    };
    const int32_t k = sharedQuarter(first, increment, count);
    if (k == kNoSharedQuarter) {
        run([&](__m128i s) __attribute__((always_inline)) {
            Lanes<4>::Int lanes;
            std::memcpy(&lanes, &s, sizeof lanes);
            const uint32_t lane0 = static_cast<uint32_t>(_mm_cvtsi128_si32(s));
            const Lanes<4>::Real v = sinesOfRun<4>(lanes, lane0, increment);
            __m256d r;
            std::memcpy(&r, &v, sizeof r);
            return r;
        });
    } else if (k == 0) {
        run(ZeroQuarterSines());
    } else if (k & 1) {
        run(QuarterSines<Kernels::Cosine>(k));
    } else {
        run(QuarterSines<Kernels::Sine>(k));
    }
}

}  // namespace phase_sine

#pragma GCC diagnostic pop
#pragma GCC pop_options
