// Conversions between a parameter's value and the host's knob position 0..1.
// A mapping holds no range: the parameter passes its own bounds on each call,
// so one immutable instance per configuration serves every parameter.
#pragma once

class Mapping {
public:
    constexpr Mapping() noexcept = default;
    virtual ~Mapping() = default;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    virtual double valueToPosition(double value, double minValue, double maxValue) const noexcept = 0;
    virtual double positionToValue(double position, double minValue, double maxValue) const noexcept = 0;
};

// Even travel over the range.
class LinearMapping final : public Mapping {
public:
    constexpr LinearMapping() noexcept = default;
    double valueToPosition(double value, double minValue, double maxValue) const noexcept override;
    double positionToValue(double position, double minValue, double maxValue) const noexcept override;
};

// Equal knob steps multiply the value by equal factors; needs minValue > 0.
class LogMapping final : public Mapping {
public:
    constexpr LogMapping() noexcept = default;
    double valueToPosition(double value, double minValue, double maxValue) const noexcept override;
    double positionToValue(double position, double minValue, double maxValue) const noexcept override;
};

// Square-root spread: slow near the low end; needs minValue >= 0.
class SqrtMapping final : public Mapping {
public:
    constexpr SqrtMapping() noexcept = default;
    double valueToPosition(double value, double minValue, double maxValue) const noexcept override;
    double positionToValue(double position, double minValue, double maxValue) const noexcept override;
};

// Root of any order e (non-zero): position is linear in value^(1/e).
class PowerMapping final : public Mapping {
public:
    constexpr explicit PowerMapping(double exponent) noexcept
        : exponent(exponent), inverseExponent(1.0 / exponent) {}
    double valueToPosition(double value, double minValue, double maxValue) const noexcept override;
    double positionToValue(double position, double minValue, double maxValue) const noexcept override;

private:
    double exponent;
    double inverseExponent;
};

// Shared instances, alive from library load to unload; never owned by a parameter.
const LinearMapping& linearMapping() noexcept;
const LogMapping& logMapping() noexcept;
const SqrtMapping& sqrtMapping() noexcept;
const PowerMapping& cubeRootMapping() noexcept;
const PowerMapping& fourthRootMapping() noexcept;
