#include "ParamCatalog.h"

#include <cmath>
#include <cstdlib>

#include "Errors.h"
#include "StateText.h"

namespace {

bool isNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// Every distinct value text the knob reaches, in knob order. Choice lists are
// short, so a fine sweep meets every bucket.
std::vector<std::string> sweepChoices(hostkit::Plugin& plugin, int index, const std::string& key) {
    std::vector<std::string> texts;
    constexpr int kSteps = 1024;
    for (int step = 0; step <= kSteps; ++step) {
        plugin.setParameter(index, static_cast<float>(step) / kSteps);
        std::string text = valueOf(plugin.getChunk(true), key);
        if (texts.empty() || texts.back() != text) texts.push_back(text);
    }
    return texts;
}

// A whole-number parameter reads "min.5" back as min: its text parser stops
// at the decimal point. A continuous one keeps the fraction.
bool readsWholeNumbers(hostkit::Plugin& plugin, const ParamInfo& info) {
    double lo = std::strtod(info.minText.c_str(), nullptr);
    double hi = std::strtod(info.maxText.c_str(), nullptr);
    if (!(lo == std::floor(lo) && hi == std::floor(hi) && hi >= lo + 1)) return false;
    std::vector<StateEntry> entries = parameterEntries(plugin.getChunk(true));
    for (StateEntry& entry : entries)
        if (entry.key == info.key) entry.value = info.minText + ".5";
    plugin.setChunk(presetText(entries), true);
    return valueOf(plugin.getChunk(true), info.key) == info.minText;
}

}  // namespace

const ParamInfo* ParamCatalog::find(const std::string& key) const {
    for (const ParamInfo& p : params)
        if (p.key == key) return &p;
    return nullptr;
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

std::string displayWithLabel(hostkit::Plugin& plugin, int index) {
    std::string text = plugin.paramDisplay(index);
    std::string label = plugin.paramLabel(index);
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
        info.defaultDisplay = displayWithLabel(*plugin, i);
        plugin->setParameter(i, 0.0f);
        info.minText = valueOf(plugin->getChunk(true), info.key);
        plugin->setParameter(i, 1.0f);
        info.maxText = valueOf(plugin->getChunk(true), info.key);
        if (info.defaultText == "true" || info.defaultText == "false")
            info.kind = ParamKind::Switch;
        else if (!isNumber(info.defaultText)) {
            info.kind = ParamKind::Choice;
            info.choices = sweepChoices(*plugin, i, info.key);
        } else if (readsWholeNumbers(*plugin, info)) {
            info.kind = ParamKind::Integer;
        }
        catalog.params.push_back(std::move(info));
        plugin->setChunk(defaults, true);
    }
    return catalog;
}
