// Times VST 2 plug-ins side by side through the host kit: the same noise at
// 48 kHz through each one with its default settings, processReplacing at each
// block size, several runs each, and the median in ns per frame. The first
// plug-in is the reference the others are compared with.
//
//   peer-timing [--blocks 32,512] [--runs 7] [--seconds 30] [--wall] [--knob I=POS]... PLUGIN.so [PEER.so ...]
//
// --knob sets a knob position on the first plug-in (and on other builds of it,
// by name) before timing. The runs are timed in the timing thread's CPU time,
// which other processes on a loaded machine do not add to; --wall times them
// in elapsed time.
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TimingTable.h"
#include "VstSubject.h"

namespace {

struct Options {
    std::vector<int> blocks{32, 512};
    int runs = 7;
    double seconds = 30.0;  // of audio per run
    std::vector<std::string> plugins;
    std::vector<std::pair<int, float>> knobs;  // for the first plug-in and other builds of it
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--blocks" && i + 1 < argc) o.blocks = timing::parseList(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc) o.runs = std::stoi(argv[++i]);
        else if (arg == "--seconds" && i + 1 < argc) o.seconds = std::stod(argv[++i]);
        else if (arg == "--wall") timing::useWallClock = true;
        else if (arg == "--knob" && i + 1 < argc) {
            const std::string knob = argv[++i];
            const size_t eq = knob.find('=');
            if (eq == std::string::npos) throw std::runtime_error("--knob wants INDEX=POSITION");
            o.knobs.emplace_back(std::stoi(knob.substr(0, eq)), std::stof(knob.substr(eq + 1)));
        }
        else if (!arg.empty() && arg[0] == '-') throw std::runtime_error("unknown option " + arg);
        else o.plugins.push_back(arg);
    }
    if (o.plugins.empty() || o.runs < 1 || o.seconds <= 0 || o.blocks.empty())
        throw std::runtime_error(
            "usage: peer-timing [--blocks 32,512] [--runs N] [--seconds S] [--wall] [--knob I=POS]... "
            "PLUGIN.so [PEER.so ...]");
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = parse(argc, argv);
        std::printf("48 kHz, default settings, median of %d runs of %g s of noise (audio time) each, in %s\n",
                    o.runs, o.seconds, timing::clockName());
        for (int block : o.blocks) {
            std::vector<std::unique_ptr<timing::VstSubject>> vst;
            for (const auto& path : o.plugins) vst.push_back(std::make_unique<timing::VstSubject>(path, block));
            // Knobs go to the first plug-in and to other builds of it (same name).
            for (auto& s : vst)
                if (s->name() == vst[0]->name())
                    for (const auto& [index, position] : o.knobs) s->setKnob(index, position);
            std::vector<std::unique_ptr<timing::Subject>> subjects(std::make_move_iterator(vst.begin()),
                                                                   std::make_move_iterator(vst.end()));
            timing::printTable(block, subjects, o.runs, o.seconds);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "peer-timing: %s\n", e.what());
        return 1;
    }
    return 0;
}
