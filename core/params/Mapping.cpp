#include "Mapping.h"

#include <cmath>

#include "Diagnostics.h"

namespace {

// Constant-initialised, so they exist before any dynamic initialiser runs.
constinit const LinearMapping linearInstance;
constinit const LogMapping logInstance;
constinit const SqrtMapping sqrtInstance;
constinit const PowerMapping cubeRootInstance{3.0};
constinit const PowerMapping fourthRootInstance{4.0};

constexpr const char* unit = "Mapping";

// Every check runs, whatever the earlier ones found; a NaN fails each one.
void checkValue(double value, double minValue, double maxValue) noexcept {
    BW_CHECK(minValue <= value, "minValue<=value", unit);
    BW_CHECK(value <= maxValue, "value<=maxValue", unit);
}

void checkPosition(double position) noexcept {
    BW_CHECK(0.0 <= position, "0.0<=position", unit);
    BW_CHECK(position <= 1.0, "position<=1.0", unit);
}

}  // namespace

const LinearMapping& linearMapping() noexcept { return linearInstance; }
const LogMapping& logMapping() noexcept { return logInstance; }
const SqrtMapping& sqrtMapping() noexcept { return sqrtInstance; }
const PowerMapping& cubeRootMapping() noexcept { return cubeRootInstance; }
const PowerMapping& fourthRootMapping() noexcept { return fourthRootInstance; }

double LinearMapping::valueToPosition(double value, double minValue, double maxValue) const noexcept {
    checkValue(value, minValue, maxValue);
    const double position = (value - minValue) / (maxValue - minValue);
    checkPosition(position);
    return position;
}

double LinearMapping::positionToValue(double position, double minValue, double maxValue) const noexcept {
    checkPosition(position);
    const double value = minValue * (1.0 - position) + position * maxValue;
    checkValue(value, minValue, maxValue);
    return value;
}

double LogMapping::valueToPosition(double value, double minValue, double maxValue) const noexcept {
    BW_CHECK(0.0 < minValue, "0.0<minValue", unit);
    checkValue(value, minValue, maxValue);
    const double r = 1.0 / minValue;
    const double position = std::log(value * r) / std::log(maxValue * r);
    checkPosition(position);
    return position;
}

double LogMapping::positionToValue(double position, double minValue, double maxValue) const noexcept {
    checkPosition(position);
    const double low = std::pow(minValue, 1.0 - position);
    const double high = std::pow(maxValue, position);
    const double value = low * high;
    checkValue(value, minValue, maxValue);
    return value;
}

double SqrtMapping::valueToPosition(double value, double minValue, double maxValue) const noexcept {
    BW_CHECK(0.0 <= minValue, "0.0<=minValue", unit);
    checkValue(value, minValue, maxValue);
    const double rootMin = std::sqrt(minValue);
    const double position = (std::sqrt(value) - rootMin) / (std::sqrt(maxValue) - rootMin);
    checkPosition(position);
    return position;
}

double SqrtMapping::positionToValue(double position, double minValue, double maxValue) const noexcept {
    BW_CHECK(0.0 <= minValue, "0.0<=minValue", unit);
    BW_CHECK(minValue <= maxValue, "minValue<=maxValue", unit);
    checkPosition(position);
    // (q*sqrt(m) + p*sqrt(M))^2, expanded so that only one root is taken.
    const double q = 1.0 - position;
    const double value =
        q * (q * minValue + 2.0 * position * std::sqrt(minValue * maxValue)) + position * position * maxValue;
    checkValue(value, minValue, maxValue);
    return value;
}

double PowerMapping::valueToPosition(double value, double minValue, double maxValue) const noexcept {
    BW_CHECK(0.0 <= minValue, "0.0<=minValue", unit);
    checkValue(value, minValue, maxValue);
    const double rootMin = std::pow(minValue, inverseExponent);
    const double position =
        (std::pow(value, inverseExponent) - rootMin) / (std::pow(maxValue, inverseExponent) - rootMin);
    checkPosition(position);
    return position;
}

double PowerMapping::positionToValue(double position, double minValue, double maxValue) const noexcept {
    BW_CHECK(0.0 <= minValue, "0.0<=minValue", unit);
    BW_CHECK(minValue <= maxValue, "minValue<=maxValue", unit);
    checkPosition(position);
    const double root =
        (1.0 - position) * std::pow(minValue, inverseExponent) + position * std::pow(maxValue, inverseExponent);
    double value = std::pow(root, exponent);
    // The powers may overshoot the bounds by a rounding step; pull the result back.
    if (value <= minValue) value = minValue;
    if (value >= maxValue) value = maxValue;
    checkValue(value, minValue, maxValue);
    return value;
}
