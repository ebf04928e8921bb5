// The factory presets: named settings, each a list of parameter keys and
// value texts as the state text stores them (keys not listed keep their
// defaults). Every format and tool takes them from here.
#pragma once

#include <string>
#include <vector>

struct FactoryPreset {
    const char* name;  // as shown to the user, e.g. "Slow Spin"
    const char* id;    // a stable identifier, e.g. "slow-spin"
    std::vector<std::pair<const char*, const char*>> values;
};

const std::vector<FactoryPreset>& factoryPresets();

// The preset form of the state text for a preset: the defaults with the
// preset's values put in, as a state text that setChunk/loadPreset takes.
class ParamList;
std::string presetState(ParamList& defaults, const FactoryPreset& preset);
