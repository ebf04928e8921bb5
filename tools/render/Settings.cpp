#include "Settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Errors.h"
#include "FactoryPresets.h"
#include "StateText.h"

namespace {

std::string trim(const std::string& text) {
    const char* space = " \t\r\n";
    size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// A plain decimal number, as the plug-in's own reader takes it (no hex, no
// inf or nan), that fits a double.
bool parseNumber(const std::string& text, double& value) {
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos)
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// The number as the state text keeps it: 6 significant digits.
double asSaved(double value) {
    std::ostringstream text;
    text << value;
    return std::strtod(text.str().c_str(), nullptr);
}

std::string choiceList(const ParamInfo& param) {
    std::string list;
    for (const ChoiceInfo& c : param.choices) {
        list += (list.empty() ? "\"" : ", \"") + c.valueText + "\"";
        if (c.shownText != c.valueText) list += " (" + c.shownText + ")";
    }
    return list;
}

std::string lower(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// The value text to hand to the plug-in, or a UsageError saying what fits.
std::string checkedText(const ParamInfo& param, const std::string& given,
                        const std::string& where) {
    switch (param.kind) {
        case ParamKind::Switch: {
            const std::string word = lower(trim(given));
            if (word == "true" || word == "on") return "true";
            if (word == "false" || word == "off") return "false";
            throw UsageError(where + param.key + " takes on/off (or true/false), not \"" + given +
                             "\"");
        }
        case ParamKind::Choice:
            if (const ChoiceInfo* choice = param.findChoice(trim(given))) return choice->valueText;
            throw UsageError(where + param.key + " takes one of " + choiceList(param) + ", not \"" +
                             given + "\"");
        case ParamKind::Number: {
            double value = 0;
            if (!parseNumber(trim(given), value))
                throw UsageError(where + param.key + " takes a number from " + param.minText +
                                 " to " + param.maxText + ", not \"" + given + "\"");
            return trim(given);
        }
        case ParamKind::Integer: {
            double value = 0;
            if (!parseNumber(trim(given), value) || value != std::floor(value))
                throw UsageError(where + param.key + " takes a whole number from " +
                                 param.minText + " to " + param.maxText + ", not \"" + given +
                                 "\"");
            // The plug-in treats a whole number outside the range as a broken
            // precondition rather than clamping it quietly, so clamp it here.
            double lo = std::strtod(param.minText.c_str(), nullptr);
            double hi = std::strtod(param.maxText.c_str(), nullptr);
            value = std::clamp(value, lo, hi);
            std::ostringstream text;
            text << static_cast<long long>(value);
            return text.str();
        }
    }
    return given;
}

// A number the plug-in left where it was, although the text asked for
// another one that a clamp at that same end would not explain.
bool refused(const ParamInfo& param, const std::string& before, const std::string& after,
             const std::string& asked) {
    if (param.kind != ParamKind::Number || before != after) return false;
    double b = 0, a = 0, lo = 0, hi = 0;
    if (!parseNumber(before, b) || !parseNumber(asked, a)) return false;
    a = asSaved(a);
    if (a == b) return false;
    if (parseNumber(param.minText, lo) && b == lo && a < lo) return false;
    if (parseNumber(param.maxText, hi) && b == hi && a > hi) return false;
    return true;
}

std::string whereFrom(const std::string& origin) { return origin.empty() ? "" : origin + ": "; }

}  // namespace

bool factoryPresetRequests(const std::string& name, std::vector<SetRequest>& requests) {
    const auto folded = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const FactoryPreset& preset : factoryPresets()) {
        if (folded(name) != folded(preset.name) && folded(name) != folded(preset.id)) continue;
        requests.clear();
        for (const auto& [key, value] : preset.values)
            requests.push_back({key, value, std::string("preset \"") + preset.name + "\""});
        return true;
    }
    return false;
}

std::string factoryPresetList() {
    std::string list;
    for (const FactoryPreset& preset : factoryPresets())
        list += std::string(preset.name) + " (" + preset.id + ")\n";
    return list;
}

SetRequest parseSetRequest(const std::string& argument) {
    size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0)
        throw UsageError("--set needs KEY=VALUE, not \"" + argument + "\"");
    return {trim(argument.substr(0, equals)), argument.substr(equals + 1), ""};
}

std::vector<SetRequest> readStateFile(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw RenderFailure("cannot read preset " + path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        throw RenderFailure("cannot read preset " + path + ": it is a directory");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw RenderFailure("cannot read preset " + path);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) throw RenderFailure("cannot read preset " + path);
    std::string text = bytes.str();

    // As the plug-in loads it: the bank form's first "Preset" entry, and of a
    // preset every "ParameterList" in turn, each from the defaults, so that
    // the last one decides.
    std::vector<StateEntry> top = readEntries(text);
    if (isBankForm(text)) top = readEntries(top.front().value);
    const StateEntry* list = nullptr;
    for (const StateEntry& entry : top)
        if (entry.key == "ParameterList") list = &entry;
    if (!list) {
        std::string why = text.find('\r') != std::string::npos
                              ? " (its lines end in CR LF; the state text uses LF only)"
                              : " (no ParameterList entry)";
        throw RenderFailure(path + " is not a Brindlewave state" + why);
    }
    std::vector<SetRequest> requests;
    for (const StateEntry& entry : readEntries(list->value))
        requests.push_back({entry.key, entry.value, path});
    return requests;
}

std::vector<EffectiveValue> applySettings(hostkit::Plugin& plugin, const ParamCatalog& catalog,
                                          const std::vector<SetRequest>& requests) {
    if (requests.empty()) return {};
    const std::string before = plugin.getChunk(true);
    std::vector<StateEntry> entries = parameterEntries(before);
    // Checked in order; a parameter asked for again takes the later value.
    struct Checked {
        const ParamInfo* param;
        std::string text;
        const SetRequest* request;
    };
    std::vector<Checked> checked;
    for (const SetRequest& request : requests) {
        const ParamInfo* param = catalog.find(request.key);
        if (!param)
            throw UsageError(whereFrom(request.origin) + "unknown parameter \"" + request.key +
                             "\"; valid keys: " + catalog.keyList());
        std::string text = checkedText(*param, request.text, whereFrom(request.origin));
        std::erase_if(checked, [&](const Checked& c) { return c.param == param; });
        checked.push_back({param, text, &request});
    }
    for (const Checked& c : checked) {
        bool replaced = false;
        for (StateEntry& entry : entries)
            if (entry.key == c.param->key) {
                entry.value = c.text;
                replaced = true;
            }
        if (!replaced) entries.push_back({c.param->key, c.text});
    }
    if (plugin.setChunk(presetText(entries), true) != 1)
        throw RenderFailure("the plug-in did not take the edited state");

    const std::string after = plugin.getChunk(true);
    std::vector<EffectiveValue> result;
    for (const Checked& c : checked) {
        const std::string old = valueOf(before, c.param->key);
        const std::string now = valueOf(after, c.param->key);
        if (refused(*c.param, old, now, c.text))
            throw UsageError(whereFrom(c.request->origin) + "the plug-in did not take " +
                             c.param->key + "=" + c.request->text + " (range " +
                             c.param->minText + " to " + c.param->maxText + ")");
        result.push_back({c.param, c.request->text, c.request->origin, now, {}, false});
    }
    readBack(plugin, result);
    return result;
}

void readBack(hostkit::Plugin& plugin, std::vector<EffectiveValue>& values) {
    const std::string state = plugin.getChunk(true);
    for (EffectiveValue& v : values) {
        v.effective = valueOf(state, v.param->key);
        v.display = displayWithLabel(plugin, *v.param);
        double asked = 0, got = 0;
        v.clamped = parseNumber(trim(v.requested), asked) && parseNumber(v.effective, got) &&
                    asSaved(asked) != got;
    }
}

std::string describeEffective(const EffectiveValue& value) {
    std::string line = value.param->key + " = " + value.effective;
    if (value.clamped) line += " (asked for " + value.requested + ")";
    return line + "  [" + value.display + "]";
}
