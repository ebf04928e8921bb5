#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "CaptureDiagnostics.h"
#include "Mapping.h"

namespace {

using Strings = std::vector<std::string>;
const double nan = std::numeric_limits<double>::quiet_NaN();

struct Conversion {
    const char* kind;
    const Mapping& mapping;
    double minValue, maxValue, position, value;
};

TEST(Mapping, KnownPositionsAndValues) {
    const Conversion cases[] = {
        {"linear", linearMapping(), 0.0, 1.0, 0.3, 0.3},
        {"linear", linearMapping(), 0.0, 1.0, 0.75, 0.75},
        {"linear", linearMapping(), -90.0, 90.0, 0.5, 0.0},
        {"log", logMapping(), 10.0, 1000.0, 0.5, 100.0},
        {"sqrt", sqrtMapping(), 0.0, 1.0, 0.5, 0.25},
        {"sqrt", sqrtMapping(), 0.25, 9.0, 0.5, 3.0625},  // (0.5 * 0.5 + 0.5 * 3)^2
        {"fourth root", fourthRootMapping(), 0.0, 1.0, 0.5, 0.0625},
        {"fourth root", fourthRootMapping(), 0.0, 4.0, 0.6, 0.5184},
        {"cube root", cubeRootMapping(), 0.0, 1.0, 0.5, 0.125},
    };
    CaptureDiagnostics cap;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_DOUBLE_EQ(c.mapping.positionToValue(c.position, c.minValue, c.maxValue), c.value);
        EXPECT_DOUBLE_EQ(c.mapping.valueToPosition(c.value, c.minValue, c.maxValue), c.position);
    }
    EXPECT_TRUE(cap.take().empty());
}

TEST(Mapping, LinearUnitRangeIsIdentity) {
    for (double x : {0.0, 0.1, 0.25, 1.0 / 3.0, 0.5, 0.9, 1.0}) {
        EXPECT_EQ(linearMapping().positionToValue(x, 0.0, 1.0), x);
        EXPECT_EQ(linearMapping().valueToPosition(x, 0.0, 1.0), x);
    }
}

// Both ends are exact for the ranges this effect configures and a few more.
// (The formulas alone do not promise it for every range: a cube root of 0..4
// gives 3.9999999999999996 at position 1, which is left as computed.)
TEST(Mapping, EndpointsAreExact) {
    struct Range {
        const Mapping& mapping;
        double minValue, maxValue;
    };
    const Range ranges[] = {
        {linearMapping(), 0.0, 1.0},         {linearMapping(), -90.0, 90.0},
        {logMapping(), 20.0, 1000.0},        {logMapping(), 1.0 / 60.0, 20.0},
        {logMapping(), 1.0 / 60.0, 22000.0}, {logMapping(), 20.0, 20000.0},
        {logMapping(), 0.001953125, 2.0},    {logMapping(), 10.0, 1000.0},
        {sqrtMapping(), 0.0, 1.0},           {sqrtMapping(), 0.25, 9.0},
        {fourthRootMapping(), 0.0, 4.0},     {fourthRootMapping(), 0.0, 1.0},
        {cubeRootMapping(), 0.0, 1.0},       {cubeRootMapping(), 0.0, 8.0},
    };
    CaptureDiagnostics cap;
    for (const auto& r : ranges) {
        SCOPED_TRACE(r.minValue);
        SCOPED_TRACE(r.maxValue);
        EXPECT_EQ(r.mapping.valueToPosition(r.minValue, r.minValue, r.maxValue), 0.0);
        EXPECT_EQ(r.mapping.valueToPosition(r.maxValue, r.minValue, r.maxValue), 1.0);
        EXPECT_EQ(r.mapping.positionToValue(0.0, r.minValue, r.maxValue), r.minValue);
        EXPECT_EQ(r.mapping.positionToValue(1.0, r.minValue, r.maxValue), r.maxValue);
    }
    EXPECT_TRUE(cap.take().empty());
}

// The powers may overshoot; the power mapping pulls its result back.
TEST(Mapping, PowerResultStaysInRange) {
    CaptureDiagnostics cap;
    for (const PowerMapping* m : {&cubeRootMapping(), &fourthRootMapping()}) {
        for (double maxValue : {0.1, 0.3, 1.0, 3.0, 4.0, 7.0, 1000.0}) {
            for (int i = 0; i <= 4096; ++i) {
                const double v = m->positionToValue(i / 4096.0, 0.01, maxValue);
                ASSERT_GE(v, 0.01);
                ASSERT_LE(v, maxValue);
            }
        }
    }
    EXPECT_TRUE(cap.take().empty());
}

TEST(Mapping, ChecksRunInOrderAndAllOfThem) {
    struct Case {
        const char* what;
        double result;
        Strings reports;
    };
    CaptureDiagnostics cap;
    const auto run = [&](const char* what, double result) { return Case{what, result, cap.expressions()}; };
    const Case cases[] = {
        run("value below min", linearMapping().valueToPosition(-0.5, 0.0, 1.0)),
        run("log nan", logMapping().valueToPosition(nan, 10.0, 1000.0)),
        run("log min 0", logMapping().valueToPosition(1.0, 0.0, 10.0)),
        run("log position", logMapping().positionToValue(1.5, 10.0, 1000.0)),
        run("sqrt bad range", sqrtMapping().positionToValue(nan, 2.0, 1.0)),
        run("power negative min", fourthRootMapping().valueToPosition(0.5, -1.0, 1.0)),
        run("power position nan", fourthRootMapping().positionToValue(nan, 0.0, 1.0)),
    };
    const std::vector<Strings> expected = {
        {"minValue<=value", "0.0<=position"},
        {"minValue<=value", "value<=maxValue", "0.0<=position", "position<=1.0"},
        {"0.0<minValue", "0.0<=position", "position<=1.0"},
        {"position<=1.0", "value<=maxValue"},
        {"minValue<=maxValue", "0.0<=position", "position<=1.0", "minValue<=value", "value<=maxValue"},
        {"0.0<=minValue", "0.0<=position", "position<=1.0"},  // the root of -1 is NaN
        {"0.0<=position", "position<=1.0", "minValue<=value", "value<=maxValue"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(cases[i].reports, expected[i]);
    }
    EXPECT_LT(cases[0].result, 0.0);  // carried on with the number as it is
    linearMapping().positionToValue(2.0, 0.0, 1.0);
    const auto reports = cap.take();
    ASSERT_EQ(reports.size(), 2u);  // "position<=1.0", "value<=maxValue"
    for (const auto& r : reports) EXPECT_EQ(r.unit, "Mapping");
}

}  // namespace
