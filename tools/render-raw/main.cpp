// Renders a fixed set of scenarios through a VST 2 plug-in into raw float32
// files (interleaved stereo), so that builds for different systems and
// processors can be compared sample by sample. Needs nothing but the host kit
// and the effect core (for the settings' state texts), so it builds wherever
// the plug-in does.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "DelayCore.h"
#include "FactoryPresets.h"
#include "HostKit.h"
#include "Param.h"
#include "ParamList.h"

namespace {

constexpr double kSeconds = 1.5;

// The input: bursts of noise and a sawtooth, from integer arithmetic only,
// so that it is the same on every system whatever its maths library.
void makeInput(int32_t frames, float rate, std::vector<float>& left, std::vector<float>& right) {
    left.assign(static_cast<size_t>(frames), 0.0f);
    right.assign(static_cast<size_t>(frames), 0.0f);
    uint32_t seed = 12345u;
    const int32_t period = static_cast<int32_t>(rate * 0.4f);
    const int32_t burst = static_cast<int32_t>(rate * 0.06f);
    for (int32_t i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(static_cast<int32_t>(seed)) * (1.0f / 2147483648.0f);
        const float saw = static_cast<float>(i % 200) / 100.0f - 1.0f;
        const bool on = i % period < burst;
        left[static_cast<size_t>(i)] = on ? 0.7f * noise : 0.0f;
        right[static_cast<size_t>(i)] = on ? 0.5f * saw : 0.05f * noise;
    }
}

// A state text for the plug-in: the defaults with some values set in the
// parameters' own units.
using Values = std::vector<std::pair<std::string, double>>;
std::string stateWith(const Values& values) {
    DelayCore scratch(48000.0f);
    ParamList& list = scratch.parameters();
    for (const auto& [key, value] : values)
        for (uint32_t i = 0; i < list.numParams(); ++i)
            if (list.param(i)->getKey() == key) list.param(i)->setPlainValue(value);
    return list.savePreset();
}

// Called before each block with the block's index, to move knobs or the tempo.
using Automation = std::function<void(hostkit::Plugin&, hostkit::Host&, int32_t block)>;

struct Scenario {
    std::string name;
    std::string state;
    float rate = 48000.0f;
    double tempo = 120.0;
    Automation automation;
};

std::vector<Scenario> scenarios() {
    std::vector<Scenario> all;
    all.push_back({"defaults", stateWith({}), 48000.0f, 120.0, {}});
    DelayCore defaults(48000.0f);
    for (const FactoryPreset& preset : factoryPresets())
        all.push_back({"preset-" + std::string(preset.id), presetState(defaults.parameters(), preset), 48000.0f, 97.0,
                       {}});
    for (int shape = 0; shape <= 10; ++shape)
        all.push_back({"shape-" + std::to_string(shape),
                       stateWith({{"lfoWaveform", shape}, {"delayTime", 0.05}, {"delayModDepth", 0.004},
                                  {"delayModRate", 3.0}, {"lfoCutoff", 200.0}, {"fbGain", 0.6}}),
                       48000.0f, 120.0, {}});
    all.push_back({"rate-44100", stateWith({{"delayTime", 0.3}, {"fbRotation", 60.0}}), 44100.0f, 120.0, {}});
    all.push_back({"rate-96000", stateWith({{"delayModDepth", 0.002}, {"fbCenterFreq", 3000.0}}), 96000.0f, 120.0, {}});
    // The tempo moves under tempo sync.
    all.push_back({"tempo-changes", stateWith({{"tempoSync", 1}, {"numBeats", 3}, {"numEchoes", 4}}), 48000.0f,
                   120.0, [](hostkit::Plugin&, hostkit::Host& host, int32_t block) {
                       host.setTempo(90.0 + 7.0 * (block % 9));
                   }});
    // Knobs moved between blocks: the delay, a filter glide, the rotations.
    all.push_back({"automation", stateWith({{"delayModDepth", 0.001}}), 48000.0f, 120.0,
                   [](hostkit::Plugin& plugin, hostkit::Host&, int32_t block) {
                       plugin.setParameter(4, static_cast<float>(block % 50) / 50.0f);
                       if (block % 13 == 0) plugin.setParameter(16, static_cast<float>(block % 7) / 7.0f);
                       plugin.setParameter(21, static_cast<float>(block % 31) / 31.0f);
                       plugin.setParameter(14, static_cast<float>(block % 17) / 17.0f);
                   }});
    return all;
}

// Block sizes in turn, with an empty block between some of them.
constexpr int32_t kBlockSizes[] = {1, 7, 64, 0, 512, 4096, 33, 0, 256};

bool render(const hostkit::Library& library, const Scenario& scenario, const std::string& path,
            std::string& error) {
    hostkit::Host host;
    host.setTempo(scenario.tempo);
    auto plugin = hostkit::Plugin::create(library, host, &error);
    if (!plugin) return false;
    plugin->prepare(scenario.rate, 4096);
    if (plugin->setChunk(scenario.state, true) != 1) {
        error = "the plug-in refused the state of " + scenario.name;
        return false;
    }
    const int32_t frames = static_cast<int32_t>(scenario.rate * kSeconds);
    std::vector<float> inL, inR;
    makeInput(frames, scenario.rate, inL, inR);
    std::vector<float> outL(static_cast<size_t>(frames)), outR(static_cast<size_t>(frames));
    int32_t done = 0;
    for (int32_t block = 0; done < frames; ++block) {
        if (scenario.automation) scenario.automation(*plugin, host, block);
        const int32_t size = std::min(kBlockSizes[block % std::size(kBlockSizes)], frames - done);
        plugin->processBlock(inL.data() + done, inR.data() + done, outL.data() + done, outR.data() + done, size);
        done += size;
    }
    std::vector<float> interleaved(2 * static_cast<size_t>(frames));
    for (size_t i = 0; i < outL.size(); ++i) {
        interleaved[2 * i] = outL[i];
        interleaved[2 * i + 1] = outR[i];
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(interleaved.data()),
               static_cast<std::streamsize>(interleaved.size() * sizeof(float)));
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: brindlewave-render-raw PLUGIN OUTDIR\n"
                             "writes OUTDIR/NAME.f32 (interleaved stereo float32) for each scenario\n");
        return 2;
    }
    std::string error;
    auto library = hostkit::Library::open(argv[1], &error);
    if (!library) {
        std::fprintf(stderr, "brindlewave-render-raw: %s\n", error.c_str());
        return 1;
    }
    for (const Scenario& scenario : scenarios()) {
        const std::string path = std::string(argv[2]) + "/" + scenario.name + ".f32";
        if (!render(*library, scenario, path, error)) {
            std::fprintf(stderr, "brindlewave-render-raw: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
