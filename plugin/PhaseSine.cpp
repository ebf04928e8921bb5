#include "PhaseSine.h"

// See PhaseSine.h: the wide vectors never cross a call boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

template <int N>
[[gnu::always_inline]] inline void fill(uint32_t start, uint32_t increment, int32_t count,
                                        double* out) {
    using L = Lanes<N>;
    typename L::Int phases, step;
    for (int j = 0; j < N; ++j) {
        phases[j] = static_cast<int32_t>(start + static_cast<uint32_t>(j) * increment);
        step[j] = static_cast<int32_t>(static_cast<uint32_t>(N) * increment);
    }
    int32_t i = 0;
    for (; i + N <= count; i += N) {
        const typename L::Real v =
            phase_sine::sinesOfRun<N>(phases, start + static_cast<uint32_t>(i) * increment, increment);
        for (int j = 0; j < N; ++j) out[i + j] = v[j];
        // Wrapping addition, done on the unsigned patterns.
        phases = reinterpret_cast<typename L::Int>(reinterpret_cast<typename L::Unsigned>(phases) +
                                                  reinterpret_cast<typename L::Unsigned>(step));
    }
    for (; i < count; ++i) out[i] = phaseSine(start + static_cast<uint32_t>(i) * increment);
}

}  // namespace

namespace phase_sine {

void fillBaseline(uint32_t start, uint32_t increment, int32_t count, double* out) {
    fill<2>(start, increment, count, out);
}

[[gnu::target("avx2")]] void fillAvx2(uint32_t start, uint32_t increment, int32_t count,
                                      double* out) {
    fill<4>(start, increment, count, out);
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
