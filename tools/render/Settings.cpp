#include "Settings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Errors.h"
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

std::string quotedList(const std::vector<std::string>& texts) {
    std::string list;
    for (const std::string& t : texts) list += (list.empty() ? "\"" : ", \"") + t + "\"";
    return list;
}

// The value text to hand to the plug-in, or a UsageError saying what fits.
std::string checkedText(const ParamInfo& param, const std::string& given) {
    switch (param.kind) {
        case ParamKind::Switch:
            if (given == "true" || given == "on") return "true";
            if (given == "false" || given == "off") return "false";
            throw UsageError(param.key + " takes on/off (or true/false), not \"" + given + "\"");
        case ParamKind::Choice:
            for (const std::string& choice : param.choices)
                if (choice == given) return given;
            throw UsageError(param.key + " takes one of " + quotedList(param.choices) +
                             ", not \"" + given + "\"");
        case ParamKind::Number: {
            double value = 0;
            if (!parseNumber(trim(given), value))
                throw UsageError(param.key + " takes a number from " + param.minText + " to " +
                                 param.maxText + ", not \"" + given + "\"");
            return trim(given);
        }
        case ParamKind::Integer: {
            double value = 0;
            if (!parseNumber(trim(given), value) || value != std::floor(value))
                throw UsageError(param.key + " takes a whole number from " + param.minText +
                                 " to " + param.maxText + ", not \"" + given + "\"");
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

}  // namespace

SetRequest parseSetRequest(const std::string& argument) {
    size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0)
        throw UsageError("--set needs KEY=VALUE, not \"" + argument + "\"");
    return {argument.substr(0, equals), argument.substr(equals + 1)};
}

void loadStateFile(hostkit::Plugin& plugin, const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw RenderFailure("cannot read preset " + path);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) throw RenderFailure("cannot read preset " + path);
    const std::string text = bytes.str();
    const bool bank = isBankForm(text);
    if (plugin.setChunk(text, !bank) == 1) return;
    std::string why = text.find('\r') != std::string::npos
                          ? " (its lines end in CR LF; the state text uses LF only)"
                          : " (no ParameterList entry)";
    throw RenderFailure(path + " is not a Brindlewave state" + why);
}

std::vector<EffectiveValue> applySettings(hostkit::Plugin& plugin, const ParamCatalog& catalog,
                                          const std::vector<SetRequest>& requests) {
    if (requests.empty()) return {};
    // A key given twice takes its last value.
    std::vector<SetRequest> unique;
    for (size_t i = 0; i < requests.size(); ++i) {
        bool later = false;
        for (size_t j = i + 1; j < requests.size(); ++j)
            later = later || requests[j].key == requests[i].key;
        if (!later) unique.push_back(requests[i]);
    }
    const std::string before = plugin.getChunk(true);
    std::vector<StateEntry> entries = parameterEntries(before);
    std::vector<std::pair<const ParamInfo*, std::string>> checked;
    for (const SetRequest& request : unique) {
        const ParamInfo* param = catalog.find(request.key);
        if (!param)
            throw UsageError("unknown parameter \"" + request.key +
                             "\"; valid keys: " + catalog.keyList());
        std::string text = checkedText(*param, request.text);
        bool replaced = false;
        for (StateEntry& entry : entries)
            if (entry.key == param->key) {
                entry.value = text;
                replaced = true;
            }
        if (!replaced) entries.push_back({param->key, text});
        checked.emplace_back(param, text);
    }
    if (plugin.setChunk(presetText(entries), true) != 1)
        throw RenderFailure("the plug-in did not take the edited state");

    const std::string after = plugin.getChunk(true);
    std::vector<EffectiveValue> result;
    for (size_t i = 0; i < checked.size(); ++i) {
        const auto& [param, text] = checked[i];
        const std::string old = valueOf(before, param->key);
        const std::string now = valueOf(after, param->key);
        if (refused(*param, old, now, text))
            throw UsageError("the plug-in did not take " + param->key + "=" + unique[i].text +
                             " (range " + param->minText + " to " + param->maxText + ")");
        result.push_back({param, unique[i].text, now, {}, false});
    }
    readBack(plugin, result);
    return result;
}

void readBack(hostkit::Plugin& plugin, std::vector<EffectiveValue>& values) {
    const std::string state = plugin.getChunk(true);
    for (EffectiveValue& v : values) {
        v.effective = valueOf(state, v.param->key);
        v.display = displayWithLabel(plugin, v.param->index);
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
