#include "FactoryPresets.h"

#include <utility>

#include "ParamList.h"

const std::vector<FactoryPreset>& factoryPresets() {
    static const std::vector<FactoryPreset> presets = {
        {"Slow Spin", "slow-spin",
         {{"delayTime", "0.45"}, {"fbGain", "0.6"}, {"fbRotation", "30"}, {"fbSwapLR", "false"},
          {"fbSwapMS", "false"}, {"wetGain", "0.35"}}},
        {"Dotted Ping-Pong", "dotted-ping-pong",
         {{"tempoSync", "true"}, {"numBeats", "3"}, {"numEchoes", "4"}, {"fbGain", "0.55"},
          {"fbSwapLR", "true"}, {"fbSwapMS", "false"}, {"wetGain", "0.35"}}},
        {"Tape Wobble", "tape-wobble",
         {{"delayTime", "0.32"}, {"delayModDepth", "0.004"}, {"delayModRate", "0.7"}, {"lfoCutoff", "5"},
          {"fbGain", "0.45"}, {"fbCenterFreq", "1200"}, {"fbQ", "0.35"}, {"fbSwapLR", "false"},
          {"fbSwapMS", "false"}, {"wetGain", "0.3"}}},
        {"Snowflake Scatter", "snowflake-scatter",
         {{"delayTime", "0.25"}, {"delayModDepth", "0.02"}, {"delayModRate", "0.5"}, {"lfoWaveform", "snow 3"},
          {"lfoCutoff", "40"}, {"fbGain", "0.5"}, {"fbRotation", "45"}, {"wetGain", "0.3"}}},
        {"Mid/Side Swap", "mid-side-swap",
         {{"delayTime", "0.375"}, {"fbGain", "0.5"}, {"fbSwapLR", "false"}, {"fbSwapMS", "true"},
          {"wetGain", "0.3"}}},
        {"Chorus Spread", "chorus-spread",
         {{"delayTime", "0.012"}, {"delayModDepth", "0.003"}, {"delayModRate", "0.8"}, {"lfoWaveform", "triangle"},
          {"fbGain", "0.15"}, {"fbSwapLR", "false"}, {"fbSwapMS", "false"}, {"wetGain", "0.5"},
          {"wetRotation", "45"}}},
        {"Dark Dub", "dark-dub",
         {{"delayTime", "0.5"}, {"fbGain", "0.75"}, {"fbCenterFreq", "600"}, {"fbQ", "0.5"}, {"fbSwapLR", "true"},
          {"fbSwapMS", "false"}, {"wetGain", "0.35"}}},
        {"Flanger Sweep", "flanger-sweep",
         {{"delayTime", "0.002"}, {"delayModDepth", "0.0015"}, {"delayModRate", "0.2"}, {"fbGain", "0.7"},
          {"fbQ", "0.01"}, {"fbSwapLR", "false"}, {"fbSwapMS", "false"}, {"dryGain", "0.7"}, {"wetGain", "0.5"}}},
        {"Triplet Echoes", "triplet-echoes",
         {{"tempoSync", "true"}, {"numBeats", "2"}, {"numEchoes", "3"}, {"fbGain", "0.5"}, {"fbRotation", "-20"},
          {"wetGain", "0.3"}}},
        {"Wide Slapback", "wide-slapback",
         {{"delayTime", "0.09"}, {"fbGain", "0.2"}, {"fbSwapLR", "false"}, {"fbSwapMS", "false"},
          {"wetSwapLR", "true"}, {"wetGain", "0.4"}}},
    };
    return presets;
}

std::string presetState(ParamList& defaults, const FactoryPreset& preset) {
    std::string state = defaults.savePreset();
    // Entries are "\tkey\n\t\tvalue\n" in the preset form.
    for (const auto& [key, value] : preset.values) {
        const std::string entry = std::string("\t") + key + "\n\t\t";
        const size_t at = state.find(entry);
        if (at == std::string::npos) continue;
        const size_t from = at + entry.size();
        state.replace(from, state.find('\n', from) - from, value);
    }
    return state;
}
