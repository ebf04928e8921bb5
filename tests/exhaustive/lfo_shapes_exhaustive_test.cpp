// Every shape over all 2^32 phases: the value stays within -1..1, and the
// integer shapes give exact multiples of 2^-31.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "LfoShapes.h"

namespace {

template <double (*Shape)(uint32_t)>
void sweepAllPhases(bool integerShape) {
    double lo = 2, hi = -2;
    uint64_t inexact = 0;
    uint32_t p = 0;
    do {
        const double v = Shape(p);
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
        if (integerShape) {
            const double scaled = v * 2147483648.0;
            inexact += scaled != std::trunc(scaled);
        }
    } while (++p != 0);
    EXPECT_GE(lo, -1.0);
    EXPECT_LE(hi, 1.0);
    EXPECT_EQ(inexact, 0u);
}

}  // namespace

TEST(LfoShapesAllPhases, TrueSine) { sweepAllPhases<trueSine>(false); }
TEST(LfoShapesAllPhases, FakeSine) { sweepAllPhases<fakeSine>(false); }
TEST(LfoShapesAllPhases, Triangle) { sweepAllPhases<triangle>(true); }
TEST(LfoShapesAllPhases, RampUp) { sweepAllPhases<rampUp>(true); }
TEST(LfoShapesAllPhases, RampDown) { sweepAllPhases<rampDown>(true); }
TEST(LfoShapesAllPhases, Square) { sweepAllPhases<square>(true); }
TEST(LfoShapesAllPhases, Snowflake1) { sweepAllPhases<snowflake1>(true); }
TEST(LfoShapesAllPhases, Snowflake2) { sweepAllPhases<snowflake2>(true); }
TEST(LfoShapesAllPhases, Snowflake3) { sweepAllPhases<snowflake3>(true); }
TEST(LfoShapesAllPhases, Snowflake4) { sweepAllPhases<snowflake4>(true); }
TEST(LfoShapesAllPhases, Snowflake5) { sweepAllPhases<snowflake5>(true); }
