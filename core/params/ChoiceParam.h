// A parameter whose value is one entry of a list that its owner fills right
// after construction, before the host or saved state can reach it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Param.h"

using ChoiceId = std::uintptr_t;

struct ChoiceEntry {
    ChoiceId id;              // the value; only stored, compared and handed back
    std::string displayText;  // what the host shows
    std::string valueText;    // what saved state stores
};

class ChoiceParam : public Param {
public:
    ChoiceParam(ParamList* list, const std::string& key, const std::string& name, const std::string& label);

    std::string getValueText() const override;
    bool setValueFromText(const std::string& text) override;
    std::string getDisplayText() const override;
    void setToDefault() override;
    double getKnobPos() const override;
    void setKnobPos(double knobPos) override;
    PlainRange plainRange() const override;
    double getPlainValue() const noexcept override;
    void setPlainValue(double value) noexcept override;
    // The saved text of entry `index` (empty past the end).
    std::string choiceValueText(uint32_t index) const;

    // Makes the entry with this id current and default; false if none has it.
    bool setDefaultChoice(ChoiceId id);
    // Appends an entry; false (nothing added) if its id or either text is taken.
    // Note the order: saved text first, displayed text second.
    bool addChoice(ChoiceId id, const std::string& valueText, const std::string& displayText);
    bool addDefaultChoice(ChoiceId id, const std::string& valueText, const std::string& displayText);
    // Removes the last entry and hands back its id; false on an empty list.
    bool removeLastChoice(ChoiceId& id);

    // Clears the changed flag, then returns the current entry's id (0 while empty).
    ChoiceId getValue() noexcept;
    // Selects the first entry with this id; false if none has it.
    bool setValue(ChoiceId id) noexcept;

    uint32_t numChoices() const noexcept { return static_cast<uint32_t>(entries.size()); }

private:
    void selectIndex(uint32_t index) noexcept;

    std::vector<ChoiceEntry> entries;
    uint32_t defaultIndex = 0;
    std::atomic<uint32_t> currentIndex{0};
    static_assert(std::atomic<uint32_t>::is_always_lock_free);
};
