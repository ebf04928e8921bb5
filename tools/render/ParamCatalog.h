// What the plug-in says about its parameters, learnt from a scratch instance:
// keys and defaults from its state text, names, labels and display texts
// through the opcodes, ranges and kinds by moving each knob over its travel
// and reading the state text back.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HostKit.h"

enum class ParamKind { Number, Integer, Switch, Choice };

struct ChoiceInfo {
    std::string valueText;  // as the state holds it, e.g. "snow 3"
    std::string shownText;  // as the host shows it, uncut where known: "snowflake3"
};

struct ParamInfo {
    int index = 0;
    std::string key;
    std::string name;
    std::string label;
    ParamKind kind = ParamKind::Number;
    std::string defaultText;     // value text in the state
    std::string defaultDisplay;  // what the host shows, label included
    std::string minText;         // value texts at knob positions 0 and 1
    std::string maxText;
    std::vector<ChoiceInfo> choices;  // in knob order

    // The choice that `text` names by its value or shown text, in any letter
    // case and with or without spaces, '-' and '_'; null when none does.
    const ChoiceInfo* findChoice(const std::string& text) const;
    const ChoiceInfo* choiceByValue(const std::string& valueText) const;
};

struct ParamCatalog {
    std::vector<ParamInfo> params;

    // By key, or by key or name in any letter case and with or without
    // spaces, '-' and '_' ("fbRotation", "FBROTATION", "feedback rotation").
    const ParamInfo* find(const std::string& keyOrName) const;
    std::string keyList() const;  // "tempo, numEchoes, ..."
};

// Lower case without spaces, '-' and '_': the form in which names compare.
std::string looseForm(const std::string& text);

// The value text of every parameter of a preset-form state, by key.
std::string valueOf(const std::string& presetText, const std::string& key);

// Probes a fresh instance made from `library`. Throws RenderFailure when the
// plug-in's state does not list one entry per parameter.
ParamCatalog probeCatalog(const hostkit::Library& library);

// Display text and label as one text, e.g. "375 ms"; a choice by its uncut
// shown text.
std::string displayWithLabel(hostkit::Plugin& plugin, const ParamInfo& param);

// Opens an instance and reports a failure as RenderFailure.
std::unique_ptr<hostkit::Plugin> openPlugin(const hostkit::Library& library, hostkit::Host& host);
