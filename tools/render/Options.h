// The command line of brindlewave-render.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Render.h"
#include "Settings.h"

struct Options {
    std::string input;  // empty: the built-in demo phrase
    std::string output;
    std::string preset;
    std::string savePreset;
    std::string plot;
    std::string plugin;  // empty: none found beside this program
    std::string encoding;
    std::vector<SetRequest> sets;
    bool list = false;
    bool listPresets = false;
    bool impulse = false;
    std::optional<double> tempo;
    int blockSize = 512;
    TailSetting tail;
    int sampleRate = 48000;  // for the demo phrase and the impulse only
    bool sampleRateGiven = false;

    bool renders() const { return !output.empty() || !plot.empty() || impulse; }
};

// Where the plug-in is looked for when --plugin is not given, first to
// last: ../lib/vst/Brindlewave.so from this program's folder (as installed),
// then ../Brindlewave.so (the build tree).
std::vector<std::string> pluginCandidates();

// Returns no options after printing the help (a successful run); throws
// UsageError for anything the command line gets wrong.
std::optional<Options> parseOptions(int argc, char** argv);
