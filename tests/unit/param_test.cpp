#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "CaptureDiagnostics.h"
#include "GlobalLocale.h"
#include "Param.h"

namespace {

using Strings = std::vector<std::string>;
const double nan = std::numeric_limits<double>::quiet_NaN();

TEST(Param, ChangedFlagLifecycle) {
    AngleParam angle(nullptr, "wetRotation", "Wet rotation", 45.0, -90.0, 90.0);
    IntParam count(nullptr, "numEchoes", "Ts echoes", "", 4, 1, 16);
    OnOffParam sync(nullptr, "tempoSync", "Tempo sync", false);
    std::vector<Param*> all{&angle, &count, &sync};
    for (Param* p : all) EXPECT_TRUE(p->isChanged()) << p->getKey();
    angle.getValue();
    count.getValue();
    sync.getValue();
    for (Param* p : all) {
        EXPECT_FALSE(p->isChanged()) << p->getKey();
        // Reading texts and positions never touches the flag; neither does
        // setting a knob to the current value's own position.
        p->getDisplayText();
        p->getValueText();
        p->setKnobPos(p->getKnobPos());
        EXPECT_FALSE(p->isChanged()) << p->getKey();
    }
    angle.setValue(-30.0, true);
    EXPECT_TRUE(angle.isChanged());
    EXPECT_EQ(angle.getValue(), -30.0);
    EXPECT_FALSE(angle.isChanged());
    angle.setValue(-30.0, true);  // equal value: no change
    EXPECT_FALSE(angle.isChanged());
}

TEST(Param, PresetsCarryTheirLabelsMappingsAndDisplays) {
    CaptureDiagnostics cap;
    TimeParam time(nullptr, "delayTime", "Delay", 0.5, 0.0, 4.0);
    FrequencyParam freq(nullptr, "f", "F", 100.0, 10.0, 1000.0);
    LogParam q(nullptr, "fbQ", "Feedback Q", 0.125, 0.001953125, 2.0);
    GainParam gain(nullptr, "g", "G", 1.0, 0.0, 1.0);
    AngleParam angle(nullptr, "a", "A", 0.0, -90.0, 90.0);
    const struct {
        ContinuousParam& param;
        const char* label;
        double knobPos, value;
        const char* display;
    } cases[] = {
        {time, "ms", 0.5, 0.25, "250"},     {time, "ms", 0.6, 0.5184, "518.4"},
        {freq, "Hz", 0.5, 100.0, "100"},    {q, "", 1.0, 2.0, "2"},
        {gain, "dB", 0.5, 0.25, "-12.0412"}, {angle, "deg", 0.75, 45.0, "45"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.param.getKey());
        EXPECT_EQ(c.param.getLabel(), c.label);
        c.param.setKnobPos(c.knobPos);
        EXPECT_DOUBLE_EQ(c.param.getValue(), c.value);
        EXPECT_EQ(c.param.getDisplayText(), c.display);
        EXPECT_DOUBLE_EQ(c.param.getKnobPos(), c.knobPos);
    }
    EXPECT_EQ(time.getValueText(), "0.5184");
    EXPECT_TRUE(cap.take().empty());
}

TEST(Param, ContinuousValueFromText) {
    struct Case {
        const char* text;
        bool used;
        double value;
    };
    const Case cases[] = {
        {"2.5", true, 1.0},  {"-1", true, 0.0},     {"0.3abc", true, 0.3}, {"abc", false, 0.7},
        {"", false, 0.7},    {"   ", false, 0.7},   {" 0.25", true, 0.25}, {"1e-1", true, 0.1},
        {"1e999", false, 0.7}, {"nan", false, 0.7}, {"0,3", true, 0.0},
    };
    CaptureDiagnostics cap;
    for (const auto& c : cases) {
        ContinuousParam p(nullptr, "k", "K", "", 0.7, 0.0, 1.0, &linearMapping(), &plainDisplay());
        EXPECT_EQ(p.setValueFromText(c.text), c.used) << '"' << c.text << '"';
        EXPECT_EQ(p.getValue(), c.value) << '"' << c.text << '"';
    }
    EXPECT_TRUE(cap.take().empty());
}

TEST(Param, ValueTextKeepsSixDigits) {
    ContinuousParam p(nullptr, "k", "K", "", 0.123456789, 0.0, 1.0, &linearMapping(), &plainDisplay());
    const std::string saved = p.getValueText();
    EXPECT_EQ(saved, "0.123457");
    EXPECT_TRUE(p.setValueFromText(saved));
    EXPECT_EQ(p.getValue(), 0.123457);
    for (auto [value, text] : {std::pair{0.5, "0.5"}, {0.00001, "1e-05"}, {1.0, "1"}}) {
        EXPECT_TRUE(p.setValue(value, false));
        EXPECT_EQ(p.getValueText(), text);
    }
    FrequencyParam tempo(nullptr, "tempo", "Tempo", 120.0, 20.0, 1000.0);
    EXPECT_EQ(tempo.getValueText(), "120");
}

TEST(Param, ContinuousSetValueClampsOrRefuses) {
    CaptureDiagnostics cap;
    ContinuousParam p(nullptr, "k", "K", "", 0.5, 0.0, 1.0, &linearMapping(), &plainDisplay());
    p.getValue();
    EXPECT_FALSE(p.setValue(1.5, false));
    EXPECT_FALSE(p.setValue(-0.5, false));
    EXPECT_FALSE(p.isChanged());
    EXPECT_TRUE(p.setValue(1.5, true));
    EXPECT_EQ(p.getValue(), 1.0);
    EXPECT_TRUE(cap.take().empty());
    EXPECT_TRUE(p.setValue(nan, true));  // only a NaN reaches the range checks
    EXPECT_EQ(cap.expressions(), (Strings{"minValue<=val", "val<=maxValue"}));
    EXPECT_TRUE(p.isChanged());
}

TEST(Param, ConstructorChecks) {
    CaptureDiagnostics cap;
    ContinuousParam bad(nullptr, "k", "K", "", 2.0, 3.0, 1.0, nullptr, nullptr);
    const auto reports = cap.take();
    ASSERT_EQ(reports.size(), 4u);
    const Strings expected{"minValue_<=defaultValue_", "defaultValue_<=maxValue_", "mapping_!=NULL", "display_!=NULL"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(reports[i].expression, expected[i]);
        EXPECT_EQ(reports[i].unit, "Param");
    }
    // Without mapping and display the parameter answers harmlessly.
    EXPECT_EQ(bad.getKnobPos(), 0.0);
    EXPECT_EQ(bad.getDisplayText(), "");
    bad.setKnobPos(0.5);
    EXPECT_EQ(bad.getValue(), 2.0);
    EXPECT_TRUE(cap.take().empty());

    IntParam badInt(nullptr, "i", "I", "", 20, 1, 16);
    EXPECT_EQ(cap.expressions(), (Strings{"defaultValue<=maxValue"}));
    IntParam badInt2(nullptr, "i", "I", "", 0, 1, 16);
    EXPECT_EQ(cap.expressions(), (Strings{"minValue<=defaultValue"}));
}

TEST(Param, KnobChecks) {
    CaptureDiagnostics cap;
    ContinuousParam p(nullptr, "k", "K", "", 0.5, 0.0, 1.0, &linearMapping(), &plainDisplay());
    p.setKnobPos(-0.25);
    EXPECT_EQ(cap.expressions(), (Strings{"0.0<=knobPos", "0.0<=position", "minValue<=value"}));
    EXPECT_EQ(p.getValue(), 0.0);  // clamped
    IntParam i(nullptr, "i", "I", "", 4, 1, 16);
    i.setKnobPos(1.5);
    EXPECT_EQ(cap.expressions(), (Strings{"knobPos<=1.0", "newValue<=maxValue"}));
    EXPECT_EQ(i.getValue(), 16);
    i.setKnobPos(nan);
    EXPECT_EQ(cap.expressions(), (Strings{"0.0<=knobPos", "knobPos<=1.0"}));
    EXPECT_EQ(i.getValue(), 1);
}

TEST(Param, IntegerBuckets) {
    IntParam p(nullptr, "numBeats", "Ts beats", "", 4, 1, 16);
    const std::pair<double, int32_t> toValue[] = {{0.0, 1}, {0.0624, 1}, {0.0625, 2}, {0.5, 9}, {0.999, 16}, {1.0, 16}};
    for (auto [knobPos, value] : toValue) {
        p.setKnobPos(knobPos);
        EXPECT_EQ(p.getValue(), value) << knobPos;
    }
    const std::pair<int32_t, double> toKnob[] = {{1, 0.0}, {4, 0.2}, {16, 1.0}};
    for (auto [value, knobPos] : toKnob) {
        p.setValue(value, true);
        EXPECT_DOUBLE_EQ(p.getKnobPos(), knobPos) << value;
    }
    // Each value's own position selects that value again.
    for (int32_t v = 1; v <= 16; ++v) {
        p.setValue(v, true);
        p.setKnobPos(p.getKnobPos());
        EXPECT_EQ(p.getValue(), v);
    }

    IntParam single(nullptr, "s", "S", "", 7, 7, 7);
    EXPECT_EQ(single.getKnobPos(), 0.5);
    single.setKnobPos(0.7);
    EXPECT_EQ(single.getValue(), 7);
}

TEST(Param, IntegerTextsAndRange) {
    struct Case {
        const char* text;
        bool used;
        int32_t value;
        Strings reports;
    };
    const Case cases[] = {
        {"3.7", true, 3, {}},   {" -2", true, 1, {"minValue<=newValue"}},
        {"+12", true, 12, {}},  {"20", true, 16, {"newValue<=maxValue"}},
        {"abc", false, 4, {}},  {"", false, 4, {}},
        {"99999999999", false, 4, {}}, {"-2147483649", false, 4, {}},
    };
    CaptureDiagnostics cap;
    for (const auto& c : cases) {
        IntParam p(nullptr, "i", "I", "", 4, 1, 16);
        EXPECT_EQ(p.setValueFromText(c.text), c.used) << c.text;
        EXPECT_EQ(p.getValue(), c.value) << c.text;
        EXPECT_EQ(cap.expressions(), c.reports) << c.text;
    }
    IntParam p(nullptr, "i", "I", "", 4, -16, 16);
    p.setValue(-7, true);
    EXPECT_EQ(p.getValueText(), "-7");
    EXPECT_EQ(p.getDisplayText(), "-7");
    EXPECT_FALSE(p.setValue(17, true));
    EXPECT_EQ(p.getValue(), -7);
    EXPECT_TRUE(cap.take().empty());
    EXPECT_TRUE(p.setValue(17, false));
    EXPECT_EQ(p.getValue(), 16);
    EXPECT_EQ(cap.expressions(), (Strings{"newValue<=maxValue"}));
}

TEST(Param, Switches) {
    BoolParam b(nullptr, "b", "B", false);
    OnOffParam o(nullptr, "fbSwapLR", "Feedback swap LR", true);
    EXPECT_EQ(b.getLabel(), "");
    const std::pair<double, bool> knobs[] = {{0.49, false}, {0.5, true}, {0.0, false}, {1.0, true}, {nan, false}};
    for (auto [knobPos, value] : knobs) {
        b.setKnobPos(knobPos);
        EXPECT_EQ(b.getValue(), value) << knobPos;
        EXPECT_EQ(b.getKnobPos(), value ? 1.0 : 0.0);
    }
    const std::pair<const char*, bool> texts[] = {{"True", false}, {" true", false}, {"on", false},
                                                  {"1", false},    {"false", true},  {"true", true}};
    for (auto [text, used] : texts) EXPECT_EQ(b.setValueFromText(text), used) << text;
    EXPECT_TRUE(b.getValue());
    EXPECT_EQ(b.getDisplayText(), "true");
    EXPECT_EQ(o.getDisplayText(), "on");
    EXPECT_EQ(o.getValueText(), "true");
    o.setValue(false);
    EXPECT_EQ(o.getDisplayText(), "off");
    EXPECT_EQ(o.getValueText(), "false");
    o.setToDefault();
    EXPECT_TRUE(o.getValue());
}

TEST(Param, NumberTextsIgnoreADecimalCommaLocale) {
    GlobalLocale german("de_DE.UTF-8");
    if (!german.ok()) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    TimeParam t(nullptr, "delayTime", "Delay", 0.25, 0.0, 4.0);
    EXPECT_EQ(t.getValueText(), "0.25");
    EXPECT_TRUE(t.setValueFromText("1.5"));
    EXPECT_EQ(t.getValue(), 1.5);
    EXPECT_TRUE(t.setValueFromText("1,75"));
    EXPECT_EQ(t.getValue(), 1.0);
    IntParam i(nullptr, "i", "I", "", 1, 1, 100000);
    EXPECT_TRUE(i.setValueFromText("12.345"));
    EXPECT_EQ(i.getValue(), 12);
}

// A setter thread against a polling reader: every value read was one that was
// set, and the final value is always observed.
template <typename P, typename V, typename Set>
void raceSetterAgainstReader(P& param, const std::vector<V>& values, Set set) {
    std::atomic<bool> done{false};
    std::thread setter([&] {
        for (int round = 0; round < 200; ++round)
            for (const V& v : values) set(param, v);
        done.store(true, std::memory_order_release);
    });
    V last{};
    bool sawForeign = false;
    while (!done.load(std::memory_order_acquire) || param.isChanged()) {
        if (!param.isChanged()) continue;
        last = param.getValue();
        if (std::find(values.begin(), values.end(), last) == values.end()) sawForeign = true;
    }
    setter.join();
    EXPECT_FALSE(sawForeign);
    EXPECT_EQ(last, values.back());
}

TEST(ParamThreads, ReaderAlwaysSeesTheFinalValue) {
    for (int trial = 0; trial < 20; ++trial) {
        ContinuousParam c(nullptr, "tempo", "Tempo", "bpm", 120.0, 20.0, 1000.0, &logMapping(), &plainDisplay());
        raceSetterAgainstReader(c, std::vector<double>{20.0, 97.5, 120.0, 999.25, 31.0},
                                [](ContinuousParam& p, double v) { p.setValue(v, true); });
        IntParam i(nullptr, "numEchoes", "Ts echoes", "", 4, 1, 16);
        raceSetterAgainstReader(i, std::vector<int32_t>{1, 16, 4, 9, 7},
                                [](IntParam& p, int32_t v) { p.setValue(v, false); });
        BoolParam b(nullptr, "b", "B", false);
        raceSetterAgainstReader(b, std::vector<bool>{true, false, true},
                                [](BoolParam& p, bool v) { p.setValue(v); });
        ChoiceParam shape(nullptr, "lfoWaveform", "Lfo shape", "");
        for (ChoiceId id : {11u, 12u, 13u, 14u})
            shape.addChoice(id, "v" + std::to_string(id), "d" + std::to_string(id));
        raceSetterAgainstReader(shape, std::vector<ChoiceId>{14, 11, 13, 12},
                                [](ChoiceParam& p, ChoiceId v) { p.setValue(v); });
    }
}

}  // namespace
