#include "simpleFilters.h"

#include <cmath>

#include "Diagnostics.h"

double onePoleCoefficient(float sampleRate, float cutoff) {
    BW_CHECK(cutoff > 0.0f, "cutoff>0.0f", "simpleFilters");
    BW_CHECK(sampleRate > 0.0f, "sampleRate>0.0f", "simpleFilters");
    float f = cutoff / sampleRate;  // cycles per sample
    if (f < 0) f = 0;
    if (f < 0.5f) {
        const float w = f * 6.2831854820251465f;  // 2*pi in float
        const double e = 2 - std::cos(static_cast<double>(w));
        // e - sqrt(e^2 - 1) is the pole giving gain sqrt(0.5) at w.
        return 1 - (e - std::sqrt(e * e - 1));
    }
    // At or above Nyquist: the Nyquist gain of an analogue one-pole.
    const double g = f / std::sqrt(static_cast<double>(f) * f + 0.25);
    return coefficientForNyquistGain(static_cast<float>(g));
}

double coefficientForNyquistGain(float nyquistGain) {
    BW_CHECK(nyquistGain > 0.0f && nyquistGain <= 1.0f,
             "nyquistGain>0.0f && nyquistGain <= 1.0f", "simpleFilters");
    return 2.0 * nyquistGain / (nyquistGain + 1.0);
}
