// The parameter family: one setting of the effect each, with its value,
// default and range, its texts for the host and for saved state, and the
// conversion to and from the host's knob position 0..1.
//
// Threads: the host's threads call the set and text operations while the
// audio thread polls isChanged() and getValue(). Values and the changed flag
// are lock-free atomics: a set stores the value, then raises the flag
// (release); getValue clears the flag, then reads the value (acquire), so a
// change that races with a poll is taken at the latest by the next poll.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "Display.h"
#include "Mapping.h"

class ParamList;

// A parameter as a plain number in its own unit, for plug-in formats whose
// hosts set values directly instead of through a knob position (LV2 control
// ports), and for descriptions generated from the parameters.
enum class PlainKind { Real, Integer, Toggle, Choice };
enum class PlainUnit { None, Seconds, Hertz, Bpm, Degrees, Gain };
struct PlainRange {
    PlainKind kind;
    PlainUnit unit;
    double minimum, maximum, defaultValue;
    bool logarithmic;  // the knob spreads the range by ratio
};

class Param {
public:
    // Copies the texts and, when list is not null, appends itself to it; the
    // list position is the host index. Starts with the changed flag raised.
    Param(ParamList* list, const std::string& key, const std::string& name, const std::string& label);
    virtual ~Param();
    Param(const Param&) = delete;
    Param& operator=(const Param&) = delete;

    virtual std::string getKey() const;
    // Current value as saved-state text, and back; false when the text is unusable.
    virtual std::string getValueText() const = 0;
    virtual bool setValueFromText(const std::string& text) = 0;
    virtual std::string getName() const;
    virtual std::string getLabel() const;
    virtual std::string getDisplayText() const = 0;
    virtual void setToDefault() = 0;
    virtual double getKnobPos() const = 0;
    virtual void setKnobPos(double knobPos) = 0;
    // Inline, so the audio thread's polls of the members it knows cost a load.
    virtual bool isChanged() const { return changed.load(std::memory_order_acquire); }
    virtual void setChanged(bool changed);

    // By default the plain value is the knob position.
    virtual PlainRange plainRange() const;
    // The value as a plain number (a choice's entry index, a switch's 0 or 1),
    // leaving the changed flag alone.
    virtual double getPlainValue() const noexcept;
    // Sets the value from a finite plain number: pulled into the range, an
    // integer or a choice rounded to the nearest, a switch on above 0. Never
    // reports, so that the audio thread may call it.
    virtual void setPlainValue(double value) noexcept;

protected:
    // Clears the flag before the caller reads the value. The exchange reads the
    // flag as the last setter left it, so it also acquires that setter's value.
    // A clear flag is only loaded (acquire): the locked exchange costs more
    // than a whole small block's settings refresh, and a setter that raises
    // the flag after the load is taken by the next poll.
    void takeChange() noexcept {
        if (changed.load(std::memory_order_acquire)) changed.exchange(false, std::memory_order_acq_rel);
    }
    // Raised after the caller stored the value.
    void raiseChange() noexcept { changed.store(true, std::memory_order_release); }

private:
    const std::string name;
    const std::string key;
    const std::string label;
    std::atomic<bool> changed;
    static_assert(std::atomic<bool>::is_always_lock_free);
};

// A 64-bit float in the parameter's own unit, with a mapping and a display.
class ContinuousParam : public Param {
public:
    ContinuousParam(ParamList* list, const std::string& key, const std::string& name, const std::string& label,
                    double defaultValue, double minValue, double maxValue, const Mapping* mapping,
                    const Display* display, PlainUnit unit = PlainUnit::None);

    std::string getValueText() const override;
    bool setValueFromText(const std::string& text) override;
    std::string getDisplayText() const override;
    void setToDefault() override;
    double getKnobPos() const override;
    void setKnobPos(double knobPos) override;
    PlainRange plainRange() const override;
    double getPlainValue() const noexcept override;
    void setPlainValue(double value) noexcept override;

    // Clears the changed flag, then returns the value.
    double getValue() noexcept;
    // With clamp, an out-of-range value is pulled into the range; without, it
    // is refused (false, nothing changes). Audio-thread safe.
    bool setValue(double val, bool clamp) noexcept;
    double getMaxValue() const noexcept { return maxValue_; }

private:
    std::atomic<double> currentValue;
    static_assert(std::atomic<double>::is_always_lock_free);
    const Mapping* const mapping_;
    const Display* const display_;
    const double minValue_;
    const double maxValue_;
    const double defaultValue_;
    const PlainUnit unit_;
};

// A time held in seconds, shown in milliseconds.
class TimeParam : public ContinuousParam {
public:
    TimeParam(ParamList* list, const std::string& key, const std::string& name, double defaultValue,
              double minValue, double maxValue);
};

// A frequency in hertz, spread by ratio.
class FrequencyParam : public ContinuousParam {
public:
    FrequencyParam(ParamList* list, const std::string& key, const std::string& name, double defaultValue,
                   double minValue, double maxValue);
};

// A unitless quantity spread by ratio.
class LogParam : public ContinuousParam {
public:
    LogParam(ParamList* list, const std::string& key, const std::string& name, double defaultValue,
             double minValue, double maxValue);
};

// A linear amplitude factor, shown in decibels.
class GainParam : public ContinuousParam {
public:
    GainParam(ParamList* list, const std::string& key, const std::string& name, double defaultValue,
              double minValue, double maxValue);
};

// An angle in degrees.
class AngleParam : public ContinuousParam {
public:
    AngleParam(ParamList* list, const std::string& key, const std::string& name, double defaultValue,
               double minValue, double maxValue);
};

// A signed 32-bit integer; the knob is cut into one bucket per value.
class IntParam : public Param {
public:
    IntParam(ParamList* list, const std::string& key, const std::string& name, const std::string& label,
             int32_t defaultValue, int32_t minValue, int32_t maxValue);

    std::string getValueText() const override;
    bool setValueFromText(const std::string& text) override;
    std::string getDisplayText() const override;
    void setToDefault() override;
    double getKnobPos() const override;
    void setKnobPos(double knobPos) override;
    PlainRange plainRange() const override;
    double getPlainValue() const noexcept override;
    void setPlainValue(double value) noexcept override;

    int32_t getValue() noexcept;
    // With rejectOutOfRange an out-of-range value is refused; without, it is
    // reported and clamped, so the stored value is always within the range.
    bool setValue(int32_t newValue, bool rejectOutOfRange) noexcept;

private:
    std::atomic<int32_t> currentValue;
    static_assert(std::atomic<int32_t>::is_always_lock_free);
    const int32_t defaultValue;
    const int32_t minValue;
    const int32_t maxValue;
};

// A switch shown as "true" / "false".
class BoolParam : public Param {
public:
    BoolParam(ParamList* list, const std::string& key, const std::string& name, bool defaultValue);

    std::string getValueText() const override;
    bool setValueFromText(const std::string& text) override;
    std::string getDisplayText() const override;
    void setToDefault() override;
    double getKnobPos() const override;
    void setKnobPos(double knobPos) override;
    PlainRange plainRange() const override;
    double getPlainValue() const noexcept override;
    void setPlainValue(double value) noexcept override;

    bool getValue() noexcept;
    void setValue(bool newValue) noexcept;

protected:
    // The value without touching the changed flag.
    bool peekValue() const noexcept { return value.load(std::memory_order_acquire); }

private:
    std::atomic<bool> value;
    const bool defaultValue;
};

// A switch shown as "on" / "off"; saved as "true" / "false" like BoolParam.
class OnOffParam : public BoolParam {
public:
    OnOffParam(ParamList* list, const std::string& key, const std::string& name, bool defaultValue);

    std::string getDisplayText() const override;
};

// Including this header gives the whole family, the choice parameter too.
#include "ChoiceParam.h"
