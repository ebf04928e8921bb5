#include "Param.h"

#include <cmath>
#include <limits>
#include <locale>
#include <sstream>

#include "Diagnostics.h"
#include "ParamList.h"

namespace {

constexpr const char* unit = "Param";

void checkKnobPos(double knobPos) noexcept {
    BW_CHECK(0.0 <= knobPos, "0.0<=knobPos", unit);
    BW_CHECK(knobPos <= 1.0, "knobPos<=1.0", unit);
}

// Reads one number the way a classic-locale input stream does: leading white
// space skipped, reading stops at the first character that cannot continue it.
template <typename Number>
bool readNumber(const std::string& text, Number& number) {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    stream >> number;
    return !stream.fail();
}

}  // namespace

// ---- Param ----

Param::Param(ParamList* list, const std::string& key, const std::string& name, const std::string& label)
    : name(name), key(key), label(label), changed(false) {
    if (list != nullptr) list->addParam(this);
    changed.store(true, std::memory_order_release);
}

Param::~Param() = default;

std::string Param::getKey() const { return key; }
std::string Param::getName() const { return name; }
std::string Param::getLabel() const { return label; }
void Param::setChanged(bool newChanged) { changed.store(newChanged, std::memory_order_release); }

PlainRange Param::plainRange() const { return {PlainKind::Real, PlainUnit::None, 0.0, 1.0, 0.0, false}; }
double Param::getPlainValue() const noexcept { return getKnobPos(); }
void Param::setPlainValue(double value) noexcept {
    if (std::isfinite(value)) setKnobPos(std::fmin(std::fmax(value, 0.0), 1.0));
}

// ---- ContinuousParam ----

ContinuousParam::ContinuousParam(ParamList* list, const std::string& key, const std::string& name,
                                 const std::string& label, double defaultValue, double minValue, double maxValue,
                                 const Mapping* mapping, const Display* display, PlainUnit plainUnit)
    : Param(list, key, name, label),
      currentValue(defaultValue),
      mapping_(mapping),
      display_(display),
      minValue_(minValue),
      maxValue_(maxValue),
      defaultValue_(defaultValue),
      unit_(plainUnit) {
    BW_CHECK(minValue_ <= defaultValue_, "minValue_<=defaultValue_", unit);
    BW_CHECK(defaultValue_ <= maxValue_, "defaultValue_<=maxValue_", unit);
    BW_CHECK(mapping_ != nullptr, "mapping_!=NULL", unit);
    BW_CHECK(display_ != nullptr, "display_!=NULL", unit);
}

std::string ContinuousParam::getValueText() const {
    std::ostringstream saveStringStream;
    saveStringStream.imbue(std::locale::classic());
    saveStringStream << currentValue.load(std::memory_order_acquire);
    BW_CHECK(!saveStringStream.fail(), "saveStringStream << currentValue", unit);
    return saveStringStream.str();
}

bool ContinuousParam::setValueFromText(const std::string& text) {
    double number = 0.0;
    if (!readNumber(text, number)) return false;
    return setValue(number, true);
}

std::string ContinuousParam::getDisplayText() const {
    if (display_ == nullptr) return std::string();
    return display_->toText(currentValue.load(std::memory_order_acquire));
}

void ContinuousParam::setToDefault() { setValue(defaultValue_, true); }

double ContinuousParam::getKnobPos() const {
    if (mapping_ == nullptr) return 0.0;
    return mapping_->valueToPosition(currentValue.load(std::memory_order_acquire), minValue_, maxValue_);
}

void ContinuousParam::setKnobPos(double knobPos) {
    checkKnobPos(knobPos);
    if (mapping_ == nullptr) return;
    setValue(mapping_->positionToValue(knobPos, minValue_, maxValue_), true);
}

double ContinuousParam::getValue() noexcept {
    takeChange();
    return currentValue.load(std::memory_order_acquire);
}

bool ContinuousParam::setValue(double val, bool clamp) noexcept {
    if (clamp) {
        if (val < minValue_) val = minValue_;
        if (val > maxValue_) val = maxValue_;
    } else if (val < minValue_ || val > maxValue_) {
        return false;
    }
    BW_CHECK(minValue_ <= val, "minValue<=val", unit);
    BW_CHECK(val <= maxValue_, "val<=maxValue", unit);
    // Compare and store as one step, so that of two racing setters each one
    // that really changes the value raises the flag. An equal value (0.0 and
    // -0.0 included) changes nothing; a NaN never compares equal.
    double current = currentValue.load(std::memory_order_acquire);
    do {
        if (!(current != val)) return true;
    } while (!currentValue.compare_exchange_weak(current, val, std::memory_order_acq_rel,
                                                 std::memory_order_acquire));
    raiseChange();
    return true;
}

PlainRange ContinuousParam::plainRange() const {
    return {PlainKind::Real, unit_, minValue_, maxValue_, defaultValue_, mapping_ == &logMapping()};
}
double ContinuousParam::getPlainValue() const noexcept { return currentValue.load(std::memory_order_acquire); }
void ContinuousParam::setPlainValue(double value) noexcept {
    if (std::isfinite(value)) setValue(value, true);
}

// ---- presets ----

TimeParam::TimeParam(ParamList* list, const std::string& key, const std::string& name, double defaultValue,
                     double minValue, double maxValue)
    : ContinuousParam(list, key, name, "ms", defaultValue, minValue, maxValue, &fourthRootMapping(),
                      &msDisplay(), PlainUnit::Seconds) {}

FrequencyParam::FrequencyParam(ParamList* list, const std::string& key, const std::string& name,
                               double defaultValue, double minValue, double maxValue)
    : ContinuousParam(list, key, name, "Hz", defaultValue, minValue, maxValue, &logMapping(), &plainDisplay(),
                      PlainUnit::Hertz) {}

LogParam::LogParam(ParamList* list, const std::string& key, const std::string& name, double defaultValue,
                   double minValue, double maxValue)
    : ContinuousParam(list, key, name, "", defaultValue, minValue, maxValue, &logMapping(), &plainDisplay()) {}

GainParam::GainParam(ParamList* list, const std::string& key, const std::string& name, double defaultValue,
                     double minValue, double maxValue)
    : ContinuousParam(list, key, name, "dB", defaultValue, minValue, maxValue, &sqrtMapping(),
                      &decibelDisplay(), PlainUnit::Gain) {}

AngleParam::AngleParam(ParamList* list, const std::string& key, const std::string& name, double defaultValue,
                       double minValue, double maxValue)
    : ContinuousParam(list, key, name, "deg", defaultValue, minValue, maxValue, &linearMapping(),
                      &plainDisplay(), PlainUnit::Degrees) {}

// ---- IntParam ----

IntParam::IntParam(ParamList* list, const std::string& key, const std::string& name, const std::string& label,
                   int32_t defaultValue, int32_t minValue, int32_t maxValue)
    : Param(list, key, name, label),
      currentValue(defaultValue),
      defaultValue(defaultValue),
      minValue(minValue),
      maxValue(maxValue) {
    BW_CHECK(minValue <= defaultValue, "minValue<=defaultValue", unit);
    BW_CHECK(defaultValue <= maxValue, "defaultValue<=maxValue", unit);
}

std::string IntParam::getValueText() const { return std::to_string(currentValue.load(std::memory_order_acquire)); }

bool IntParam::setValueFromText(const std::string& text) {
    int32_t number = 0;
    if (!readNumber(text, number)) return false;
    setValue(number, false);
    return true;
}

std::string IntParam::getDisplayText() const { return getValueText(); }

void IntParam::setToDefault() { setValue(defaultValue, false); }

double IntParam::getKnobPos() const {
    if (maxValue == minValue) return 0.5;
    // Differences in 32-bit two's-complement arithmetic, as the ranges in use
    // never come near the limits; wrapping keeps a wider range defined.
    const auto difference = [](int32_t a, int32_t b) {
        return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
    };
    const double knobPos = static_cast<double>(difference(currentValue.load(std::memory_order_acquire), minValue)) /
                           static_cast<double>(difference(maxValue, minValue));
    checkKnobPos(knobPos);
    return knobPos;
}

void IntParam::setKnobPos(double knobPos) {
    checkKnobPos(knobPos);
    double newValue = static_cast<double>(maxValue);
    if (knobPos != 1.0) {
        const double buckets = static_cast<double>(static_cast<int64_t>(maxValue) - minValue + 1);
        newValue = static_cast<double>(minValue) + std::trunc(knobPos * buckets);
    }
    // A position outside 0..1 (already reported) must not overflow the
    // conversion; setValue then reports and clamps what remains out of range.
    if (std::isnan(newValue)) newValue = static_cast<double>(minValue);
    if (newValue < static_cast<double>(std::numeric_limits<int32_t>::min()))
        newValue = static_cast<double>(std::numeric_limits<int32_t>::min());
    if (newValue > static_cast<double>(std::numeric_limits<int32_t>::max()))
        newValue = static_cast<double>(std::numeric_limits<int32_t>::max());
    setValue(static_cast<int32_t>(newValue), false);
}

int32_t IntParam::getValue() noexcept {
    takeChange();
    return currentValue.load(std::memory_order_acquire);
}

bool IntParam::setValue(int32_t newValue, bool rejectOutOfRange) noexcept {
    if (rejectOutOfRange && (newValue < minValue || newValue > maxValue)) return false;
    BW_CHECK(minValue <= newValue, "minValue<=newValue", unit);
    BW_CHECK(newValue <= maxValue, "newValue<=maxValue", unit);
    // Downstream code relies on the range, so a reported value is clamped.
    if (newValue < minValue) newValue = minValue;
    if (newValue > maxValue) newValue = maxValue;
    if (currentValue.exchange(newValue, std::memory_order_acq_rel) != newValue) raiseChange();
    return true;
}

PlainRange IntParam::plainRange() const {
    return {PlainKind::Integer, PlainUnit::None, static_cast<double>(minValue), static_cast<double>(maxValue),
            static_cast<double>(defaultValue), false};
}
double IntParam::getPlainValue() const noexcept { return currentValue.load(std::memory_order_acquire); }
void IntParam::setPlainValue(double value) noexcept {
    if (!std::isfinite(value)) return;
    value = std::round(value);
    value = std::fmin(std::fmax(value, static_cast<double>(minValue)), static_cast<double>(maxValue));
    setValue(static_cast<int32_t>(value), true);
}

// ---- BoolParam, OnOffParam ----

BoolParam::BoolParam(ParamList* list, const std::string& key, const std::string& name, bool defaultValue)
    : Param(list, key, name, ""), value(defaultValue), defaultValue(defaultValue) {}

std::string BoolParam::getValueText() const { return peekValue() ? "true" : "false"; }

bool BoolParam::setValueFromText(const std::string& text) {
    if (text == "true") {
        setValue(true);
        return true;
    }
    if (text == "false") {
        setValue(false);
        return true;
    }
    return false;
}

std::string BoolParam::getDisplayText() const { return getValueText(); }

void BoolParam::setToDefault() { setValue(defaultValue); }

double BoolParam::getKnobPos() const { return peekValue() ? 1.0 : 0.0; }

void BoolParam::setKnobPos(double knobPos) { setValue(knobPos >= 0.5); }

bool BoolParam::getValue() noexcept {
    takeChange();
    return value.load(std::memory_order_acquire);
}

void BoolParam::setValue(bool newValue) noexcept {
    if (value.exchange(newValue, std::memory_order_acq_rel) != newValue) raiseChange();
}

PlainRange BoolParam::plainRange() const {
    return {PlainKind::Toggle, PlainUnit::None, 0.0, 1.0, defaultValue ? 1.0 : 0.0, false};
}
double BoolParam::getPlainValue() const noexcept { return peekValue() ? 1.0 : 0.0; }
void BoolParam::setPlainValue(double value) noexcept {
    if (std::isfinite(value)) setValue(value > 0.0);
}

OnOffParam::OnOffParam(ParamList* list, const std::string& key, const std::string& name, bool defaultValue)
    : BoolParam(list, key, name, defaultValue) {}

std::string OnOffParam::getDisplayText() const { return peekValue() ? "on" : "off"; }
