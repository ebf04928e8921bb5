// The sine shape's own evaluation: within one ulp of the exact sine of the
// reference argument, and the same value from every vector width.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "EngineForm.h"
#include "LfoShapes.h"
#include "PhaseSine.h"
#include "SineUlps.h"

namespace {

struct Worst {
    double ulps = 0;
    uint32_t phase = 0;
    void take(uint32_t p, double value) {
        const double e = sineErrorUlps(p, value);
        if (e > ulps) ulps = e, phase = p;
    }
};

// The AVX2 fill into `out`, where this target builds it and the processor
// runs it; false otherwise.
bool fillWide(uint32_t start, uint32_t increment, int32_t count, double* out) {
    if constexpr (engine_form::kX86Forms) {
        if (engine_form::runs(engine_form::Form::Avx2)) {
            phase_sine::fillAvx2(start, increment, count, out);
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(PhaseSine, WithinOneUlpOnADenseSweepAndAroundEveryQuarterTurn) {
    Worst worst;
    // Every 251st phase (about 17 million), which crosses every bit pattern of the quarter
    // and octant boundaries' neighbourhoods at odd offsets.
    for (uint64_t p = 0; p <= 0xFFFFFFFFull; p += 251) worst.take(static_cast<uint32_t>(p), phaseSine(static_cast<uint32_t>(p)));
    // A few thousand phases on each side of every eighth of a turn, where the
    // reduction changes quarter or the result crosses zero or one.
    for (uint64_t centre = 0; centre <= 0x100000000ull; centre += 0x20000000ull)
        for (int64_t d = -4096; d <= 4096; ++d) {
            const uint32_t p = static_cast<uint32_t>(centre + d);
            worst.take(p, phaseSine(p));
        }
    EXPECT_LE(worst.ulps, 1.0) << "phase " << worst.phase;
    RecordProperty("worst_ulps", std::to_string(worst.ulps));
}

TEST(PhaseSine, NamedValuesAndSymmetry) {
    EXPECT_EQ(phaseSine(0), 0.0);
    EXPECT_FALSE(std::signbit(phaseSine(0)));
    EXPECT_EQ(phaseSine(0x40000000u), 1.0);
    EXPECT_EQ(phaseSine(0xC0000000u), -1.0);
    // The values the reference computes, near zero and at half a turn.
    EXPECT_EQ(phaseSine(1), trueSine(1));
    EXPECT_EQ(phaseSine(0xFFFFFFFFu), trueSine(0xFFFFFFFFu));
    EXPECT_EQ(phaseSine(0x80000000u), trueSine(0x80000000u));  // sin(-pi rounded)
    // Odd symmetry is exact: the same operations on negated operands.
    std::mt19937 rng(3);
    for (int i = 0; i < 100000; ++i) {
        const uint32_t p = rng();
        if (p == 0x80000000u) continue;
        ASSERT_EQ(phaseSine(0u - p), -phaseSine(p)) << p;
    }
}

TEST(PhaseSine, EveryVectorWidthGivesTheSameValues) {
    std::mt19937 rng(5);
    std::vector<double> baseline(203), wide(203), chosen(203);
    for (int round = 0; round < 2000; ++round) {
        const uint32_t start = rng();
        const uint32_t increment = round % 3 == 0 ? rng() : rng() % 100000;
        const int32_t count = static_cast<int32_t>(rng() % 204);
        phase_sine::fillBaseline(start, increment, count, baseline.data());
        phaseSines(start, increment, count, chosen.data());
        const bool wideToo = fillWide(start, increment, count, wide.data());
        for (int32_t i = 0; i < count; ++i) {
            const double one = phaseSine(start + static_cast<uint32_t>(i) * increment);
            ASSERT_EQ(baseline[i], one) << i;
            ASSERT_EQ(chosen[i], one) << i;
            if (wideToo) {
                ASSERT_EQ(wide[i], one) << i;
            }
        }
    }
    if (!engine_form::runs(engine_form::Form::Avx2)) GTEST_SKIP() << "no AVX2 here; the baseline form alone was checked";
}

// Runs that end just inside a quarter turn take one kernel for the whole
// run; runs one phase longer cross into the next quarter and do not. Both
// must give the frame-by-frame values, in every quarter and across the wrap.
TEST(PhaseSine, RunsAtTheQuarterTurnsGiveTheFrameByFrameValues) {
    std::vector<double> baseline(260), wide(260);
    for (uint64_t boundary = 0x20000000ull; boundary < 0x100000000ull; boundary += 0x40000000ull)
        for (const uint32_t increment : {1u, 3u, 1000u, 4000000u})
            for (const int32_t count : {4, 5, 128, 256, 259})
                for (int64_t end = -2; end <= 2; ++end) {
                    // The run's last phase lies `end` phases past the boundary.
                    const uint32_t start = static_cast<uint32_t>(boundary + end) -
                                           static_cast<uint32_t>(count - 1) * increment;
                    phase_sine::fillBaseline(start, increment, count, baseline.data());
                    const bool wideToo = fillWide(start, increment, count, wide.data());
                    for (int32_t i = 0; i < count; ++i) {
                        const double one = phaseSine(start + static_cast<uint32_t>(i) * increment);
                        ASSERT_EQ(baseline[i], one) << start << " " << increment << " " << i;
                        if (wideToo) {
                            ASSERT_EQ(wide[i], one) << start << " " << increment << " " << i;
                        }
                    }
                }
    if (!engine_form::runs(engine_form::Form::Avx2)) GTEST_SKIP() << "no AVX2 here; the baseline form alone was checked";
}
