// The oscillator's wave shapes: pure functions of a 32-bit phase (2^32 per
// cycle) giving a value in -1..1. All but trueSine and fakeSine are an exact
// integer-to-double conversion times a power of two. Defined inline so the
// engine's loop can inline them; each also has an address for LfoShape.
#pragma once

#include <cmath>
#include <cstdint>

using LfoShape = double (*)(uint32_t phase);

namespace lfo_detail {
constexpr double twoPow30 = 9.313225746154785e-10;  // 2^-30
constexpr double twoPow31 = 4.656612873077393e-10;  // 2^-31
// Two's-complement value of a 32-bit pattern.
constexpr int32_t toSigned(uint32_t x) { return static_cast<int32_t>(x); }
}  // namespace lfo_detail

inline double trueSine(uint32_t p) {
    return std::sin(lfo_detail::toSigned(p) * 1.4629180792671596e-9);  // 2*pi / 2^32
}

// Folding the phase at its sign bit: 0 at p = 0, peak at 2^30, trough at 3*2^30.
inline double triangle(uint32_t p) {
    const uint32_t a = p + 0x40000000u;
    const uint32_t s = static_cast<uint32_t>(lfo_detail::toSigned(a) >> 31);  // sign spread
    const int32_t t = lfo_detail::toSigned(a ^ s) - 0x40000000;
    return t * lfo_detail::twoPow30;
}

// The triangle bent by a cubic: same extremes, slope 1.5 at the zero crossings.
inline double fakeSine(uint32_t p) {
    const double x = triangle(p);
    return x * (1.5 - 0.5 * (x * x));
}

inline double rampUp(uint32_t p) {
    return lfo_detail::toSigned(p + 0x80000000u) * lfo_detail::twoPow31;
}

inline double rampDown(uint32_t p) {
    return lfo_detail::toSigned(p + 0x80000000u) * -lfo_detail::twoPow31;
}

// -1 for the first half cycle, +1 for the second.
inline double square(uint32_t p) {
    return lfo_detail::toSigned((p & 0x80000000u) - 0x40000000u) * lfo_detail::twoPow30;
}

// Gray code of the phase.
inline double snowflake1(uint32_t p) {
    return lfo_detail::toSigned((p ^ (p >> 1)) - 0x80000000u) * lfo_detail::twoPow31;
}

inline double snowflake2(uint32_t p) {
    return lfo_detail::toSigned((p ^ (p >> 2)) - 0x80000000u) * lfo_detail::twoPow31;
}

// Alternating bits flipped, no offset.
inline double snowflake3(uint32_t p) {
    return lfo_detail::toSigned(p ^ 0x55555555u) * lfo_detail::twoPow31;
}

// The left shift drops the top bit.
inline double snowflake4(uint32_t p) {
    return lfo_detail::toSigned((p ^ (p << 1)) - 0x80000000u) * lfo_detail::twoPow31;
}

// Each even-numbered bit exchanged with the odd-numbered bit above it.
inline double snowflake5(uint32_t p) {
    const uint32_t q = (p << 1) ^ (((p << 1) ^ (p >> 1)) & 0x55555555u);
    return lfo_detail::toSigned(q - 0x80000000u) * lfo_detail::twoPow31;
}

// The shapes in the order the waveform choice lists them: the function, the
// text saved in state, and the text shown by the host.
struct LfoShapeInfo {
    LfoShape shape;
    const char* valueText;
    const char* displayText;
};

extern const LfoShapeInfo lfoShapeTable[11];
