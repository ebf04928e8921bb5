#include "PhaseSine.h"

#include "PhaseSineAvx2.h"

// See PhaseSine.h: the wide vectors never cross a call boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// The scalar tail of a fill whose first `vectored` values are done.
void fillTail(uint32_t start, uint32_t increment, int32_t vectored, int32_t count, double* out) {
    for (int32_t i = vectored; i < count; ++i) out[i] = phaseSine(start + static_cast<uint32_t>(i) * increment);
}

}  // namespace

namespace phase_sine {

void fillBaseline(uint32_t start, uint32_t increment, int32_t count, double* out) {
    const int32_t vectored = count & ~1;
    phase_sine::sineRun<2>(start, increment, vectored, out);
    fillTail(start, increment, vectored, count, out);
}

[[gnu::target("avx2")]] void fillAvx2(uint32_t start, uint32_t increment, int32_t count,
                                      double* out) {
    const int32_t vectored = count & ~3;
    sineRunAvx2(start, increment, vectored, out);
    fillTail(start, increment, vectored, count, out);
}

}  // namespace phase_sine

namespace {

using Fill = void (*)(uint32_t, uint32_t, int32_t, double*);

// Chosen once, when the library loads, so the audio thread never decides.
const Fill chosenFill = haveAvx2() ? &phase_sine::fillAvx2 : &phase_sine::fillBaseline;

}  // namespace

void phaseSines(uint32_t start, uint32_t increment, int32_t count, double* out) {
    chosenFill(start, increment, count, out);
}
