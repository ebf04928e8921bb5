// brindlewave-render: renders a file, the built-in demo phrase or the impulse
// response through the Brindlewave plug-in, with settings given by key.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "AtomicFile.h"
#include "AudioFile.h"
#include "DemoPhrase.h"
#include "EchoAnalysis.h"
#include "Errors.h"
#include "HostKit.h"
#include "Options.h"
#include "ParamCatalog.h"
#include "Plot.h"
#include "Progress.h"
#include "Render.h"
#include "Settings.h"

namespace {

constexpr const char* kTool = "brindlewave-render";

// Silence before the impulse, so that the echoes measured are those of a
// running plug-in: longer than any of its start-up glides (the feedback
// filter's takes 20 ms). Not part of the response.
constexpr double kSettleSeconds = 0.1;

int64_t settleFrames(double rate) { return std::llround(kSettleSeconds * rate); }

double numberIn(const std::string& state, const std::string& key) {
    return std::strtod(valueOf(state, key).c_str(), nullptr);
}

// How long the output may stay silent before an echo still arrives: the
// longest delay the state can produce.
double longestEchoDelay(const std::string& state) {
    if (valueOf(state, "tempoSync") == "true") {
        double tempo = numberIn(state, "tempo"), echoes = numberIn(state, "numEchoes");
        if (tempo > 0 && echoes > 0) return numberIn(state, "numBeats") / tempo * 60 / echoes;
    }
    return numberIn(state, "delayTime") + numberIn(state, "delayModDepth");
}

std::string dbText(double linear) {
    char text[32];
    if (linear <= 0) return "-inf";
    std::snprintf(text, sizeof text, "%.1f", 20 * std::log10(linear));
    return text;
}

void printList(const ParamCatalog& catalog, hostkit::Plugin& plugin, const std::string& path) {
    std::printf("the plug-in %s; keys and names in any letter case\n", path.c_str());
    std::printf("%-3s %-15s %-22s %-20s %-10s %s\n", "#", "key", "name", "range", "default",
                "shown now");
    for (const ParamInfo& p : catalog.params) {
        std::string range = p.kind == ParamKind::Choice
                                ? std::to_string(p.choices.size()) + " choices"
                                : p.minText + " .. " + p.maxText;
        std::printf("%-3d %-15s %-22s %-20s %-10s %s\n", p.index, p.key.c_str(), p.name.c_str(),
                    range.c_str(), p.defaultText.c_str(), displayWithLabel(plugin, p).c_str());
        if (p.kind == ParamKind::Choice) {
            std::string list;
            for (const ChoiceInfo& c : p.choices) {
                list += (list.empty() ? "\"" : ", \"") + c.valueText + "\"";
                if (c.shownText != c.valueText) list += " (" + c.shownText + ")";
            }
            std::printf("    %-15s %s\n", "", list.c_str());
        }
    }
}

// Prepares an instance with the given state and host tempo, ready to render.
void prepare(hostkit::Plugin& plugin, double rate, int block, const std::string& state) {
    plugin.prepare(static_cast<float>(rate), block);
    if (!state.empty() && plugin.setChunk(state, true) != 1)
        throw RenderFailure("the plug-in did not take its own state back");
    // A block of no frames makes the plug-in read its settings and the host
    // tempo, so the state read afterwards is the one the render starts from.
    float none[1] = {0};
    plugin.processBlock(none, none, none, none, 0, true);
}

StereoBuffer impulseResponse(const hostkit::Library& library, std::optional<double> tempo,
                             double rate, int block, const std::string& state) {
    hostkit::Host host;
    if (tempo) host.setTempo(*tempo);
    auto plugin = openPlugin(library, host);
    prepare(*plugin, rate, block, state);
    StereoBuffer impulse = unitImpulse();
    MemorySource source(impulse);
    RenderConfig config;
    config.sampleRate = rate;
    config.blockSize = block;
    config.quietSeconds = longestEchoDelay(state) + 0.1;
    config.leadInFrames = settleFrames(rate);
    config.keepOutput = true;
    return renderThrough(*plugin, source, nullptr, config).kept;
}

void checkDistinct(const std::string& a, const char* whatA, const std::string& b,
                   const char* whatB) {
    if (a.empty() || b.empty()) return;
    if (a == b || sameFile(a, b))
        throw UsageError(std::string(whatA) + " and " + whatB + " are the same file (" + a + ")");
}

std::string pluginNotFound() {
    std::string looked;
    for (const std::string& candidate : pluginCandidates())
        looked += (looked.empty() ? "" : " or ") + candidate;
    return "cannot find the plug-in" + (looked.empty() ? "" : " (there is no " + looked + ")") +
           "; give --plugin PATH";
}

void warn(const std::string& text) {
    std::fprintf(stderr, "%s: warning: %s\n", kTool, text.c_str());
}

std::string signedDb(double linear) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f", 20 * std::log10(linear));
    return text;
}

int run(const Options& o) {
    if (o.plugin.empty()) throw RenderFailure(pluginNotFound());
    std::string error;
    auto library = hostkit::Library::open(o.plugin, &error);
    if (!library) throw RenderFailure("cannot load the plug-in " + o.plugin + ": " + error);
    const ParamCatalog catalog = probeCatalog(*library);

    // Everything that can be checked before any work is done.
    checkDistinct(o.input, "INPUT", o.output, "the output");
    checkDistinct(o.input, "INPUT", o.plot, "the plot");
    checkDistinct(o.input, "INPUT", o.savePreset, "the saved preset");
    checkDistinct(o.output, "the output", o.plot, "the plot");
    checkDistinct(o.output, "the output", o.savePreset, "the saved preset");
    checkDistinct(o.plot, "the plot", o.savePreset, "the saved preset");
    for (const std::string* path : {&o.output, &o.plot, &o.savePreset})
        if (!path->empty()) checkNotDirectory(*path);
    int format = o.output.empty() ? 0 : outputFormatFor(o.output, o.encoding);
    if (!o.plot.empty()) checkPlotName(o.plot);
    std::vector<SetRequest> requests;
    // A file by that name, else a factory preset.
    struct stat presetFile {};
    if (!o.preset.empty() && (stat(o.preset.c_str(), &presetFile) == 0 || !factoryPresetRequests(o.preset, requests)))
        requests = readStateFile(o.preset);
    requests.insert(requests.end(), o.sets.begin(), o.sets.end());

    std::unique_ptr<AudioReader> reader;
    if (!o.input.empty()) reader = std::make_unique<AudioReader>(o.input);
    const double rate = reader ? reader->sampleRate() : o.sampleRate;

    hostkit::Host host;
    if (o.tempo) host.setTempo(*o.tempo);
    auto plugin = openPlugin(*library, host);
    plugin->prepare(static_cast<float>(rate), o.blockSize);
    std::vector<EffectiveValue> effective = applySettings(*plugin, catalog, requests);
    prepare(*plugin, rate, o.blockSize, "");
    const std::string state = plugin->getChunk(true);
    readBack(*plugin, effective);
    bool tempoSet = false;
    for (const EffectiveValue& v : effective) {
        const bool fromSet = v.origin.empty();
        const bool hostTempo = o.tempo && v.param->key == "tempo";
        // A state file's values are shown where they were not taken as they are.
        if (fromSet || (v.clamped && !hostTempo)) std::printf("%s\n", describeEffective(v).c_str());
        tempoSet = tempoSet || (fromSet && v.param->key == "tempo");
    }
    if (o.tempo && !tempoSet)
        if (const ParamInfo* tempo = catalog.find("tempo"))
            std::printf("tempo = %s (from the host)  [%s]\n", valueOf(state, "tempo").c_str(),
                        displayWithLabel(*plugin, *tempo).c_str());
    if (o.list) printList(catalog, *plugin, library->path());
    if (o.listPresets) std::printf("%s", factoryPresetList().c_str());
    if (!o.savePreset.empty()) writeFileAtomically(o.savePreset, state);
    if (!o.renders()) return 0;

    StereoBuffer generated;
    if (o.impulse) generated = unitImpulse();
    else if (!reader) generated = demoPhrase(static_cast<int>(rate));
    MemorySource memory(generated);
    std::unique_ptr<FileSource> file;
    if (reader) file = std::make_unique<FileSource>(*reader);
    Source& source = file ? static_cast<Source&>(*file) : memory;

    std::unique_ptr<AtomicFile> audioFile;
    std::unique_ptr<AudioWriter> writer;
    if (!o.output.empty()) {
        audioFile = std::make_unique<AtomicFile>(o.output);
        writer = std::make_unique<AudioWriter>(audioFile->tempPath(), o.output, format,
                                               static_cast<int>(rate));
    }
    RenderConfig config;
    config.sampleRate = rate;
    config.blockSize = o.blockSize;
    config.tail = o.tail;
    config.quietSeconds = longestEchoDelay(state) + 0.1;
    if (o.impulse) config.leadInFrames = settleFrames(rate);
    config.keepOutput = o.impulse;
    config.progress = progressWanted();
    RenderResult result = renderThrough(*plugin, source, writer.get(), config);
    if (writer) writer->close();

    if (reader && reader->announcedFrames() > reader->framesRead())
        warn(o.input + " is cut short: it ended after " + std::to_string(reader->framesRead()) +
             " of the " + std::to_string(reader->announcedFrames()) +
             " frames its header announces");
    if (result.tailCapped)
        warn("the tail was cut at " + std::to_string(static_cast<int>(kMaxTailSeconds)) +
             " s and is still sounding");
    const double peak = std::max(result.levels[0].peak, result.levels[1].peak);
    if (writer && result.samplesOverFullScale > 0) {
        const std::string count = std::to_string(result.samplesOverFullScale);
        if (keepsOverFullScale(format))
            warn(o.output + " goes over full scale: its peak is " + signedDb(peak) + " dBFS (" +
                 count + " samples above 0 dBFS, kept as they are)");
        else
            warn(o.output + ": " + count + " samples over full scale were clipped (the peak was " +
                 signedDb(peak) + " dBFS)");
    }

    std::vector<EchoEvent> echoes;
    if (o.impulse) {
        echoes = findEchoes(result.kept, rate);
        std::printf("%s", formatEchoTable(echoes, rate).c_str());
    }
    if (!o.plot.empty()) {
        if (!o.impulse)
            echoes = findEchoes(impulseResponse(*library, o.tempo, rate, o.blockSize, state), rate);
        PlotData data;
        auto base = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
        std::string from = o.impulse ? "impulse" : reader ? base(o.input) : "built-in demo phrase";
        data.title = "Brindlewave: " + from + (o.output.empty() ? "" : " → " + base(o.output));
        data.sampleRate = rate;
        data.input = &result.input;
        data.output = &result.output;
        data.echoes = echoes;
        writePlot(o.plot, data);
    }
    if (audioFile) audioFile->commit();

    const double seconds = result.frames / rate;
    auto rms = [&](int c) {
        return result.frames ? std::sqrt(result.levels[c].sumSquares / result.frames) : 0.0;
    };
    std::printf("%s: %.3f s at %g Hz, peak L %s R %s dBFS, RMS L %s R %s dBFS, %.0fx realtime\n",
                o.output.empty() ? "rendered" : o.output.c_str(), seconds, rate,
                dbText(result.levels[0].peak).c_str(), dbText(result.levels[1].peak).c_str(),
                dbText(rms(0)).c_str(), dbText(rms(1)).c_str(),
                result.wallSeconds > 0 ? seconds / result.wallSeconds : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    installSignalCleanup();
    try {
        std::optional<Options> options = parseOptions(argc, argv);
        if (!options) return 0;
        return run(*options);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", kTool, e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kTool, e.what());
        return 1;
    }
}
