#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "GlobalLocale.h"
#include "Param.h"
#include "ParamList.h"
#include "PresetText.h"

namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;

// Remembers what a load hands it.
class RecordingParam : public Param {
public:
    RecordingParam(ParamList* list, const std::string& key) : Param(list, key, key, "") {}
    std::string getValueText() const override { return "v"; }
    bool setValueFromText(const std::string& text) override {
        texts.push_back(text);
        return true;
    }
    std::string getDisplayText() const override { return ""; }
    void setToDefault() override { ++defaults; }
    double getKnobPos() const override { return 0.0; }
    void setKnobPos(double) override {}

    Strings texts;
    int defaults = 0;
};

// The two parameters of the documented example.
struct Example {
    ParamList list;
    TimeParam delayTime{&list, "delayTime", "Delay", 0.25, 0.0, 4.0};
    TimeParam delayModDepth{&list, "delayModDepth", "Mod depth", 0.5, 0.0, 1.0};
};

const std::string examplePreset =
    "Name\n\tunnamed\nParameterList\n\tdelayTime\n\t\t0.25\n\tdelayModDepth\n\t\t0.5";
const std::string exampleBank =
    "Preset\n\tName\n\t\tunnamed\n\tParameterList\n\t\tdelayTime\n\t\t\t0.25\n\t\tdelayModDepth\n\t\t\t0.5";

std::string chunk(ParamList& list, bool isPreset) {
    void* data = nullptr;
    const int32_t size = list.getChunk(&data, isPreset);
    EXPECT_EQ(static_cast<const char*>(data)[size], '\0');  // a zero follows, uncounted
    return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

int32_t load(ParamList& list, const std::string& text, bool isPreset) {
    return list.setChunk(text.data(), static_cast<int32_t>(text.size()), isPreset);
}

TEST(PresetText, Writing) {
    EXPECT_EQ(indentText("a\nb\n", 2), "\t\ta\n\t\tb\n\t\t");
    EXPECT_EQ(indentText("a\nb", 0), "a\nb");
    EXPECT_EQ(indentText("", 1), "\t");
    EXPECT_EQ(makeEntry("Key", "x\n\ny"), "Key\n\tx\n\t\n\ty");
    EXPECT_EQ(makeEntry("Key", ""), "Key\n\t");
    std::string doc;
    addEntry(doc, "A", "1");
    addEntry(doc, "B", "2");
    EXPECT_EQ(doc, "A\n\t1\nB\n\t2");
}

TEST(PresetText, DocumentedExamplesByteForByte) {
    Example e;
    EXPECT_EQ(chunk(e.list, true), examplePreset);
    EXPECT_EQ(examplePreset.size(), 66u);
    EXPECT_EQ(chunk(e.list, false), exampleBank);
    EXPECT_EQ(exampleBank.size(), 80u);
    ParamList empty;
    EXPECT_EQ(chunk(empty, true), "Name\n\tunnamed\nParameterList\n\t");
    EXPECT_EQ(chunk(empty, true).size(), 29u);
    EXPECT_EQ(chunk(empty, false), "Preset\n\tName\n\t\tunnamed\n\tParameterList\n\t\t");
    EXPECT_EQ(chunk(empty, false).size(), 40u);
}

TEST(PresetText, RoundTripsInBothForms) {
    for (bool isPreset : {true, false}) {
        Example e;
        e.delayTime.setValue(1.5, true);
        e.delayModDepth.setValue(0.123456789, true);
        const std::string saved = chunk(e.list, isPreset);
        Example f;
        EXPECT_EQ(load(f.list, saved, isPreset), 1);
        EXPECT_EQ(f.delayTime.getValue(), 1.5);
        EXPECT_EQ(f.delayModDepth.getValue(), 0.123457);
        // The host may hand back getChunk's own buffer.
        void* data = nullptr;
        const int32_t size = f.list.getChunk(&data, isPreset);
        f.delayTime.setValue(3.0, true);
        EXPECT_EQ(f.list.setChunk(data, size, isPreset), 1);
        EXPECT_EQ(f.delayTime.getValue(), 1.5);
    }
}

TEST(PresetText, Loading) {
    struct Case {
        const char* what;
        std::string text;
        bool isPreset;
        int32_t result;
        double delayTime, delayModDepth;  // after the load; the defaults are 0.25 and 0.5
    };
    const Case cases[] = {
        {"preset as bank", examplePreset, false, 0, 3.0, 0.75},
        {"bank as preset", exampleBank, true, 0, 3.0, 0.75},
        {"empty", "", true, 0, 3.0, 0.75},
        {"crlf", "Name\r\n\tunnamed\r\nParameterList\r\n\tdelayTime\r\n\t\t1\r\n", true, 0, 3.0, 0.75},
        {"trailing line feed", "ParameterList\n\tdelayTime\n\t\t1\n", true, 1, 1.0, 0.5},
        {"other name", "Name\n\tMy sound\nParameterList\n\tdelayModDepth\n\t\t0.1", true, 1, 0.25, 0.1},
        {"no name", "ParameterList\n\tdelayTime\n\t\t2", true, 1, 2.0, 0.5},
        {"empty list", "ParameterList", true, 1, 0.25, 0.5},
        {"two lists", "ParameterList\n\tdelayTime\n\t\t2\nParameterList\n\tdelayModDepth\n\t\t0.2", true, 1, 0.25, 0.2},
        {"unknown keys", "ParameterList\n\t delayTime\n\t\t2\n\tDelayTime\n\t\t2\n\tx\n\t\t2", true, 1, 0.25, 0.5},
        {"bad value", "ParameterList\n\tdelayTime\n\t\tabc\n\tdelayModDepth\n\t\t9", true, 1, 0.25, 1.0},
        {"zero byte ends a value", "ParameterList\n\tdelayTime\n\t\t1\0" "5\n\tdelayModDepth\n\t\t0.2"s, true, 1, 1.0, 0.2},
        {"zero byte in a key", "ParameterList\n\tdelay\0Time\n\t\t1"s, true, 1, 0.25, 0.5},
        {"lone carriage return", "ParameterList\n\tdelayTime\r\t\t1\n\tdelayModDepth\n\t\t0.2", true, 1, 0.25, 0.2},
        {"level-1 list", "\tParameterList\n\t\tdelayTime\n\t\t\t1", true, 0, 3.0, 0.75},
        {"first bank only", "Preset\n\tParameterList\n\t\tdelayTime\n\t\t\t1\nPreset\n\tParameterList\n\t\tdelayTime\n\t\t\t2",
         false, 1, 1.0, 0.5},
        {"bank without list", "Preset\n\tName\n\t\tx", false, 0, 3.0, 0.75},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Example e;
        e.delayTime.setValue(3.0, true);
        e.delayModDepth.setValue(0.75, true);
        EXPECT_EQ(load(e.list, c.text, c.isPreset), c.result);
        EXPECT_EQ(e.delayTime.getValue(), c.delayTime);
        EXPECT_EQ(e.delayModDepth.getValue(), c.delayModDepth);
        // Whatever the load found, the next save writes the canonical text.
        if (c.result == 1) {
            EXPECT_EQ(chunk(e.list, true).substr(0, 14), "Name\n\tunnamed\n");
        }
    }
}

TEST(PresetText, EveryMatchingParameterTakesTheValue) {
    ParamList list;
    RecordingParam a(&list, "k");
    RecordingParam b(&list, "k");
    RecordingParam other(&list, "other");
    EXPECT_EQ(load(list, "ParameterList\n\tk\n\t\tx\n\t\ty\n\tother\n\tk", true), 1);
    EXPECT_EQ(a.texts, (Strings{"x\ny", ""}));  // an entry without value lines gives ""
    EXPECT_EQ(b.texts, a.texts);
    EXPECT_EQ(other.texts, Strings{""});
    EXPECT_EQ(a.defaults, 1);
}

TEST(PresetText, Reader) {
    std::istringstream in("\n\tx\n\n\t\ty\0z\nKey\n\t\n\tlast\n"s);
    std::string key, value;
    ASSERT_TRUE(readKey(in, key));
    EXPECT_EQ(key, "");  // an empty line is an empty key
    ASSERT_TRUE(readValue(in, value));
    EXPECT_EQ(value, "x");
    ASSERT_TRUE(readKey(in, key));
    EXPECT_EQ(key, "");
    ASSERT_TRUE(readValue(in, value));
    EXPECT_EQ(value, "\ty");  // cut at the zero byte; the first tab only is dropped
    ASSERT_TRUE(readKey(in, key));
    EXPECT_EQ(key, "Key");
    ASSERT_TRUE(readValue(in, value));
    EXPECT_EQ(value, "\nlast");
    EXPECT_FALSE(readKey(in, key));  // the final line feed starts no further line

    std::istringstream skip("\tstray\nA\n\t1\nB\n\t2");
    EXPECT_TRUE(findValue(skip, "B", value));
    EXPECT_EQ(value, "2");
    std::istringstream none("A\n\t1\nb\n");
    EXPECT_FALSE(findKey(none, "B"));
}

TEST(PresetText, RefusedChunksChangeNothing) {
    Example e;
    void* data = nullptr;
    const int32_t size = e.list.getChunk(&data, true);
    const std::string before(static_cast<const char*>(data), static_cast<std::size_t>(size));
    e.delayTime.setValue(3.0, true);
    EXPECT_EQ(e.list.setChunk(data, -1, true), 0);
    EXPECT_EQ(e.list.setChunk(nullptr, 5, true), 0);
    EXPECT_EQ(e.list.setChunk(data, INT32_MIN, false), 0);
    EXPECT_EQ(e.delayTime.getValue(), 3.0);
    // The text given out by getChunk is still there, untouched.
    EXPECT_EQ(std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)), before);
    EXPECT_EQ(e.list.setChunk(nullptr, 0, true), 0);  // an empty chunk is read, and holds nothing
    EXPECT_EQ(e.delayTime.getValue(), 3.0);
}

TEST(PresetText, LargeInputsAreFast) {
    const std::string inputs[] = {
        std::string(4 << 20, '\t'),
        std::string(1 << 20, '\n'),
        "ParameterList\n" + std::string(4 << 20, '\t'),
        "Preset\n" + std::string(2 << 20, '\t') + "\n" + std::string(1 << 20, '\n'),
        std::string(1 << 20, '\r') + std::string(1 << 20, '\0'),
        [] {
            std::string s = "ParameterList";
            for (int i = 0; i < 100000; ++i) s += "\n\tdelayTime\n\t\t1\nParameterList";
            return s;
        }(),
    };
    // A linear reader takes milliseconds here (about one second under the
    // thread sanitizer); a reader that rescans or shifts the text per line
    // would take minutes. The bound leaves room for slow builds and a busy host.
    Example e;
    for (const auto& text : inputs) {
        for (bool isPreset : {true, false}) {
            const auto start = std::chrono::steady_clock::now();
            load(e.list, text, isPreset);
            const auto elapsed = std::chrono::steady_clock::now() - start;
            EXPECT_LT(elapsed, std::chrono::seconds(10)) << text.size() << " bytes";
        }
    }
}

TEST(PresetText, NumberTextsIgnoreADecimalCommaLocale) {
    GlobalLocale german("de_DE.UTF-8");
    if (!german.ok()) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    Example e;
    EXPECT_EQ(chunk(e.list, true), examplePreset);
    Example f;
    EXPECT_EQ(load(f.list, "ParameterList\n\tdelayTime\n\t\t1.5", true), 1);
    EXPECT_EQ(f.delayTime.getValue(), 1.5);
}

}  // namespace
