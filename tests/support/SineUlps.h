// Error of a sine value in units in the last place of the exact sine of the
// same double argument (taken from sinl, whose extra bits stand in for the
// exact value).
#pragma once

#include <cmath>
#include <cstdint>

#include "PhaseSine.h"

inline double sineArgument(uint32_t p) { return static_cast<int32_t>(p) * phase_sine::kStep; }

// sinl of an argument in [-pi, pi], first brought to [-pi/2, pi/2] with a
// two-part pi: an x87 sinl (MinGW's) reduces with a 66-bit pi and loses most
// digits near +-pi. pi - |x| is exact there (the two are within a factor 2).
inline long double exactSine(double x) {
    constexpr long double kPiHigh = 0xc.90fdaa22168c235p-2L;      // pi rounded to 64 bits
    constexpr long double kPiLow = -5.0165576126683320235573e-20L;  // pi - kPiHigh
    const long double a = fabsl(static_cast<long double>(x));
    if (a <= kPiHigh / 2) return sinl(static_cast<long double>(x));
    const long double s = sinl((kPiHigh - a) + kPiLow);
    return x < 0 ? -s : s;
}

// Ulps between `value` and sin of the phase's argument; 0 only when exact.
inline double sineErrorUlps(uint32_t p, double value) {
    const long double exact = exactSine(sineArgument(p));
    if (exact == 0.0L) return value == 0.0 ? 0.0 : INFINITY;
    const double ulp = std::ldexp(1.0, std::ilogb(static_cast<double>(exact)) - 52);
    return static_cast<double>(fabsl(static_cast<long double>(value) - exact) / ulp);
}
