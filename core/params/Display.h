// Turns a continuous parameter's value into the short text that the host
// shows beside the knob. The unit label belongs to the parameter, not here.
#pragma once

#include <string>

// A 64-bit float as a classic-locale text stream writes it by default:
// general notation, at most 6 significant digits, full stop as separator.
// Independent of the process's global C and C++ locales.
std::string formatNumber(double value);

class Display {
public:
    constexpr Display() noexcept = default;
    virtual ~Display() = default;
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    virtual std::string toText(double value) const = 0;
};

// The value itself.
class PlainDisplay final : public Display {
public:
    constexpr PlainDisplay() noexcept = default;
    std::string toText(double value) const override;
};

// The value times a fixed factor; only built through its two kinds below.
class ScaledDisplay : public Display {
public:
    std::string toText(double value) const override;

protected:
    constexpr explicit ScaledDisplay(double factor) noexcept : factor(factor) {}

private:
    double factor;
};

// Seconds shown as milliseconds.
class MsDisplay final : public ScaledDisplay {
public:
    constexpr MsDisplay() noexcept : ScaledDisplay(1000.0) {}
};

// A fraction shown in per cent.
class PercentDisplay final : public ScaledDisplay {
public:
    constexpr PercentDisplay() noexcept : ScaledDisplay(100.0) {}
};

// A linear amplitude factor shown in decibels; zero reads "-oo".
class DecibelDisplay final : public Display {
public:
    constexpr DecibelDisplay() noexcept = default;
    std::string toText(double value) const override;
};

// Shared instances, alive from library load to unload; never owned by a parameter.
const PlainDisplay& plainDisplay() noexcept;
const MsDisplay& msDisplay() noexcept;
const PercentDisplay& percentDisplay() noexcept;
const DecibelDisplay& decibelDisplay() noexcept;
