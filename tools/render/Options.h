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
    std::string plugin;
    std::string encoding;
    std::vector<SetRequest> sets;
    bool list = false;
    bool impulse = false;
    std::optional<double> tempo;
    int blockSize = 512;
    TailSetting tail;
    int sampleRate = 48000;  // for the demo phrase and the impulse only
    bool sampleRateGiven = false;

    bool renders() const { return !output.empty() || !plot.empty() || impulse; }
};

// Returns no options after printing the help (a successful run); throws
// UsageError for anything the command line gets wrong.
std::optional<Options> parseOptions(int argc, char** argv);
