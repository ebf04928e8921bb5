// The sine shape evaluated without the C library: sin(signed(p) * 2pi/2^32)
// for a 32-bit phase p, within one ulp of the correctly rounded sine of the
// same double argument. The argument is formed exactly as trueSine forms it,
// reduced by the nearest quarter turn (the quarter is read off the phase's
// integer bits, and the reduction is exact to well beyond double precision),
// then a sine or cosine polynomial on |r| <= pi/4 (the fdlibm kernels, their
// polynomials in z = r^2 evaluated by Horner's rule).
//
// It is written once over GCC vector types, so the same operations in the
// same order run in every lane, whatever the vector width: the SSE2 and AVX2
// builds give identical values.
#pragma once

#include <cstdint>

#include "VectorLanes.h"

namespace phase_sine {

// 2pi / 2^32, as trueSine uses it.
constexpr double kStep = 1.4629180792671596e-9;
// pi/2 as a sum of three doubles; k * kP1 is exact for |k| <= 2.
constexpr double kP1 = 1.5707963267948966;
constexpr double kP2 = 6.123233995736766e-17;
constexpr double kP3 = -1.4973849048591698e-33;

// sin(r) ~ r + S1 r^3 + ... + S6 r^13 on |r| <= pi/4.
constexpr double kS1 = -1.66666666666666324348e-01;
constexpr double kS2 = 8.33333333332248946124e-03;
constexpr double kS3 = -1.98412698298579493134e-04;
constexpr double kS4 = 2.75573137070700676789e-06;
constexpr double kS5 = -2.50507602534068634195e-08;
constexpr double kS6 = 1.58969099521155010221e-10;
// cos(r) ~ 1 - r^2/2 + C1 r^4 + ... + C6 r^14 on |r| <= pi/4.
constexpr double kC1 = 4.16666666666666019037e-02;
constexpr double kC2 = -1.38888888888741095749e-03;
constexpr double kC3 = 2.48015872894767294178e-05;
constexpr double kC4 = -2.75573143513906633035e-07;
constexpr double kC5 = 2.08757232129817482790e-09;
constexpr double kC6 = -1.13596475577881948265e-11;

// The wide forms are only ever inlined into code built for their width, so
// the calling convention of a wide vector return never comes into play.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"


// Which kernels a vector of phases needs: its lanes' quarter turns k all
// even (the sine kernel alone), all odd (the cosine kernel alone), or mixed.
enum class Kernels { Sine, Cosine, Both };

// The nearest quarter turn k = floor((s + 2^29) / 2^30), -2..2, without overflow.
template <int N>
[[gnu::always_inline]] inline typename Lanes<N>::Int quarterTurns(typename Lanes<N>::Int s) {
    return ((s >> 1) + (1 << 28)) >> 29;
}

// The sine of N signed phases, given the kernels they need (Both is right
// for any phases; the others only where all lanes need that kernel).
template <int N, Kernels K = Kernels::Both>
[[gnu::always_inline]] inline typename Lanes<N>::Real sines(typename Lanes<N>::Int s) {
    using Real = typename Lanes<N>::Real;
    const Real x = __builtin_convertvector(s, Real) * kStep;
    const Real k = __builtin_convertvector(quarterTurns<N>(s), Real);

    // r = hi + lo = x - k * pi/2. x - k*kP1 is exact (the two are within a
    // factor of two of each other, or k is 0), and lo catches what hi drops.
    const Real t = x - k * kP1;
    const Real hi = t - k * kP2;
    const Real lo = ((t - hi) - k * kP2) - k * kP3;

    const Real z = hi * hi;
    Real sinR{}, cosR{};
    if constexpr (K != Kernels::Cosine) {
        const Real v = z * hi;
        const Real rs = kS2 + z * (kS3 + z * (kS4 + z * (kS5 + z * kS6)));
        sinR = hi - ((z * (0.5 * lo - v * rs) - lo) - v * kS1);
    }
    if constexpr (K != Kernels::Sine) {
        const Real rc = z * (kC1 + z * (kC2 + z * (kC3 + z * (kC4 + z * (kC5 + z * kC6)))));
        const Real hz = 0.5 * z;
        const Real c1 = 1.0 - hz;
        cosR = c1 + (((1.0 - c1) - hz) + (z * rc - hi * lo));
    }

    // k = 0: sin r; 1: cos r; +-2: -sin r; -1: -cos r.
    Real r;
    if constexpr (K == Kernels::Sine)
        r = sinR;
    else if constexpr (K == Kernels::Cosine)
        r = cosR;
    else
        r = ((k == 1.0) | (k == -1.0)) ? cosR : sinR;
    return ((k < 0.0) | (k == 2.0)) ? -r : r;
}

// The quarter turn of one phase, as quarterTurns gives it for a lane.
inline int32_t quarterTurn(uint32_t phase) {
    return ((static_cast<int32_t>(phase) >> 1) + (1 << 28)) >> 29;
}

// The quarter turn every phase of first, first + increment, ...,
// first + (count - 1) * increment lies in, or kNoSharedQuarter when they do
// not share one: they do when the first and the last do and the run spans
// less than a quarter (so cannot leave it and come back).
constexpr int32_t kNoSharedQuarter = -3;
inline int32_t sharedQuarter(uint32_t first, uint32_t increment, int32_t count) {
    const uint64_t span = static_cast<uint64_t>(count - 1) * increment;
    const int32_t k = quarterTurn(first);
    if (span >= (1u << 30) || quarterTurn(first + static_cast<uint32_t>(span)) != k) return kNoSharedQuarter;
    return k;
}

// The sines of the N phases first, first + increment, ... (in `phases` as
// signed lanes). A slow LFO's neighbouring phases nearly always lie in one
// quarter turn, and then one kernel is enough. The values are those of
// sines<N> either way.
template <int N>
[[gnu::always_inline]] inline typename Lanes<N>::Real sinesOfRun(typename Lanes<N>::Int phases, uint32_t first,
                                                                 uint32_t increment) {
    const int32_t k = sharedQuarter(first, increment, N);
    if (k == kNoSharedQuarter) return sines<N>(phases);
    return (k & 1) ? sines<N, Kernels::Cosine>(phases) : sines<N, Kernels::Sine>(phases);
}

// out[i] = the sine shape at first + i * increment (wrapping), i = 0..count-1,
// with count a multiple of N.
template <int N>
[[gnu::always_inline]] inline void sineRun(uint32_t first, uint32_t increment, int32_t count, double* out) {
    using L = Lanes<N>;
    typename L::Int phases, step;
    for (int j = 0; j < N; ++j) {
        phases[j] = static_cast<int32_t>(first + static_cast<uint32_t>(j) * increment);
        step[j] = static_cast<int32_t>(static_cast<uint32_t>(N) * increment);
    }
    for (int32_t i = 0; i < count; i += N) {
        const typename L::Real v = sinesOfRun<N>(phases, first + static_cast<uint32_t>(i) * increment, increment);
        for (int j = 0; j < N; ++j) out[i + j] = v[j];
        // Wrapping addition, done on the unsigned patterns.
        phases = reinterpret_cast<typename L::Int>(reinterpret_cast<typename L::Unsigned>(phases) +
                                                  reinterpret_cast<typename L::Unsigned>(step));
    }
}

#pragma GCC diagnostic pop

}  // namespace phase_sine

// One phase; the same value as any lane of the vector form.
inline double phaseSine(uint32_t p) {
    const int32_t s = static_cast<int32_t>(p);
    return phase_sine::sines<2>(Lanes<2>::Int{s, s})[0];
}

namespace phase_sine {
// The forms behind phaseSines, for tests and benchmarks: fillBaseline two
// lanes at a time in GCC vectors (any target), fillAvx2 built for x86-64
// targets only (x86/PhaseSineAvx2.cpp) and run only where
// engine_form::runs(Form::Avx2).
void fillBaseline(uint32_t start, uint32_t increment, int32_t count, double* out);
void fillAvx2(uint32_t start, uint32_t increment, int32_t count, double* out);
// The values of the fill from `vectored` to count, one at a time.
void fillTail(uint32_t start, uint32_t increment, int32_t vectored, int32_t count, double* out);
}  // namespace phase_sine

// The sines of the phases start + i * increment (wrapping), i = 0..count-1.
// Takes the AVX2 form where the engine's chosen form is AVX2.
void phaseSines(uint32_t start, uint32_t increment, int32_t count, double* out);
