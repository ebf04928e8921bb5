// The AVX2 fill of phase_sine (see PhaseSine.h), for x86-64 targets.
#include "PhaseSineAvx2.h"

// See PhaseSine.h: the wide vectors never cross a call boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace phase_sine {

[[gnu::target("avx2")]] void fillAvx2(uint32_t start, uint32_t increment, int32_t count, double* out) {
    const int32_t vectored = count & ~3;
    sineRunAvx2(start, increment, vectored, out);
    fillTail(start, increment, vectored, count, out);
}

}  // namespace phase_sine
