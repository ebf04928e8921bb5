// What the plug-in says about its parameters, learnt from a scratch instance:
// keys and defaults from its state text, names, labels and display texts
// through the opcodes, ranges by moving each knob to its ends.
#pragma once

#include <string>
#include <vector>

#include "HostKit.h"

enum class ParamKind { Number, Integer, Switch, Choice };

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
    std::vector<std::string> choices;  // value texts of a choice, in knob order
};

struct ParamCatalog {
    std::vector<ParamInfo> params;

    const ParamInfo* find(const std::string& key) const;
    std::string keyList() const;  // "tempo, numEchoes, ..."
};

// The value text of every parameter of a preset-form state, by key.
std::string valueOf(const std::string& presetText, const std::string& key);

// Probes a fresh instance made from `library`. Throws RenderFailure when the
// plug-in's state does not list one entry per parameter.
ParamCatalog probeCatalog(const hostkit::Library& library);

// Display text and label as one text, e.g. "375 ms".
std::string displayWithLabel(hostkit::Plugin& plugin, int index);

// Opens an instance and reports a failure as RenderFailure.
std::unique_ptr<hostkit::Plugin> openPlugin(const hostkit::Library& library, hostkit::Host& host);
