#include "BiquadCoeffs.h"

#include <bit>
#include <cmath>

#include "Diagnostics.h"

void BiquadCoeffs::design(double G0, double Fb, double Gb, double Fp, double Gp) {
    BW_CHECK(Fp > 0, "Fp>0", "BiquadCoeffs");
    BW_CHECK(Fb > 0, "Fb>0", "BiquadCoeffs");
    BW_CHECK(Fb < Fp, "Fb<Fp", "BiquadCoeffs");
    BW_CHECK(G0 >= 0, "G0>=0", "BiquadCoeffs");
    BW_CHECK(Gb >= 0, "Gb>=0", "BiquadCoeffs");
    BW_CHECK(Gp >= 0, "Gp>=0", "BiquadCoeffs");
    BW_CHECK((G0 < Gb && Gb < Gp) || (G0 > Gb && Gb > Gp),
             "(G0<Gb && Gb<Gp) || (G0>Gb && Gb>Gp)", "BiquadCoeffs");

    // Keep both frequencies below Nyquist (the float values nearest 0.49, 0.48).
    if (Fp > 0.49) Fp = 0.49000000953674316;
    if (Fb > 0.48) Fb = 0.47999998927116394;

    constexpr double twoPi = 6.283185307179586;
    constexpr double pi2 = 9.869604401089358;
    constexpr double twoPi2 = 19.739208802178716;
    constexpr double pi4 = 97.40909103400243;
    constexpr double invPi = 0.3183098861837907;

    const double wp = twoPi * Fp;
    const double wb = twoPi * Fb;
    const double P = wp * wp;
    const double B = wb * wb;
    const double g0 = G0 * G0;
    const double gb = Gb * Gb;
    const double gp = Gp * Gp;

    // Squared gain at Nyquist of the analogue section with these gains.
    const double A1 = (gb - gp) * (P * P + pi4) * B;
    const double A2 = twoPi2 * (gp - g0) * P * B;
    const double A3 = pi2 * (B * B + P * P) * (g0 - gb);
    const double g1 = (gp * A3 + gb * A2 + g0 * A1) / (A3 + A2 + A1);
    const double sg1 = std::sqrt(g1);

    // Bilinear transform with tangent-warped frequencies.
    const double tw = std::tan(wp / 2);
    const double W = tw * tw;
    const double tv = std::tan(P * invPi * 0.5);
    const double V = tv * tv;
    const double R = 1 / ((gp - g0) * V);
    const double S = std::sqrt((gp - g1) * (gp - g0)) * std::fabs(R * V);
    const double Wt = S * W;
    const double X = (2 * (S - 1) - R * (g0 - g1) * W) * W;
    const double Y = (2 * (G0 - sg1) * sg1 - Wt * R * (g0 - g1) * (gp - g0)) * Wt + X * g1;
    const double Z = std::sqrt(Y);
    const double U = std::sqrt(X);
    const double N = Z + Wt * G0 + sg1;
    const double D = 1 + Wt + U;

    gain = static_cast<float>(N / D);
    num1 = static_cast<float>(2 * (Wt * G0 - sg1) / N);
    num2 = static_cast<float>((Wt * G0 + sg1 - Z) / N);
    rec1 = static_cast<float>(-2 * (Wt - 1) / D);
    rec2 = static_cast<float>(-(Wt + 1 - U) / D);
}

void BiquadCoeffs::setBandPass(float f, float octaves) {
    design(0, f * std::pow(0.5, octaves / 2.0), std::sqrt(0.5), f, 1);
}

double qToOctaves(double q) {
    const double b = 0.5 / q;
    return 2 * std::log2(b + std::sqrt(b * b + 1));
}

namespace {

// K = 1 + 17 * 2^-23 keeps the transformed values positive for stable
// band-pass designs; K2 = 2K exactly.
constexpr float K = 1.0000020265579224f;
constexpr float K2 = 2.0000040531158447f;

// The five positive values whose patterns glide. Arithmetic in float.
void transformedPatterns(const BiquadCoeffs& c, int32_t out[5]) {
    const float values[5] = {
        c.gain,
        c.rec2 + K,
        K - c.rec1 - c.rec2,
        K - c.num2,
        c.num1 + c.num2 + K,
    };
    for (int i = 0; i < 5; ++i) out[i] = std::bit_cast<int32_t>(values[i]);
}

float valueOf(int32_t pattern) { return std::bit_cast<float>(pattern); }

}  // namespace

void CoeffRamp::start(const BiquadCoeffs& c, int32_t n) {
    if (n < 1) n = 1;
    int32_t targets[5];
    transformedPatterns(c, targets);
    for (int i = 0; i < 5; ++i) {
        // Signed 32-bit difference taken modulo 2^32: it can only wrap when
        // the two values have opposite signs, and then wraps like two's-
        // complement hardware instead of being undefined.
        const auto diff = static_cast<int32_t>(static_cast<uint32_t>(targets[i]) -
                                               static_cast<uint32_t>(patterns[i]));
        increments[i] = diff / n;  // truncates toward zero
    }
    count = n;
}

void CoeffRamp::step(BiquadCoeffs& c) {
    count = count - 1;
    for (int i = 0; i < 5; ++i) {
        patterns[i] = static_cast<int32_t>(static_cast<uint32_t>(patterns[i]) +
                                           static_cast<uint32_t>(increments[i]));
    }
    const float p1 = valueOf(patterns[1]);
    const float p3 = valueOf(patterns[3]);
    c.rec2 = p1 - K;
    c.rec1 = K2 - valueOf(patterns[2]) - p1;
    c.num2 = K - p3;
    c.num1 = p3 + valueOf(patterns[4]) - K2;
    c.gain = valueOf(patterns[0]);
}
