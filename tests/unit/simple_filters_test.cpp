#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "CaptureDiagnostics.h"
#include "simpleFilters.h"

namespace {

// Half a unit in the last of 7 significant digits of a printed value.
double printedTolerance(double printed) {
    return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(printed))) - 6);
}

// Gain of s += (x - s) * a at w radians per sample.
double smootherGain(double a, double w) {
    return a / std::abs(1.0 - (1.0 - a) * std::polar(1.0, -w));
}

}  // namespace

TEST(OnePoleCoefficient, PrintedValues) {
    const struct { float sampleRate, cutoff; double a; } cases[] = {
        {44100, 11025, 0.7320508},      // f = 0.25
        {44100, 22050, 0.8284271},      // f = 0.5, Nyquist branch
        {44100, 44100, 0.9442719},      // f = 1
        {44100, 22000, 0.8284256},      // top of the cutoff range
        {44100, 1.0f / 60, 2.3746645e-6},  // bottom of the cutoff range
        {48000, 1000, 0.1225306},
    };
    for (auto t : cases) {
        CaptureDiagnostics cap;
        EXPECT_NEAR(onePoleCoefficient(t.sampleRate, t.cutoff), t.a, printedTolerance(t.a))
            << t.sampleRate << " " << t.cutoff;
        EXPECT_TRUE(cap.take().empty());
    }
    EXPECT_NEAR(coefficientForNyquistGain(0.8944272f), 0.9442719, printedTolerance(0.9442719));
}

// Below Nyquist the cutoff is the smoother's -3 dB point.
TEST(OnePoleCoefficient, HalfPowerAtTheCutoff) {
    for (float sampleRate : {22050.0f, 44100.0f, 48000.0f, 192000.0f})
        for (float cutoff : {1.0f, 20.0f, 1000.0f, 5000.0f, 10000.0f}) {
            const double a = onePoleCoefficient(sampleRate, cutoff);
            EXPECT_NEAR(smootherGain(a, 6.283185307179586 * cutoff / sampleRate), std::sqrt(0.5), 1e-6)
                << sampleRate << " " << cutoff;
        }
}

// The two branches meet at Nyquist, and a grows with the cutoff towards 1.
TEST(OnePoleCoefficient, ContinuousAndRisingThroughNyquist) {
    const float below = std::nextafter(22050.0f, 0.0f);
    EXPECT_NEAR(onePoleCoefficient(44100, below), onePoleCoefficient(44100, 22050), 1e-6);
    EXPECT_NEAR(onePoleCoefficient(44100, 22050), 2 * std::sqrt(2.0) - 2, 1e-7);
    double previous = 0;
    for (float cutoff = 1.0f / 60; cutoff < 1e6f; cutoff *= 1.1f) {
        const double a = onePoleCoefficient(44100, cutoff);
        EXPECT_GT(a, previous) << cutoff;
        EXPECT_LT(a, 1.0) << cutoff;
        previous = a;
    }
}

TEST(OnePoleCoefficient, Diagnostics) {
    const std::string nyquist = "nyquistGain>0.0f && nyquistGain <= 1.0f";
    const struct { float sampleRate, cutoff; std::vector<std::string> reports; double a; } cases[] = {
        {44100, 0, {"cutoff>0.0f"}, 0.0},
        {44100, -100, {"cutoff>0.0f"}, 0.0},  // a negative ratio holds the smoother
        {-44100, 100, {"sampleRate>0.0f"}, 0.0},
        {-44100, -100, {"cutoff>0.0f", "sampleRate>0.0f"}, onePoleCoefficient(44100, 100)},
    };
    for (const auto& t : cases) {
        CaptureDiagnostics cap;
        EXPECT_NEAR(onePoleCoefficient(t.sampleRate, t.cutoff), t.a, 1e-12) << t.sampleRate << " " << t.cutoff;
        const auto entries = cap.take();
        std::vector<std::string> texts;
        for (const auto& e : entries) {
            texts.push_back(e.expression);
            EXPECT_EQ(e.unit, "simpleFilters");
        }
        EXPECT_EQ(texts, t.reports) << t.sampleRate << " " << t.cutoff;
    }
    // A zero sample rate makes f infinite; the Nyquist gain is then not a number.
    CaptureDiagnostics cap;
    EXPECT_TRUE(std::isnan(onePoleCoefficient(0, 100)));
    EXPECT_EQ(cap.expressions(), (std::vector<std::string>{"sampleRate>0.0f", nyquist}));
}

TEST(CoefficientForNyquistGain, RangeCheck) {
    const struct { float gain; double a; bool reported; } cases[] = {
        {1, 1, false}, {0.5f, 2.0 / 3, false}, {0, 0, true}, {-0.5f, -2, true}, {1.5f, 1.2, true},
    };
    for (auto t : cases) {
        CaptureDiagnostics cap;
        EXPECT_NEAR(coefficientForNyquistGain(t.gain), t.a, 1e-7) << t.gain;
        const auto entries = cap.take();
        ASSERT_EQ(entries.size(), t.reported ? 1u : 0u) << t.gain;
        if (t.reported) {
            EXPECT_EQ(entries[0].expression, "nyquistGain>0.0f && nyquistGain <= 1.0f");
            EXPECT_EQ(entries[0].unit, "simpleFilters");
        }
    }
}
