#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "CaptureDiagnostics.h"
#include "Param.h"
#include "ParamList.h"

namespace {

using Strings = std::vector<std::string>;

// A parameter whose texts and knob position the test chooses.
class FakeParam : public Param {
public:
    FakeParam(ParamList* list, const std::string& name, const std::string& text, double knobPos = 0.5)
        : Param(list, "fake", name, text), text(text), knobPos(knobPos) {}
    std::string getValueText() const override { return text; }
    bool setValueFromText(const std::string&) override { return false; }
    std::string getDisplayText() const override { return text; }
    void setToDefault() override {}
    double getKnobPos() const override { return knobPos; }
    void setKnobPos(double k) override { knobPos = k; }

    std::string text;
    double knobPos;
};

constexpr char sentinel = '#';

// Runs a copy operation into a sentinel-filled buffer and returns all of it.
template <typename Copy>
std::string copied(Copy copy) {
    char buffer[40];
    std::memset(buffer, sentinel, sizeof buffer);
    copy(buffer);
    return std::string(buffer, sizeof buffer);
}

std::string expectedBytes(const std::string& text, std::size_t written) {
    std::string out = text.substr(0, written - 1);
    out.resize(written, '\0');
    out.resize(40, sentinel);
    return out;
}

TEST(ParamList, RegistersInConstructionOrder) {
    ParamList list;
    IntParam a(&list, "a", "A", "", 1, 1, 2);
    IntParam hidden(nullptr, "h", "H", "", 1, 1, 2);
    OnOffParam b(&list, "b", "B", false);
    EXPECT_EQ(list.numParams(), 2u);
    EXPECT_EQ(list.getName(0), "A");
    EXPECT_EQ(list.getName(1), "B");
    EXPECT_EQ(list.getDisplayText(1), "off");
}

TEST(ParamList, BadIndexes) {
    ParamList empty;
    ParamList one;
    FakeParam p(&one, "Name", "text");
    CaptureDiagnostics cap;
    for (auto [listToAsk, badIndex] : {std::pair{&empty, 0u}, {&one, 1u}, {&one, static_cast<uint32_t>(-1)}}) {
        ParamList* const list = listToAsk;
        const uint32_t index = badIndex;
        SCOPED_TRACE(index);
        EXPECT_EQ(list->getKnobPos(index), 0.0);
        list->setKnobPos(index, 0.5f);
        EXPECT_EQ(list->getName(index), "");
        EXPECT_EQ(list->getLabel(index), "");
        EXPECT_EQ(list->getDisplayText(index), "");
        std::string oneZero(1, '\0');
        oneZero.resize(40, sentinel);
        EXPECT_EQ(copied([&](char* d) { list->copyName(index, d); }), oneZero);
        EXPECT_EQ(copied([&](char* d) { list->copyLabel(index, d); }), oneZero);
        EXPECT_EQ(copied([&](char* d) { list->copyDisplayText(index, d); }), oneZero);
        EXPECT_EQ(cap.expressions(), Strings(8, "index<numParams()"));
    }
    EXPECT_EQ(p.knobPos, 0.5);
}

// Every host request with a bad index or position is reported, in the order
// of the checks, under the list's own name.
TEST(ParamList, ReportsNameTheFailedCheckAndTheUnit) {
    ParamList list;
    FakeParam p(&list, "Name", "text", 1.5);
    CaptureDiagnostics cap;
    list.setKnobPos(1, std::nanf(""));
    list.getKnobPos(1);
    list.getKnobPos(0);
    list.getName(1);
    list.getDisplayText(1);
    list.getLabel(1);
    char buffer[25];
    list.copyName(1, buffer);
    list.copyLabel(1, buffer);
    list.copyDisplayText(1, buffer);
    const Strings expected = {
        "0.0<=knobPos",      "knobPos<=1.0",      "index<numParams()", "index<numParams()",
        "knobPos<=1.0",      "index<numParams()", "index<numParams()", "index<numParams()",
        "index<numParams()", "index<numParams()", "index<numParams()",
    };
    const auto reports = cap.take();
    ASSERT_EQ(reports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(reports[i].expression, expected[i]) << i;
        EXPECT_EQ(reports[i].unit, "ParamList") << i;
    }
}

TEST(ParamList, KnobPositionsFromTheHost) {
    ParamList list;
    FakeParam p(&list, "Name", "text");
    struct Case {
        float knobPos;
        bool applied;
        Strings reports;
    };
    const float nanf = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {0.0f, true, {}},
        {1.0f, true, {}},
        {0.25f, true, {}},
        {std::nextafter(1.0f, 2.0f), false, {"knobPos<=1.0"}},
        {std::nextafter(0.0f, -1.0f), false, {"0.0<=knobPos"}},
        {nanf, false, {"0.0<=knobPos", "knobPos<=1.0"}},
    };
    CaptureDiagnostics cap;
    for (const auto& c : cases) {
        p.knobPos = 0.5;
        list.setKnobPos(0, c.knobPos);
        EXPECT_EQ(p.knobPos, c.applied ? static_cast<double>(c.knobPos) : 0.5) << c.knobPos;
        EXPECT_EQ(cap.expressions(), c.reports) << c.knobPos;
    }
    // A parameter's own position outside 0..1 is reported and handed on.
    for (auto [own, reports] : {std::pair{1.5, Strings{"knobPos<=1.0"}}, {-0.5, Strings{"0.0<=knobPos"}}}) {
        p.knobPos = own;
        EXPECT_EQ(list.getKnobPos(0), own);
        EXPECT_EQ(cap.expressions(), reports);
    }
    p.knobPos = std::nan("");
    EXPECT_TRUE(std::isnan(list.getKnobPos(0)));
    EXPECT_EQ(cap.expressions(), (Strings{"0.0<=knobPos", "knobPos<=1.0"}));
}

TEST(ParamList, TextsAreCutForTheHost) {
    struct Case {
        std::string name, text;
    };
    const Case cases[] = {
        {"abc", "ms"},
        {std::string(24, 'n'), "12345678"},
        {"123456789012345678901234567890", "snowflake1"},
        {"", ""},
    };
    for (const auto& c : cases) {
        ParamList list;
        FakeParam p(&list, c.name, c.text);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(copied([&](char* d) { list.copyName(0, d); }), expectedBytes(c.name, 25));
        EXPECT_EQ(copied([&](char* d) { list.copyLabel(0, d); }), expectedBytes(c.text, 9));
        EXPECT_EQ(copied([&](char* d) { list.copyDisplayText(0, d); }), expectedBytes(c.text, 9));
    }
}

TEST(ParamList, TimeParamThroughTheList) {
    ParamList list;
    TimeParam delay(&list, "delayTime", "Delay", 0.5, 0.0, 4.0);
    list.setKnobPos(0, 0.6f);
    // The host's float 0.6 widened, then 4 * p^4.
    EXPECT_DOUBLE_EQ(delay.getValue(), 4.0 * std::pow(static_cast<double>(0.6f), 4.0));
    EXPECT_EQ(copied([&](char* d) { list.copyDisplayText(0, d); }), expectedBytes("518.4", 9));
    EXPECT_EQ(list.getLabel(0), "ms");
}

}  // namespace
