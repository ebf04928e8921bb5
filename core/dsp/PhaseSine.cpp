#include "PhaseSine.h"

#include "EngineForm.h"

void phase_sine::fillTail(uint32_t start, uint32_t increment, int32_t vectored, int32_t count, double* out) {
    for (int32_t i = vectored; i < count; ++i) out[i] = phaseSine(start + static_cast<uint32_t>(i) * increment);
}

namespace phase_sine {

void fillBaseline(uint32_t start, uint32_t increment, int32_t count, double* out) {
    const int32_t vectored = count & ~1;
    phase_sine::sineRun<2>(start, increment, vectored, out);
    fillTail(start, increment, vectored, count, out);
}

}  // namespace phase_sine

namespace {

using Fill = void (*)(uint32_t, uint32_t, int32_t, double*);

// Chosen once, when the library loads, so the audio thread never decides.
Fill chooseFill() {
    if constexpr (engine_form::kX86Forms) {
        if (engine_form::chosen() == engine_form::Form::Avx2) return &phase_sine::fillAvx2;
    }
    return &phase_sine::fillBaseline;
}
const Fill chosenFill = chooseFill();

}  // namespace

void phaseSines(uint32_t start, uint32_t increment, int32_t count, double* out) {
    chosenFill(start, increment, count, out);
}
