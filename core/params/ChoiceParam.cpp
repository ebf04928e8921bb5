#include "ChoiceParam.h"

#include <cmath>

ChoiceParam::ChoiceParam(ParamList* list, const std::string& key, const std::string& name, const std::string& label)
    : Param(list, key, name, label) {}

std::string ChoiceParam::getValueText() const {
    const uint32_t index = currentIndex.load(std::memory_order_acquire);
    return index < entries.size() ? entries[index].valueText : std::string();
}

bool ChoiceParam::setValueFromText(const std::string& text) {
    for (const ChoiceEntry& entry : entries) {
        if (entry.valueText == text) return setValue(entry.id);
    }
    return false;
}

std::string ChoiceParam::getDisplayText() const {
    const uint32_t index = currentIndex.load(std::memory_order_acquire);
    return index < entries.size() ? entries[index].displayText : std::string();
}

void ChoiceParam::setToDefault() {
    if (defaultIndex < entries.size()) setValue(entries[defaultIndex].id);
}

double ChoiceParam::getKnobPos() const {
    const std::size_t n = entries.size();
    if (n <= 1) return 0.5;
    return static_cast<double>(currentIndex.load(std::memory_order_acquire)) / static_cast<double>(n - 1);
}

void ChoiceParam::setKnobPos(double knobPos) {
    const uint32_t n = numChoices();
    if (n == 0) return;
    // One equal bucket per entry; the top end selects the last one. The list
    // only passes 0..1, but any other position still lands on a real entry.
    uint32_t index = n - 1;
    if (knobPos != 1.0) {
        const double t = std::trunc(knobPos * static_cast<double>(n));
        if (!(t >= 0.0)) {
            index = 0;
        } else if (t < static_cast<double>(n)) {
            index = static_cast<uint32_t>(t);
        }
    }
    selectIndex(index);
}

bool ChoiceParam::setDefaultChoice(ChoiceId id) {
    if (!setValue(id)) return false;
    defaultIndex = currentIndex.load(std::memory_order_acquire);
    return true;
}

bool ChoiceParam::addChoice(ChoiceId id, const std::string& valueText, const std::string& displayText) {
    for (const ChoiceEntry& entry : entries) {
        if (entry.id == id || entry.displayText == displayText || entry.valueText == valueText) return false;
    }
    entries.push_back(ChoiceEntry{id, displayText, valueText});
    return true;
}

bool ChoiceParam::addDefaultChoice(ChoiceId id, const std::string& valueText, const std::string& displayText) {
    if (!addChoice(id, valueText, displayText)) return false;
    return setDefaultChoice(id);
}

bool ChoiceParam::removeLastChoice(ChoiceId& id) {
    if (entries.empty()) return false;
    id = entries.back().id;
    entries.pop_back();
    // Keep both indexes on real entries: one that pointed at the removed entry
    // moves back to the new last one (the value then changes).
    const uint32_t n = numChoices();
    if (n > 0) {
        if (defaultIndex >= n) defaultIndex = n - 1;
        if (currentIndex.load(std::memory_order_acquire) >= n) selectIndex(n - 1);
    }
    return true;
}

ChoiceId ChoiceParam::getValue() noexcept {
    takeChange();
    const uint32_t index = currentIndex.load(std::memory_order_acquire);
    return index < entries.size() ? entries[index].id : ChoiceId{0};
}

bool ChoiceParam::setValue(ChoiceId id) noexcept {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].id == id) {
            selectIndex(static_cast<uint32_t>(i));
            return true;
        }
    }
    return false;
}

void ChoiceParam::selectIndex(uint32_t index) noexcept {
    if (currentIndex.exchange(index, std::memory_order_acq_rel) != index) raiseChange();
}

PlainRange ChoiceParam::plainRange() const {
    const double last = entries.empty() ? 0.0 : static_cast<double>(entries.size() - 1);
    return {PlainKind::Choice, PlainUnit::None, 0.0, last, static_cast<double>(defaultIndex), false};
}

double ChoiceParam::getPlainValue() const noexcept { return currentIndex.load(std::memory_order_acquire); }

void ChoiceParam::setPlainValue(double value) noexcept {
    const uint32_t n = numChoices();
    if (n == 0 || !std::isfinite(value)) return;
    value = std::fmin(std::fmax(std::round(value), 0.0), static_cast<double>(n - 1));
    selectIndex(static_cast<uint32_t>(value));
}

std::string ChoiceParam::choiceValueText(uint32_t index) const {
    return index < entries.size() ? entries[index].valueText : std::string();
}
