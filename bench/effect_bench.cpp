// The plug-in through its interface at 48 kHz: processReplacing cost per
// stereo frame ("ns/frame") for the default settings, the modulated shapes,
// small blocks and silence after loud input, and the cost of a block's
// settings refresh on its own ("us/block"). These machines change speed from
// hour to hour, so the run also reports the processor's clock as a chain of
// dependent integer multiplies measures it, and each per-frame cost in
// cycles at that clock ("cycles/frame"), which follows the code more closely
// (it still moves by a few per cent from run to run).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "HostKit.h"

namespace {

enum Param { kDelayModDepth = 5, kLfoWaveform = 7, kFbCenterFreq = 16 };
constexpr float kDepth5ms = 0.26591479f;  // (0.005 s / 1 s)^(1/4)

// BW_PLUGIN names another build of the plug-in to time, to compare two builds.
const char* pluginPath() {
    const char* path = std::getenv("BW_PLUGIN");
    return path && *path ? path : BW_PLUGIN_PATH;
}

struct Rig {
    std::unique_ptr<hostkit::Library> library = hostkit::Library::open(pluginPath());
    hostkit::Host host;
    std::unique_ptr<hostkit::Plugin> plugin = hostkit::Plugin::create(*library, host);
    int block;
    std::vector<float> inL, inR, outL, outR;

    explicit Rig(int blockSize) : block(blockSize), inL(block), inR(block), outL(block), outR(block) {
        music();
        plugin->prepare(48000.0f, block);
    }
    // Two slow sines, about -10 dBFS.
    void music() {
        for (int i = 0; i < block; ++i) {
            inL[i] = 0.3f * std::sin(0.01f * i);
            inR[i] = 0.3f * std::cos(0.013f * i);
        }
    }
    void run() { plugin->processBlock(inL.data(), inR.data(), outL.data(), outR.data(), block); }
    // Past the first glide and the first echoes.
    void settle() {
        for (int i = 0; i < 48000 / block + 1; ++i) run();
    }
};

// The clock in GHz: a dependent 64-bit integer multiply takes three cycles on
// the x86-64 processors of this decade.
double clockGhz() {
#if defined(__x86_64__)
    constexpr long kRounds = 50'000'000;
    long x = 3;
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < kRounds; ++i) asm volatile("imul %0, %0\n\timul %0, %0" : "+r"(x));
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    return 3.0 * 2.0 * static_cast<double>(kRounds) / ns;
#else
    return 0.0;
#endif
}
double measuredGhz = 0.0;

// The per-frame counters of a timed loop that began at `start`.
void frameCounters(benchmark::State& state, int block, std::chrono::steady_clock::time_point start) {
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    const double frames = static_cast<double>(state.iterations()) * block;
    state.counters["ns/frame"] = benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (measuredGhz > 0.0) state.counters["cycles/frame"] = ns * measuredGhz / frames;
}

void perFrame(benchmark::State& state, Rig& rig) {
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        rig.run();
        benchmark::DoNotOptimize(rig.outL.data());
    }
    frameCounters(state, rig.block, start);
}

// Microseconds per block of a loop timed by the caller.
void perBlock(benchmark::State& state, std::chrono::steady_clock::time_point start) {
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    state.counters["us/block"] = us / static_cast<double>(state.iterations());
}

// Defaults (sine LFO, no modulation depth) at the block size given.
void Defaults(benchmark::State& state) {
    Rig rig(static_cast<int>(state.range(0)));
    rig.settle();
    perFrame(state, rig);
}

// 5 ms of modulation depth with the shape of the entry given (0 is the sine).
void Modulated(benchmark::State& state) {
    Rig rig(512);
    rig.plugin->setParameter(kDelayModDepth, kDepth5ms);
    rig.plugin->setParameter(kLfoWaveform, (static_cast<float>(state.range(0)) + 0.5f) / 11.0f);
    rig.settle();
    perFrame(state, rig);
}

// A new centre frequency in every block keeps a glide running throughout.
void DuringGlide(benchmark::State& state) {
    Rig rig(512);
    rig.settle();
    float knob = 0.3f;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        knob = knob == 0.3f ? 0.7f : 0.3f;
        rig.plugin->setParameter(kFbCenterFreq, knob);
        rig.run();
        benchmark::DoNotOptimize(rig.outL.data());
    }
    frameCounters(state, rig.block, start);
}

// A zero-length block: the settings refresh with nothing changed and the
// host time query, which every block pays.
void FixedCostPerBlock(benchmark::State& state) {
    Rig rig(512);
    rig.settle();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) rig.plugin->processBlock(nullptr, nullptr, nullptr, nullptr, 0);
    perBlock(state, start);
}

// A zero-length block after a new centre frequency (a knob move, the filter
// design and the start of its glide).
void CentreFrequencyChange(benchmark::State& state) {
    Rig rig(512);
    rig.settle();
    float knob = 0.3f;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        knob = knob == 0.3f ? 0.7f : 0.3f;
        rig.plugin->setParameter(kFbCenterFreq, knob);
        rig.plugin->processBlock(nullptr, nullptr, nullptr, nullptr, 0);
    }
    perBlock(state, start);
}

// Loud noise with long echoes, then (range 1) a minute of silence before the
// measured silence, where the feedback has died away towards the noise floor.
void LoudThenSilence(benchmark::State& state) {
    Rig rig(512);
    rig.plugin->setParameter(15, 0.95f);  // feedback close to full
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (int i = 0; i < rig.block; ++i) rig.inL[i] = noise(rng), rig.inR[i] = noise(rng);
    for (int i = 0; i < 10 * 48000 / rig.block; ++i) rig.run();
    if (state.range(0) == 1) {
        std::fill(rig.inL.begin(), rig.inL.end(), 0.0f);
        std::fill(rig.inR.begin(), rig.inR.end(), 0.0f);
        for (int i = 0; i < 60 * 48000 / rig.block; ++i) rig.run();
    }
    perFrame(state, rig);
}

}  // namespace

BENCHMARK(Defaults)->Arg(512)->Arg(32);
BENCHMARK(Modulated)->DenseRange(0, 10);
BENCHMARK(DuringGlide);
BENCHMARK(FixedCostPerBlock);
BENCHMARK(CentreFrequencyChange);
BENCHMARK(LoudThenSilence)->ArgName("silent")->Arg(0)->Arg(1);
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    measuredGhz = clockGhz();
    benchmark::AddCustomContext("clock (GHz, by integer multiplies)", std::to_string(measuredGhz));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
