#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "BiquadCoeffs.h"
#include "CaptureDiagnostics.h"

namespace {

// Half a unit in the last of `digits` significant digits of a printed value.
double printedTolerance(double printed, int digits = 7) {
    return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(printed))) - (digits - 1));
}

std::complex<double> response(const BiquadCoeffs& c, double f) {
    const std::complex<double> z1 = std::polar(1.0, -6.283185307179586 * f);
    const auto num = double(c.gain) * (1.0 + double(c.num1) * z1 + double(c.num2) * z1 * z1);
    const auto den = 1.0 - double(c.rec1) * z1 - double(c.rec2) * z1 * z1;
    return num / den;
}

bool finite(const BiquadCoeffs& c) {
    return std::isfinite(c.gain) && std::isfinite(c.num1) && std::isfinite(c.num2) &&
           std::isfinite(c.rec1) && std::isfinite(c.rec2);
}

// Both poles of 1 - rec1 z^-1 - rec2 z^-2 strictly inside the unit circle.
bool stable(const BiquadCoeffs& c) {
    const double a1 = -double(c.rec1), a2 = -double(c.rec2);
    return finite(c) && std::fabs(a2) < 1 && std::fabs(a1) < 1 + a2;
}

bool sameBits(const BiquadCoeffs& a, const BiquadCoeffs& b) {
    return std::bit_cast<uint32_t>(a.gain) == std::bit_cast<uint32_t>(b.gain) &&
           std::bit_cast<uint32_t>(a.num1) == std::bit_cast<uint32_t>(b.num1) &&
           std::bit_cast<uint32_t>(a.num2) == std::bit_cast<uint32_t>(b.num2) &&
           std::bit_cast<uint32_t>(a.rec1) == std::bit_cast<uint32_t>(b.rec1) &&
           std::bit_cast<uint32_t>(a.rec2) == std::bit_cast<uint32_t>(b.rec2);
}

// The feedback band-pass exactly as the engine designs it.
BiquadCoeffs engineBandPass(float centre, float q, float sampleRate) {
    BiquadCoeffs c;
    c.setBandPass(static_cast<float>(centre / sampleRate), static_cast<float>(qToOctaves(q)));
    return c;
}

// Transformed patterns as the ramp targets them.
std::vector<int32_t> targetPatterns(const BiquadCoeffs& c) {
    const float K = 1.0000020265579224f;
    const float v[5] = {c.gain, c.rec2 + K, K - c.rec1 - c.rec2, K - c.num2, c.num1 + c.num2 + K};
    std::vector<int32_t> out;
    for (float x : v) out.push_back(std::bit_cast<int32_t>(x));
    return out;
}

std::vector<int32_t> patternsOf(const CoeffRamp& r) {
    return std::vector<int32_t>(r.patterns, r.patterns + 5);
}

// A glide may end up to n pattern units short of each target; for n below
// 1000 and transformed values below 4 that moves a coefficient by < 3.2e-4.
constexpr double glideEndTolerance = 3.2e-4;

// Log grids over the engine's ranges, ends included.
std::vector<double> logGrid(double lo, double hi, int steps) {
    std::vector<double> v;
    for (int i = 0; i <= steps; ++i) v.push_back(lo * std::pow(hi / lo, double(i) / steps));
    v.back() = hi;
    return v;
}

}  // namespace

TEST(QToOctaves, PrintedValues) {
    const struct { double q, octaves; } cases[] = {{0.125, 6.044063}, {0.7, 1.916853}, {2, 0.7140373}};
    for (auto c : cases)
        EXPECT_NEAR(qToOctaves(c.q), c.octaves, printedTolerance(c.octaves)) << "q=" << c.q;
}

TEST(BiquadDesign, BandPassPrintedCoefficients) {
    const struct { double centre, q, gain, num1, num2, rec1, rec2; } cases[] = {
        {1500, 0.125, 0.6990156, -0.776543, -0.223457, 1.120088, -0.1429338},
        {1000, 0.7, 0.1505614, -0.7773371, -0.2226629, 1.797366, -0.815725},
    };
    for (auto t : cases) {
        BiquadCoeffs c;
        c.setBandPass(float(t.centre / 44100.0), float(qToOctaves(t.q)));
        SCOPED_TRACE(t.centre);
        EXPECT_NEAR(c.gain, t.gain, printedTolerance(t.gain));
        EXPECT_NEAR(c.num1, t.num1, printedTolerance(t.num1));
        EXPECT_NEAR(c.num2, t.num2, printedTolerance(t.num2));
        EXPECT_NEAR(c.rec1, t.rec1, printedTolerance(t.rec1));
        EXPECT_NEAR(c.rec2, t.rec2, printedTolerance(t.rec2));
    }
}

TEST(BiquadDesign, EdgeGainAtOneKilohertz) {
    const float f = 1000.0f / 44100.0f, octaves = float(qToOctaves(0.7));
    BiquadCoeffs c;
    c.setBandPass(f, octaves);
    EXPECT_NEAR(std::abs(response(c, f * std::pow(0.5, octaves / 2.0))), 0.70705, 5e-6);
}

TEST(BiquadDesign, FrequenciesAboveTheClampsGiveTheClampedDesign) {
    const double gb = std::sqrt(0.5);
    BiquadCoeffs clamped, above;
    clamped.design(0, 0.2, gb, 0.49000000953674316, 1);
    above.design(0, 0.2, gb, 0.6, 1);
    EXPECT_TRUE(sameBits(above, clamped));
    EXPECT_TRUE(stable(clamped));

    clamped.design(0, 0.47999998927116394, gb, 0.49000000953674316, 1);
    above.design(0, 0.485, gb, 0.7, 1);
    EXPECT_TRUE(sameBits(above, clamped));
    EXPECT_TRUE(stable(clamped));
}

TEST(BiquadDesign, PreconditionDiagnostics) {
    const double nan = std::nan("");
    const struct { double G0, Fb, Gb, Fp, Gp; std::vector<std::string> reports; } cases[] = {
        {0, 0.05, 0.7, 0.1, 1, {}},
        {1, 0.05, 0.7, 0.1, 0.5, {}},  // a cut is as valid as a boost
        {0, 0.1, 0.7, 0, 1, {"Fp>0", "Fb<Fp"}},
        {0, 0, 0.7, 0.1, 1, {"Fb>0"}},
        {0, 0.2, 0.7, 0.1, 1, {"Fb<Fp"}},
        {-1, 0.05, 0.7, 0.1, 1, {"G0>=0"}},
        {0, 0.05, -0.5, 0.1, 1, {"Gb>=0", "(G0<Gb && Gb<Gp) || (G0>Gb && Gb>Gp)"}},
        {1, 0.05, 0.5, 0.1, -1, {"Gp>=0"}},
        {0, 0.05, 1.5, 0.1, 1, {"(G0<Gb && Gb<Gp) || (G0>Gb && Gb>Gp)"}},
        {0, 0.05, 0.7, nan, 1, {"Fp>0", "Fb<Fp"}},
    };
    for (const auto& t : cases) {
        CaptureDiagnostics cap;
        BiquadCoeffs c;
        c.design(t.G0, t.Fb, t.Gb, t.Fp, t.Gp);
        const auto entries = cap.take();
        std::vector<std::string> texts;
        for (const auto& e : entries) {
            texts.push_back(e.expression);
            EXPECT_EQ(e.unit, "BiquadCoeffs");
        }
        EXPECT_EQ(texts, t.reports) << "G0=" << t.G0 << " Fb=" << t.Fb << " Gb=" << t.Gb
                                    << " Fp=" << t.Fp << " Gp=" << t.Gp;
    }
}

// Over the engine's whole range every design must be finite and stable and
// raise no diagnostic. Below the clamp it must also meet its gains. Float
// coefficients resolve 1 - rec1 - rec2, about 4*pi^2 * f * fb, only to float
// precision, so accuracy at the centre and edge falls off as 1/(f * fb) and
// the DC zero as 1/f; the edge gain also drifts as f^2 towards Nyquist.
TEST(BiquadDesign, EngineBandPassAcrossTheRange) {
    int clampedCount = 0;
    for (double sr : logGrid(22050, 192000, 8))
        for (double centre : logGrid(20, 20000, 30))
            for (double q : logGrid(1.0 / 512, 2, 20)) {
                CaptureDiagnostics cap;
                const BiquadCoeffs c = engineBandPass(float(centre), float(q), float(sr));
                SCOPED_TRACE(::testing::Message() << "sr=" << sr << " centre=" << centre << " q=" << q);
                EXPECT_TRUE(cap.take().empty());
                ASSERT_TRUE(stable(c));
                const float f = float(float(centre) / float(sr));
                if (f > 0.49f) {
                    ++clampedCount;
                    continue;
                }
                const double octaves = float(qToOctaves(float(q)));
                const double fb = f * std::pow(0.5, octaves / 2);
                const double lowTol = 1e-9 / (f * fb);
                EXPECT_NEAR(std::abs(response(c, f)), 1.0, 1e-6 + lowTol);
                EXPECT_NEAR(std::abs(response(c, fb)), std::sqrt(0.5), 1e-6 + 4 * lowTol + 0.65 * f * f);
                EXPECT_NEAR(std::abs(response(c, 0)), 0.0, 4e-6 / f);
                EXPECT_NEAR(1.0 + c.num1 + c.num2, 0.0, 1.2e-7);  // zero at DC
            }
    EXPECT_GT(clampedCount, 0);  // 20 kHz at 22.05 kHz is above Nyquist
}

TEST(CoeffRamp, InitialState) {
    CoeffRamp r;
    EXPECT_EQ(patternsOf(r), std::vector<int32_t>(5, 0x3F800000));
    EXPECT_EQ(r.count, 0);
    // A glide too long to move any pattern decodes the initial patterns.
    BiquadCoeffs c;
    r.start(engineBandPass(1000, 0.7f, 44100), INT32_MAX);
    r.step(c);
    EXPECT_EQ(c.gain, 1.0f);
    EXPECT_NEAR(c.rec2, -2.0265579e-6, 1e-13);
    EXPECT_NEAR(c.rec1, 4.0531158e-6, 1e-13);
    EXPECT_NEAR(c.num2, 2.0265579e-6, 1e-13);
    EXPECT_NEAR(c.num1, -4.0531158e-6, 1e-13);
}

TEST(CoeffRamp, NonPositiveLengthLandsInOneStep) {
    const BiquadCoeffs target = engineBandPass(1500, 0.125f, 44100);
    for (int32_t n : {0, -5, 1}) {
        CoeffRamp r;
        BiquadCoeffs c;
        r.start(target, n);
        EXPECT_EQ(r.count, 1);
        r.step(c);
        EXPECT_EQ(r.count, 0);
        EXPECT_EQ(patternsOf(r), targetPatterns(target));
        EXPECT_NEAR(c.gain, target.gain, 1e-7);
        EXPECT_NEAR(c.num1, target.num1, 1e-6);
        EXPECT_NEAR(c.num2, target.num2, 1e-6);
        EXPECT_NEAR(c.rec1, target.rec1, 1e-6);
        EXPECT_NEAR(c.rec2, target.rec2, 1e-6);
    }
}

// Each pattern moves steadily from where it stood towards its target and
// never past it, so a glide cannot overshoot into a filter neither design
// had; after n steps it is less than n units short.
TEST(CoeffRamp, GlidesApproachTheirTargetWithoutPassingIt) {
    const BiquadCoeffs targets[] = {engineBandPass(1500, 0.125f, 44100), engineBandPass(20, 2, 192000),
                                    engineBandPass(20000, 1.0f / 512, 48000)};
    for (const auto& t : targets)
        for (int32_t n : {3, 881, 959}) {
            CoeffRamp r;
            BiquadCoeffs c;
            const auto from = patternsOf(r);
            const auto goal = targetPatterns(t);
            r.start(t, n);
            auto previous = from;
            for (int32_t step = 0; step < n; ++step) {
                r.step(c);
                const auto now = patternsOf(r);
                for (int i = 0; i < 5; ++i) {
                    const int64_t towards = int64_t(goal[i]) - from[i];
                    const int64_t moved = int64_t(now[i]) - previous[i];
                    ASSERT_GE(moved * (towards < 0 ? -1 : 1), 0) << i << " at step " << step;
                    ASSERT_LE(std::abs(int64_t(now[i]) - from[i]), std::abs(towards)) << i << " at step " << step;
                }
                previous = now;
            }
            for (int i = 0; i < 5; ++i) EXPECT_LT(std::abs(int64_t(goal[i]) - r.patterns[i]), n) << i;
        }
}

// The engine's loop: step only while count > 0.
TEST(CoeffRamp, FullGlideEndsAfterNSteps) {
    const BiquadCoeffs from = engineBandPass(1000, 0.7f, 44100), to = engineBandPass(5000, 0.125f, 44100);
    CoeffRamp r;
    BiquadCoeffs c;
    r.start(from, 1);
    r.step(c);
    r.start(to, 881);
    int steps = 0;
    BiquadCoeffs last;
    for (int sample = 0; sample < 2000; ++sample)
        if (r.count > 0) {
            r.step(c);
            ++steps;
            last = c;
            if (steps == 880) {
                EXPECT_EQ(r.count, 1);
            }
        }
    EXPECT_EQ(steps, 881);
    EXPECT_EQ(r.count, 0);
    EXPECT_TRUE(sameBits(c, last));
    const auto goal = targetPatterns(to);
    for (int i = 0; i < 5; ++i) {
        EXPECT_LT(std::abs(int64_t(goal[i]) - r.patterns[i]), 881) << i;
    }
    EXPECT_NEAR(c.rec1, to.rec1, glideEndTolerance);
    EXPECT_NEAR(c.rec2, to.rec2, glideEndTolerance);
}

TEST(CoeffRamp, RestartMidwayGlidesFromWhereItStands) {
    const BiquadCoeffs a = engineBandPass(200, 2, 48000), b = engineBandPass(8000, 0.05f, 48000);
    CoeffRamp r;
    BiquadCoeffs c;
    r.start(a, 959);
    for (int i = 0; i < 400; ++i) r.step(c);
    const auto midway = patternsOf(r);
    r.start(b, 959);
    EXPECT_EQ(r.count, 959);
    const auto goal = targetPatterns(b);
    r.step(c);
    // The first step goes from where the first glide stood, towards the new target.
    for (int i = 0; i < 5; ++i) EXPECT_LE(std::abs(int64_t(goal[i]) - r.patterns[i]), std::abs(int64_t(goal[i]) - midway[i])) << i;
    while (r.count > 0) r.step(c);
    for (int i = 0; i < 5; ++i) EXPECT_LT(std::abs(int64_t(goal[i]) - r.patterns[i]), 959) << i;
    EXPECT_NEAR(c.rec1, b.rec1, glideEndTolerance);
    EXPECT_NEAR(c.gain, b.gain, glideEndTolerance);
}

// Differences between patterns of opposite sign wrap modulo 2^32; a
// one-step glide still lands exactly on the target.
TEST(CoeffRamp, WrappingDifferencesStillLand) {
    BiquadCoeffs far;
    far.gain = -3e38f;
    far.num2 = 3e38f;
    CoeffRamp r;
    BiquadCoeffs c;
    r.start(far, 1);
    r.step(c);
    EXPECT_EQ(patternsOf(r), targetPatterns(far));
    EXPECT_EQ(c.gain, -3e38f);
    BiquadCoeffs back;
    r.start(back, 1);
    r.step(c);
    EXPECT_EQ(patternsOf(r), targetPatterns(back));
}

// Every intermediate filter of a glide between stable designs is stable,
// from the initial patterns too, and when a glide is cut short.
TEST(CoeffRamp, GlidesBetweenDesignsStayStable) {
    std::vector<BiquadCoeffs> designs;
    for (double sr : {22050.0, 48000.0, 192000.0})
        for (double centre : {20.0, 300.0, 5000.0, 20000.0})
            for (double q : {1.0 / 512, 0.125, 2.0}) designs.push_back(engineBandPass(float(centre), float(q), float(sr)));
    for (size_t from = 0; from <= designs.size(); ++from)
        for (size_t to = 0; to < designs.size(); ++to) {
            CoeffRamp r;
            BiquadCoeffs c;
            if (from < designs.size()) {
                r.start(designs[from], 1);
                r.step(c);
            }
            bool ok = true;
            auto run = [&](int steps) {
                for (int i = 0; i < steps && r.count > 0 && ok; ++i) {
                    r.step(c);
                    ok = stable(c);
                }
            };
            r.start(designs[to], 881);
            run(300);
            r.start(designs[(to + 7) % designs.size()], 881);  // restart midway
            run(881);
            EXPECT_TRUE(ok) << from << " -> " << to;
        }
}
