// Biquad design from prescribed gains, and a glide that moves live
// coefficients from one design to the next through their bit patterns.
#pragma once

#include <cstdint>

// Direct form II coefficients:
// H(z) = gain * (1 + num1 z^-1 + num2 z^-2) / (1 - rec1 z^-1 - rec2 z^-2).
// A new object is the identity filter.
struct BiquadCoeffs {
    float gain = 1;  // b0
    float num1 = 0;  // b1 / b0
    float num2 = 0;  // b2 / b0
    float rec1 = 0;  // -a1
    float rec2 = 0;  // -a2

    // Second-order section with gain G0 at DC, Gp at Fp and (close to) Gb at
    // the band edge Fb below Fp. Frequencies in cycles per sample, gains
    // linear. Failed preconditions are reported and the design goes on.
    void design(double G0, double Fb, double Gb, double Fp, double Gp);

    // Band-pass: gain 1 at f, sqrt(0.5) at f * 0.5^(octaves/2), 0 at DC.
    void setBandPass(float f, float octaves);
};

// Bandwidth in octaves of a second-order section with quality factor q.
double qToOctaves(double q);

// Glide of the five coefficients over a number of samples. Each coefficient
// is mapped to a positive transformed value whose float bit pattern, taken as
// an integer, is stepped linearly; this moves the value nearly geometrically.
struct CoeffRamp {
    int32_t patterns[5] = {0x3F800000, 0x3F800000, 0x3F800000, 0x3F800000, 0x3F800000};
    int32_t count = 0;  // samples left; 0 means idle
    int32_t increments[5] = {0, 0, 0, 0, 0};

    // Begins a glide from the current patterns towards c over n samples
    // (n below 1 counts as 1).
    void start(const BiquadCoeffs& c, int32_t n);

    // Advances one sample and overwrites all five fields of c. Call once per
    // sample while count > 0, before filtering that sample.
    void step(BiquadCoeffs& c);
};
