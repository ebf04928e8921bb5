#include "Options.h"

#include <CLI/CLI.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <iostream>

#include "Errors.h"

namespace {

std::string programFolder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string exe(path, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

bool isFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TailSetting parseTail(const std::string& text) {
    if (text == "auto") return {true, 0};
    char* end = nullptr;
    double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(seconds) ||
        seconds < 0 || seconds > 3600)
        throw UsageError("--tail takes a number of seconds from 0 to 3600 or \"auto\", not \"" +
                         text + "\"");
    return {false, seconds};
}

const char* kFooter = R"(
Parameters are set by key or name (any letter case, spaces optional) in their
own units, as the saved state holds them: seconds for delayTime and
delayModDepth, Hz, bpm, degrees, linear gain 0..1, on/off for switches and a
shape for lfoWaveform by either of its names ("snow 3" or snowflake3). --list
shows every key with its range, default and choices. Values outside a range
are clamped, and said so, for --set and --preset alike.
--tail auto also waits at least as long as the echo delay for a late echo.
--impulse lets the plug-in settle on 100 ms of silence first (not kept), so
the echoes are those of a running plug-in.

Examples:
  brindlewave-render -o demo.wav --plot demo.png
  brindlewave-render guitar.flac -o echoes.wav --set delayTime=0.375 \
      --set lfoWaveform="snow 3" --set fbRotation=45
  brindlewave-render --impulse --set fbInvertPhase=on
  brindlewave-render --preset mine.txt --set wetGain=0.5 --save-preset mine2.txt

Output above full scale is reported on standard error: the peak for float
files, the number of clipped samples for integer ones.

Exit status: 0 on success, 2 for a command-line or setting error, 1 for any
other failure, 128 + N when ended by signal N (130 for Ctrl-C); unfinished
files are removed.)";

}  // namespace

std::vector<std::string> pluginCandidates() {
    const std::string folder = programFolder();
    if (folder.empty()) return {};
    return {folder + "/../lib/vst/Brindlewave.so", folder + "/../Brindlewave.so"};
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options o;
    for (const std::string& candidate : pluginCandidates()) {
        if (!o.plugin.empty() || !isFile(candidate)) continue;
        char* resolved = realpath(candidate.c_str(), nullptr);
        o.plugin = resolved ? resolved : candidate;
        std::free(resolved);
    }
    std::vector<std::string> sets;
    std::string tail = "auto";

    CLI::App app{
        "Renders audio through the Brindlewave rotating stereo delay.\n"
        "Reads WAV, AIFF, FLAC or Ogg (mono or stereo) and writes the format that the\n"
        "output's extension names (32-bit float WAV or AIFF, 24-bit FLAC, Ogg Vorbis).\n"
        "Without INPUT it renders a built-in demo phrase of four plucked notes.\n",
        "brindlewave-render"};
    app.footer(kFooter);
    app.get_formatter()->column_width(30);
    app.add_option("INPUT", o.input, "Audio file to process (default: the demo phrase)")
        ->type_name("");
    app.add_option("-o,--output", o.output,
                   "Audio file to write: .wav .aif .aiff .flac .ogg\n"
                   "(written in full under a temporary name, then renamed)")
        ->type_name("FILE");
    app.add_option("--set", sets,
                   "Set a parameter by key (repeatable), e.g.\n--set delayTime=0.375")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false);
    app.add_option("--preset", o.preset,
                   "Load a saved state (preset or bank form), or a factory\npreset by name (see --list-presets)")
        ->type_name("FILE|NAME");
    app.add_flag("--list-presets", o.listPresets, "List the factory presets");
    app.add_option("--save-preset", o.savePreset, "Write the effective state (preset form)")
        ->type_name("FILE");
    app.add_flag("--list", o.list, "List the parameters with range and default");
    std::string tempo;
    app.add_option("--tempo", tempo, "Host tempo; the plug-in follows it")
        ->type_name("BPM");
    app.add_option("--block", o.blockSize, "Block size in frames")
        ->type_name("N")
        ->check(CLI::Range(1, 65536).description(""))
        ->capture_default_str();
    app.add_option("--tail", tail,
                   "Silence after the input, or auto: until the\n"
                   "output stays below -90 dBFS for a second (<= 60 s)")
        ->type_name("SECONDS|auto")
        ->capture_default_str();
    app.add_flag("--impulse", o.impulse,
                 "Render the impulse response (unit impulse on the\n"
                 "left input) and print each echo's time and gain");
    app.add_option("--plot", o.plot, "Draw input, output and echoes to .png or .svg")
        ->type_name("FILE");
    app.add_option("--encoding", o.encoding,
                   "float, pcm16, pcm24 or pcm32 (default: float,\n"
                   "for FLAC pcm24)")
        ->type_name("ENC")
        ->check(CLI::IsMember({"float", "pcm16", "pcm24", "pcm32"}).description(""));
    auto* rate = app.add_option("--rate", o.sampleRate,
                                "Sample rate of the demo phrase and the impulse")
                     ->type_name("HZ")
                     ->check(CLI::Range(1000, 768000).description(""))
                     ->capture_default_str();
    app.add_option("--plugin", o.plugin,
                   "The plug-in to load (default: the one beside this\n"
                   "program in ../lib/vst, else ../Brindlewave.so)")
        ->type_name("PATH")
        ->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        throw UsageError(e.what());
    }

    o.tail = parseTail(tail);
    if (!tempo.empty()) {
        char* end = nullptr;
        double bpm = std::strtod(tempo.c_str(), &end);
        if (end != tempo.c_str() + tempo.size() || !std::isfinite(bpm) || bpm <= 0)
            throw UsageError("--tempo takes a positive number of beats per minute, not \"" +
                             tempo + "\"");
        o.tempo = bpm;
    }
    o.sampleRateGiven = rate->count() > 0;
    for (const std::string& s : sets) o.sets.push_back(parseSetRequest(s));
    if (o.sampleRateGiven && !o.input.empty())
        throw UsageError("--rate is for the demo phrase and the impulse; " + o.input +
                         " brings its own sample rate");
    if (o.impulse && !o.input.empty())
        throw UsageError("--impulse renders its own input; give no INPUT with it");
    if (!o.renders() && !o.list && !o.listPresets && o.savePreset.empty())
        throw UsageError("nothing to do: give -o OUTPUT (or --plot, --impulse, --list, --list-presets, "
                         "--save-preset); see --help");
    return o;
}
