// Reading and building the plug-in's tab-indented state text, just enough to
// replace parameter values by key: the plug-in itself parses the result.
#pragma once

#include <string>
#include <vector>

struct StateEntry {
    std::string key;
    std::string value;  // value lines without their leading tab, joined by '\n'
};

// The top-level entries of a document: a key line, then the tab-led lines
// under it. Tab-led lines before the first key line are passed over.
std::vector<StateEntry> readEntries(const std::string& text);

// Each entry as the key line and every value line (an empty value is one
// line) indented by one more tab.
std::string writeEntries(const std::vector<StateEntry>& entries);

// The bank form is a single "Preset" entry; the preset form starts with "Name".
bool isBankForm(const std::string& text);

// The ParameterList entries of a preset-form text; empty when it has none.
std::vector<StateEntry> parameterEntries(const std::string& presetText);
// A preset-form text holding these parameter entries.
std::string presetText(const std::vector<StateEntry>& parameters);
