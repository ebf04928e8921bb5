// Times VST 2 plug-ins side by side through the host kit: the same noise at
// 48 kHz through each one with its default settings, processReplacing at each
// block size, several runs each, and the median in ns per frame. The first
// plug-in is the reference the others are compared with.
//
//   peer-timing [--blocks 32,512] [--runs 7] [--seconds 30] [--knob I=POS]... PLUGIN.so [PEER.so ...]
//
// --knob sets a knob position on the first plug-in (and on other builds of it,
// by name) before timing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostKit.h"

namespace {

struct Options {
    std::vector<int> blocks{32, 512};
    int runs = 7;
    double seconds = 30.0;  // of audio per run
    std::vector<std::string> plugins;
    std::vector<std::pair<int, float>> knobs;  // for the first plug-in and other builds of it
};

constexpr float kRate = 48000.0f;

// One instance with buffers for as many channels as it has, fed the same noise.
class Subject {
public:
    Subject(const std::string& path, int block) : block_(block) {
        std::string error;
        library_ = hostkit::Library::open(path, &error);
        if (!library_) throw std::runtime_error(error);
        plugin_ = hostkit::Plugin::create(*library_, host_, &error);
        if (!plugin_) throw std::runtime_error(path + ": " + error);
        plugin_->dispatch(effOpen);
        name_ = plugin_->effectName();
        if (name_.empty()) name_ = path.substr(path.find_last_of('/') + 1);
        const AEffect* e = plugin_->effect();
        const int channels = std::max({2, e->numInputs, e->numOutputs});
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
        // A few seconds of noise, read block by block round and round.
        noise_.resize(static_cast<size_t>(channels));
        for (auto& channel : noise_) {
            channel.resize(static_cast<size_t>(kRate) * 4);
            for (float& x : channel) x = noise(rng);
        }
        out_.assign(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(block)));
        in_.resize(static_cast<size_t>(channels));
        outPtr_.resize(static_cast<size_t>(channels));
        for (int c = 0; c < channels; ++c) outPtr_[c] = out_[c].data();
        plugin_->prepare(kRate, block);
    }

    const std::string& name() const { return name_; }
    void setKnob(int index, float position) { plugin_->setParameter(index, position); }

    // Seconds of audio through the plug-in; returns ns per frame.
    double time(double seconds) {
        const long blocks = static_cast<long>(seconds * kRate / block_);
        const auto start = std::chrono::steady_clock::now();
        for (long b = 0; b < blocks; ++b) step();
        const auto end = std::chrono::steady_clock::now();
        return std::chrono::duration<double, std::nano>(end - start).count() /
               (static_cast<double>(blocks) * block_);
    }

private:
    void step() {
        if (position_ + block_ > noise_[0].size()) position_ = 0;
        for (size_t c = 0; c < noise_.size(); ++c) in_[c] = noise_[c].data() + position_;
        position_ += static_cast<size_t>(block_);
        AEffect* e = plugin_->effect();
        e->processReplacing(e, in_.data(), outPtr_.data(), block_);
    }

    int block_;
    hostkit::Host host_;
    std::unique_ptr<hostkit::Library> library_;
    std::unique_ptr<hostkit::Plugin> plugin_;
    std::string name_;
    std::vector<std::vector<float>> noise_, out_;
    std::vector<float*> in_, outPtr_;
    size_t position_ = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

std::vector<int> parseList(const std::string& text) {
    std::vector<int> values;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) values.push_back(std::stoi(item));
    return values;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--blocks" && i + 1 < argc) o.blocks = parseList(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc) o.runs = std::stoi(argv[++i]);
        else if (arg == "--seconds" && i + 1 < argc) o.seconds = std::stod(argv[++i]);
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
            "usage: peer-timing [--blocks 32,512] [--runs N] [--seconds S] [--knob I=POS]... "
            "PLUGIN.so [PEER.so ...]");
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = parse(argc, argv);
        std::printf("48 kHz, default settings, median of %d runs of %g s of noise (audio time) each\n", o.runs,
                    o.seconds);
        for (int block : o.blocks) {
            std::vector<std::unique_ptr<Subject>> subjects;
            for (const auto& path : o.plugins) subjects.push_back(std::make_unique<Subject>(path, block));
            // Knobs go to the first plug-in and to other builds of it (same name).
            for (auto& s : subjects)
                if (s->name() == subjects[0]->name())
                    for (const auto& [index, position] : o.knobs) s->setKnob(index, position);
            for (auto& s : subjects) s->time(0.5);  // warm up caches and first-block work
            // Runs interleaved, so that a busy moment of the machine hits every plug-in alike.
            std::vector<std::vector<double>> samples(subjects.size());
            for (int run = 0; run < o.runs; ++run)
                for (size_t k = 0; k < subjects.size(); ++k) samples[k].push_back(subjects[k]->time(o.seconds));
            std::printf("\n%d-frame blocks\n%-28s %10s %10s %10s\n", block, "plug-in", "ns/frame",
                        "first/it", "it/first");
            const double reference = median(samples[0]);
            for (size_t k = 0; k < subjects.size(); ++k) {
                const double m = median(samples[k]);
                std::printf("%-28s %10.2f %10.2f %10.2f\n", subjects[k]->name().c_str(), m,
                            reference / m, m / reference);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "peer-timing: %s\n", e.what());
        return 1;
    }
    return 0;
}
