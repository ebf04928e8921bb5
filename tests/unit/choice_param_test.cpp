#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaptureDiagnostics.h"
#include "ChoiceParam.h"

namespace {

// A parameter with n entries whose ids are 100 + index.
void fill(ChoiceParam& p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        ASSERT_TRUE(p.addChoice(100 + i, "value " + std::to_string(i), "display" + std::to_string(i)));
}

uint32_t currentEntry(ChoiceParam& p) { return static_cast<uint32_t>(p.getValue() - 100); }

TEST(ChoiceParam, KnobBuckets) {
    struct Case {
        uint32_t n;
        double knobPos;
        uint32_t entry;
    };
    const Case cases[] = {
        {11, 0.0, 0},  {11, 0.05, 0}, {11, 0.0909, 0}, {11, 0.5, 5},  {11, 0.9, 9},
        {11, 0.95, 10}, {11, 1.0, 10}, {2, 0.0, 0},     {2, 0.49, 0}, {2, 0.5, 1},
        {2, 1.0, 1},   {1, 0.0, 0},   {1, 0.7, 0},     {1, 1.0, 0},
    };
    for (const auto& c : cases) {
        ChoiceParam p(nullptr, "lfoWaveform", "Lfo shape", "");
        fill(p, c.n);
        p.setKnobPos(c.knobPos);
        EXPECT_EQ(currentEntry(p), c.entry) << c.n << " entries at " << c.knobPos;
    }
}

TEST(ChoiceParam, KnobPositionsOfEntries) {
    struct Case {
        uint32_t n, entry;
        double knobPos;
    };
    const Case cases[] = {{11, 5, 0.5}, {11, 10, 1.0}, {11, 3, 0.3}, {11, 0, 0.0}, {2, 0, 0.0}, {2, 1, 1.0}, {1, 0, 0.5}};
    for (const auto& c : cases) {
        ChoiceParam p(nullptr, "k", "K", "");
        fill(p, c.n);
        ASSERT_TRUE(p.setValue(100 + c.entry));
        EXPECT_DOUBLE_EQ(p.getKnobPos(), c.knobPos) << c.n << " entries, entry " << c.entry;
        p.setKnobPos(p.getKnobPos());  // an entry's own position selects it again
        EXPECT_EQ(currentEntry(p), c.entry);
    }
    ChoiceParam empty(nullptr, "k", "K", "");
    EXPECT_EQ(empty.getKnobPos(), 0.5);
}

TEST(ChoiceParam, FirstEntryIsCurrentAfterFilling) {
    ChoiceParam p(nullptr, "lfoWaveform", "Lfo shape", "");
    EXPECT_TRUE(p.isChanged());
    ASSERT_TRUE(p.addChoice(7, "true sine", "trueSine"));
    ASSERT_TRUE(p.addChoice(8, "fake sine", "fakeSine"));
    EXPECT_EQ(p.getValue(), 7u);
    EXPECT_FALSE(p.isChanged());
    EXPECT_EQ(p.getValueText(), "true sine");
    EXPECT_EQ(p.getDisplayText(), "trueSine");
    EXPECT_TRUE(p.setValue(7));  // the current entry: the flag stays as it was
    EXPECT_FALSE(p.isChanged());
    EXPECT_TRUE(p.setValue(8));
    EXPECT_TRUE(p.isChanged());
}

TEST(ChoiceParam, DuplicatesAreRefused) {
    ChoiceParam p(nullptr, "k", "K", "");
    ASSERT_TRUE(p.addChoice(1, "ramp up", "rampUp"));
    EXPECT_FALSE(p.addChoice(2, "ramp up", "other"));   // same value text
    EXPECT_FALSE(p.addChoice(3, "other", "rampUp"));    // same display text
    EXPECT_FALSE(p.addChoice(1, "other", "another"));   // same id
    EXPECT_FALSE(p.addDefaultChoice(1, "x", "y"));
    EXPECT_EQ(p.numChoices(), 1u);
    EXPECT_TRUE(p.addChoice(2, "triangle", "triangle"));  // equal texts within one entry are fine
}

TEST(ChoiceParam, TextsAndDefaults) {
    ChoiceParam p(nullptr, "k", "K", "");
    p.addChoice(1, "snow 1", "snowflake1");
    p.addDefaultChoice(2, "snow 2", "snowflake2");
    p.addChoice(3, "square", "square");
    EXPECT_EQ(p.getValue(), 2u);  // the default is current as well
    EXPECT_FALSE(p.setValueFromText("snowflake1"));  // a display text is not a value text
    EXPECT_EQ(p.getValue(), 2u);
    EXPECT_TRUE(p.setValueFromText("square"));
    EXPECT_TRUE(p.setValueFromText("snow 1"));
    EXPECT_EQ(p.getValue(), 1u);
    EXPECT_FALSE(p.setValueFromText("Snow 1"));
    p.setToDefault();
    EXPECT_EQ(p.getValue(), 2u);
    EXPECT_FALSE(p.setDefaultChoice(99));
    EXPECT_FALSE(p.setValue(99));
    EXPECT_TRUE(p.setDefaultChoice(3));
    p.setValue(1);
    p.setToDefault();
    EXPECT_EQ(p.getValueText(), "square");
}

TEST(ChoiceParam, RemovingEntries) {
    ChoiceParam p(nullptr, "k", "K", "");
    ChoiceId id = 0;
    EXPECT_FALSE(p.removeLastChoice(id));
    fill(p, 3);
    ASSERT_TRUE(p.setDefaultChoice(102));
    p.getValue();
    ASSERT_TRUE(p.removeLastChoice(id));
    EXPECT_EQ(id, 102u);
    // Indexes that pointed at the removed entry move back to the new last one.
    EXPECT_TRUE(p.isChanged());
    EXPECT_EQ(p.getValue(), 101u);
    p.setValue(100);
    p.setToDefault();
    EXPECT_EQ(p.getValue(), 101u);
    ASSERT_TRUE(p.removeLastChoice(id));
    ASSERT_TRUE(p.removeLastChoice(id));
    EXPECT_EQ(id, 100u);
    // Empty again: everything answers harmlessly.
    CaptureDiagnostics cap;
    EXPECT_EQ(p.getValue(), 0u);
    EXPECT_EQ(p.getValueText(), "");
    EXPECT_EQ(p.getDisplayText(), "");
    p.setKnobPos(0.5);
    p.setToDefault();
    EXPECT_TRUE(cap.take().empty());  // the choice parameter reports nothing
}

}  // namespace
