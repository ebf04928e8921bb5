#include "DelayTaps.h"

#include <cstring>

#include "DelayEngine.h"
#include "VectorLanes.h"

// The wide vectors never cross a call boundary (everything below is inlined
// into the function built for its width).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// The taps of N frames from their smoothed values.
template <int N>
[[gnu::always_inline]] inline void tapsOfGroup(const double* smoothed, double modDepth,
                                               double baseDelay, TapRun& taps, int32_t j) {
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
    D = (D <= DelayEngine::kMaxDelay) ? D : DelayEngine::kMaxDelay;
    const typename L::Int T = __builtin_convertvector(D, typename L::Int);  // truncates
    const Real c = single(D - __builtin_convertvector(T, Real));
    const Real d = 1.0 - c;
    const Real e = single(-0.5 * c * d);
    const Real g = single(1.0 - e);
    const Real w[4] = {single(d * e), d * g, c * g, c * e};
    std::memcpy(taps.ages + j, &T, sizeof T);
    for (int k = 0; k < 4; ++k) std::memcpy(taps.weights[k] + j, &w[k], sizeof w[k]);
}

// Taps for count frames of smoothed values, N at a time; the last group is
// padded with zeros.
template <int N>
[[gnu::always_inline]] inline void tapsOf(const double* smoothed, int32_t count, double modDepth,
                                          double baseDelay, TapRun& taps) {
    double padded[TapRun::kMaxFrames + N];
    const double* values = smoothed;
    if (count % N != 0) {
        std::memcpy(padded, smoothed, sizeof(double) * static_cast<size_t>(count));
        for (int32_t k = count; k % N != 0; ++k) padded[k] = 0.0;
        values = padded;
    }
    for (int32_t j = 0; j < count; j += N) tapsOfGroup<N>(values, modDepth, baseDelay, taps, j);
}

template <int N>
[[gnu::always_inline]] inline double compute(const double* shapeValues, int32_t count, double lfoCoef,
                                             double smoothed, double modDepth, double baseDelay,
                                             TapRun& taps) {
    // The smoothing recursion is serial; the taps of each group of N frames
    // are worked out one group behind it, from values it stored a while ago,
    // so the vector work overlaps the recursion of the next frames.
    double values[TapRun::kMaxFrames + N];
    const auto groupAt = [&](int32_t j) { tapsOfGroup<N>(values, modDepth, baseDelay, taps, j); };
    int32_t j = 0;
    for (; j < count; ++j) {
        smoothed += (shapeValues[j] - smoothed) * lfoCoef;
        values[j] = smoothed;
        if (j % N == N - 1 && j >= 2 * N - 1) groupAt(j - (2 * N - 1));
    }
    for (int32_t k = j; k % N != 0; ++k) values[k] = 0.0;  // pad the last group
    // The groups not yet done.
    for (int32_t group = (j >= 2 * N ? (j / N - 1) * N : 0); group < count; group += N) groupAt(group);
    return smoothed;
}

}  // namespace

namespace delay_taps {

double computeBaseline(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                       double modDepth, double baseDelay, TapRun& taps) {
    return compute<2>(shapeValues, count, lfoCoef, smoothed, modDepth, baseDelay, taps);
}

[[gnu::target("avx2")]] double computeAvx2(const double* shapeValues, int32_t count, double lfoCoef,
                                           double smoothed, double modDepth, double baseDelay,
                                           TapRun& taps) {
    return compute<4>(shapeValues, count, lfoCoef, smoothed, modDepth, baseDelay, taps);
}

void tapsBaseline(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                  TapRun& taps) {
    tapsOf<2>(smoothed, count, modDepth, baseDelay, taps);
}

[[gnu::target("avx2")]] void tapsAvx2(const double* smoothed, int32_t count, double modDepth,
                                      double baseDelay, TapRun& taps) {
    tapsOf<4>(smoothed, count, modDepth, baseDelay, taps);
}

}  // namespace delay_taps

namespace {
using Compute = double (*)(const double*, int32_t, double, double, double, double, TapRun&);
// Chosen once, when the library loads, so the audio thread never decides.
const Compute chosenCompute = haveAvx2() ? &delay_taps::computeAvx2 : &delay_taps::computeBaseline;
using Taps = void (*)(const double*, int32_t, double, double, TapRun&);
const Taps chosenTaps = haveAvx2() ? &delay_taps::tapsAvx2 : &delay_taps::tapsBaseline;
}  // namespace

void tapsFromSmoothed(const double* smoothed, int32_t count, double modDepth, double baseDelay,
                      TapRun& taps) {
    chosenTaps(smoothed, count, modDepth, baseDelay, taps);
}

double computeTaps(const double* shapeValues, int32_t count, double lfoCoef, double smoothed,
                   double modDepth, double baseDelay, TapRun& taps) {
    return chosenCompute(shapeValues, count, lfoCoef, smoothed, modDepth, baseDelay, taps);
}
