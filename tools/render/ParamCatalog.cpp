#include "ParamCatalog.h"

#include <cctype>
#include <cstdlib>

#include "Errors.h"
#include "LfoShapes.h"
#include "StateText.h"

namespace {

bool isNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// Digits with an optional sign, as a whole-number parameter writes its value.
bool isWholeNumberText(const std::string& text) {
    size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (start >= text.size()) return false;
    for (size_t i = start; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// The uncut shown text of an oscillator shape: hosts get at most 8
// characters of it, so "snowflak" stands for five of them. The shared shape
// table has the whole text; it is taken only where it agrees with what the
// plug-in says, the value text and the start of the shown one.
std::string uncutShownText(const std::string& valueText, const std::string& shown) {
    for (const LfoShapeInfo& shape : lfoShapeTable) {
        const std::string whole = shape.displayText;
        if (valueText == shape.valueText && whole.compare(0, shown.size(), shown) == 0)
            return whole;
    }
    return shown;
}

// Every distinct value text the knob reaches, in knob order, with what the
// host shows for it. Choice lists are short, so a fine sweep meets every
// bucket.
std::vector<ChoiceInfo> sweepChoices(hostkit::Plugin& plugin, int index, const std::string& key) {
    std::vector<ChoiceInfo> choices;
    constexpr int kSteps = 1024;
    for (int step = 0; step <= kSteps; ++step) {
        plugin.setParameter(index, static_cast<float>(step) / kSteps);
        std::string text = valueOf(plugin.getChunk(true), key);
        if (choices.empty() || choices.back().valueText != text)
            choices.push_back({text, uncutShownText(text, plugin.paramDisplay(index))});
    }
    return choices;
}

// A whole-number parameter holds a whole number at every knob position; a
// continuous one moves between them. 61 steps put the knob where a
// continuous value is fractional unless its range is tiny.
bool holdsWholeNumbers(hostkit::Plugin& plugin, int index, const std::string& key) {
    constexpr int kSteps = 61;
    for (int step = 0; step <= kSteps; ++step) {
        plugin.setParameter(index, static_cast<float>(step) / kSteps);
        if (!isWholeNumberText(valueOf(plugin.getChunk(true), key))) return false;
    }
    return true;
}

}  // namespace

std::string looseForm(const std::string& text) {
    std::string form;
    for (char c : text)
        if (c != ' ' && c != '-' && c != '_' && c != '\t')
            form += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return form;
}

const ChoiceInfo* ParamInfo::choiceByValue(const std::string& valueText) const {
    for (const ChoiceInfo& c : choices)
        if (c.valueText == valueText) return &c;
    return nullptr;
}

const ChoiceInfo* ParamInfo::findChoice(const std::string& text) const {
    if (const ChoiceInfo* exact = choiceByValue(text)) return exact;
    const std::string loose = looseForm(text);
    const ChoiceInfo* found = nullptr;
    for (const ChoiceInfo& c : choices)
        if (looseForm(c.valueText) == loose || looseForm(c.shownText) == loose) {
            if (found && found != &c) return nullptr;  // names two: neither
            found = &c;
        }
    return found;
}

const ParamInfo* ParamCatalog::find(const std::string& keyOrName) const {
    for (const ParamInfo& p : params)
        if (p.key == keyOrName) return &p;
    const std::string loose = looseForm(keyOrName);
    const ParamInfo* found = nullptr;
    for (const ParamInfo& p : params)
        if (looseForm(p.key) == loose || looseForm(p.name) == loose) {
            if (found && found != &p) return nullptr;
            found = &p;
        }
    return found;
}

std::string ParamCatalog::keyList() const {
    std::string list;
    for (const ParamInfo& p : params) list += (list.empty() ? "" : ", ") + p.key;
    return list;
}

std::string valueOf(const std::string& presetText, const std::string& key) {
    for (const StateEntry& entry : parameterEntries(presetText))
        if (entry.key == key) return entry.value;
    return {};
}

std::string displayWithLabel(hostkit::Plugin& plugin, const ParamInfo& param) {
    std::string text = plugin.paramDisplay(param.index);
    if (param.kind == ParamKind::Choice)
        if (const ChoiceInfo* c = param.choiceByValue(valueOf(plugin.getChunk(true), param.key)))
            text = c->shownText;
    std::string label = plugin.paramLabel(param.index);
    return label.empty() ? text : text + " " + label;
}

std::unique_ptr<hostkit::Plugin> openPlugin(const hostkit::Library& library, hostkit::Host& host) {
    std::string error;
    auto plugin = hostkit::Plugin::create(library, host, &error);
    if (!plugin) throw RenderFailure("cannot create a plug-in instance: " + error);
    return plugin;
}

ParamCatalog probeCatalog(const hostkit::Library& library) {
    hostkit::Host host;
    auto plugin = openPlugin(library, host);
    const std::string defaults = plugin->getChunk(true);
    const std::vector<StateEntry> entries = parameterEntries(defaults);
    const int count = plugin->effect()->numParams;
    if (static_cast<int>(entries.size()) != count)
        throw RenderFailure("the plug-in's state lists " + std::to_string(entries.size()) +
                            " parameters but it has " + std::to_string(count));

    ParamCatalog catalog;
    for (int i = 0; i < count; ++i) {
        ParamInfo info;
        info.index = i;
        info.key = entries[i].key;
        info.defaultText = entries[i].value;
        info.name = plugin->paramName(i);
        info.label = plugin->paramLabel(i);
        plugin->setParameter(i, 0.0f);
        info.minText = valueOf(plugin->getChunk(true), info.key);
        plugin->setParameter(i, 1.0f);
        info.maxText = valueOf(plugin->getChunk(true), info.key);
        if (info.defaultText == "true" || info.defaultText == "false") {
            info.kind = ParamKind::Switch;
        } else if (!isNumber(info.defaultText)) {
            info.kind = ParamKind::Choice;
            info.choices = sweepChoices(*plugin, i, info.key);
        } else if (holdsWholeNumbers(*plugin, i, info.key)) {
            info.kind = ParamKind::Integer;
        }
        plugin->setChunk(defaults, true);
        info.defaultDisplay = displayWithLabel(*plugin, info);
        catalog.params.push_back(std::move(info));
    }
    return catalog;
}
