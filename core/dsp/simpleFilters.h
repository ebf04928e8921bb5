// Coefficient of the one-pole lowpass smoother s += (x - s) * a.
#pragma once

// a in 0..1 placing the -3 dB point at cutoff (Hz) for the sample rate (Hz);
// cutoffs at or above Nyquist match an analogue one-pole's Nyquist gain.
double onePoleCoefficient(float sampleRate, float cutoff);

// a whose gain at Nyquist, a / (2 - a), equals nyquistGain (0..1).
double coefficientForNyquistGain(float nyquistGain);
