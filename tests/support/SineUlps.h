// Error of a sine value in units in the last place of the exact sine of the
// same double argument (taken from sinl, whose extra bits stand in for the
// exact value).
#pragma once

#include <cmath>
#include <cstdint>

#include "PhaseSine.h"

inline double sineArgument(uint32_t p) { return static_cast<int32_t>(p) * phase_sine::kStep; }

// Ulps between `value` and sin of the phase's argument; 0 only when exact.
inline double sineErrorUlps(uint32_t p, double value) {
    const long double exact = sinl(static_cast<long double>(sineArgument(p)));
    if (exact == 0.0L) return value == 0.0 ? 0.0 : INFINITY;
    const double ulp = std::ldexp(1.0, std::ilogb(static_cast<double>(exact)) - 52);
    return static_cast<double>(fabsl(static_cast<long double>(value) - exact) / ulp);
}
