#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "LfoShapes.h"

namespace {

constexpr double twoPow30 = 9.313225746154785e-10;
constexpr double twoPow31 = 4.656612873077393e-10;

// The 32-bit pattern behind a value of signed(x - 0x80000000) * 2^-31.
uint32_t patternOf(double value) {
    return static_cast<uint32_t>(static_cast<int32_t>(value / twoPow31)) + 0x80000000u;
}

}  // namespace

TEST(LfoShapes, PrintedValues) {
    const double peak = (1073741824.0 - 1) * twoPow30;  // triangle at a quarter cycle
    const struct { const char* name; LfoShape shape; uint32_t phase; double value; } cases[] = {
        {"trueSine", trueSine, 0, 0},
        {"triangle", triangle, 0, 0},
        {"fakeSine", fakeSine, 0, 0},
        {"rampUp", rampUp, 0, -1},
        {"rampDown", rampDown, 0, 1},
        {"square", square, 0, -1},
        {"snowflake1", snowflake1, 0, -1},
        {"snowflake3", snowflake3, 0, 0x55555555 * twoPow31},
        {"square", square, 0x80000000u, 1},
        {"rampUp", rampUp, 0x80000000u, 0},
        {"rampDown", rampDown, 0x80000000u, 0},
        {"snowflake1", snowflake1, 0x80000000u, 0.5},
        {"rampUp", rampUp, 0xFFFFFFFFu, 1 - twoPow31},
        {"square", square, 0xFFFFFFFFu, 1},
        {"triangle", triangle, 0x40000000u, peak},
        {"fakeSine", fakeSine, 0x40000000u, peak * (1.5 - 0.5 * (peak * peak))},
        {"triangle", triangle, 0x80000000u, -twoPow30},
        {"triangle", triangle, 0xC0000000u, -1},
        {"fakeSine", fakeSine, 0xC0000000u, -1},
        {"rampDown", rampDown, 0xFFFFFFFFu, -(1 - twoPow31)},
    };
    for (auto t : cases) EXPECT_EQ(t.shape(t.phase), t.value) << t.name << " at " << t.phase;
    EXPECT_NEAR(trueSine(0x40000000u), 1, 1e-15);
    EXPECT_NEAR(trueSine(0xC0000000u), -1, 1e-15);
    EXPECT_NEAR(0x55555555 * twoPow31, 0.6667, 1e-4);
}

TEST(LfoShapes, TableOrderAndTexts) {
    const struct { LfoShape shape; const char* valueText; const char* displayText; } expected[11] = {
        {trueSine, "true sine", "trueSine"},    {fakeSine, "fake sine", "fakeSine"},
        {triangle, "triangle", "triangle"},     {rampUp, "ramp up", "rampUp"},
        {rampDown, "ramp down", "rampDown"},    {square, "square", "square"},
        {snowflake1, "snow 1", "snowflake1"},   {snowflake2, "snow 2", "snowflake2"},
        {snowflake3, "snow 3", "snowflake3"},   {snowflake4, "snow 4", "snowflake4"},
        {snowflake5, "snow 5", "snowflake5"},
    };
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(lfoShapeTable[i].shape, expected[i].shape) << i;
        EXPECT_EQ(std::string(lfoShapeTable[i].valueText), expected[i].valueText) << i;
        EXPECT_EQ(std::string(lfoShapeTable[i].displayText), expected[i].displayText) << i;
    }
}

// Every shape within -1..1 over a dense sweep (an odd step reaches every
// residue pattern of the low bits), plus the phases around each quarter.
TEST(LfoShapes, WithinRangeOverDenseSweep) {
    for (const auto& info : lfoShapeTable) {
        double lo = 2, hi = -2;
        auto visit = [&](uint32_t p) {
            const double v = info.shape(p);
            lo = std::fmin(lo, v);
            hi = std::fmax(hi, v);
        };
        for (uint32_t p = 0, i = 0; i < (1u << 20); ++i, p += 4093u) visit(p);
        for (uint32_t q = 0; q < 4; ++q)
            for (int d = -3; d <= 3; ++d) visit(q * 0x40000000u + uint32_t(d));
        EXPECT_GE(lo, -1.0) << info.displayText;
        EXPECT_LE(hi, 1.0) << info.displayText;
        EXPECT_LT(lo, -0.99) << info.displayText;  // spans the range
        EXPECT_GT(hi, 0.99) << info.displayText;
    }
}

// Shapes the sine follows: the triangle, its cubic image and the sine share
// zero crossings and extremes; the ramps mirror each other.
TEST(LfoShapes, Relations) {
    for (uint32_t p = 12345, i = 0; i < 100000; ++i, p += 42949u) {
        const double x = triangle(p);
        EXPECT_EQ(fakeSine(p), x * (1.5 - 0.5 * (x * x)));
        EXPECT_EQ(rampDown(p), -rampUp(p));
        EXPECT_NEAR(x, std::asin(trueSine(p)) / (3.141592653589793 / 2), 1e-7);
        EXPECT_EQ(square(p), p < 0x80000000u ? -1.0 : 1.0);
    }
}

// The snowflakes are bit permutations or xors of the phase: decode the
// pattern from the value and check the bit-level property directly.
TEST(LfoShapes, SnowflakeBitStructure) {
    for (uint32_t p = 7, i = 0; i < 100000; ++i, p = p * 2654435761u + 1) {
        const uint32_t gray = patternOf(snowflake1(p));
        EXPECT_EQ(gray, p ^ (p >> 1));
        EXPECT_EQ(__builtin_popcount(gray ^ patternOf(snowflake1(p + 1))), 1);  // Gray code
        EXPECT_EQ(patternOf(snowflake2(p)), p ^ (p >> 2));
        EXPECT_EQ(static_cast<uint32_t>(static_cast<int32_t>(snowflake3(p) / twoPow31)), p ^ 0x55555555u);
        EXPECT_EQ(patternOf(snowflake4(p)), p ^ (p << 1));
        const uint32_t swapped = patternOf(snowflake5(p));
        EXPECT_EQ(patternOf(snowflake5(swapped)), p);  // exchanging pairs twice restores
        EXPECT_EQ(swapped & 0xAAAAAAAAu, (p << 1) & 0xAAAAAAAAu);
        EXPECT_EQ(swapped & 0x55555555u, (p >> 1) & 0x55555555u);
    }
}
