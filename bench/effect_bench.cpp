// processReplacing through the plug-in interface at 48 kHz, 512-frame blocks;
// the counter reports nanoseconds per stereo frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "HostKit.h"

namespace {

constexpr int kBlock = 512;

struct Rig {
    std::unique_ptr<hostkit::Library> library = hostkit::Library::open(BW_PLUGIN_PATH);
    hostkit::Host host;
    std::unique_ptr<hostkit::Plugin> plugin = hostkit::Plugin::create(*library, host);
    std::vector<float> inL, inR, outL, outR;

    Rig() : inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock) {
        for (int i = 0; i < kBlock; ++i) {
            inL[i] = 0.3f * std::sin(0.01f * i);
            inR[i] = 0.3f * std::cos(0.013f * i);
        }
        plugin->prepare(48000.0f, kBlock);
    }
    void block() { plugin->processBlock(inL.data(), inR.data(), outL.data(), outR.data(), kBlock); }
};

void run(benchmark::State& state, Rig& rig, bool glide) {
    for (int i = 0; i < 200; ++i) rig.block();  // past the first glide
    float knob = 0.3f;
    for (auto _ : state) {
        if (glide) {
            // A new centre every 2 blocks keeps a glide running in every block.
            state.PauseTiming();
            knob = knob == 0.3f ? 0.7f : 0.3f;
            rig.plugin->setParameter(16, knob);
            state.ResumeTiming();
        }
        rig.block();
        benchmark::DoNotOptimize(rig.outL.data());
    }
    state.counters["ns/frame"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Defaults(benchmark::State& state) {
    Rig rig;
    run(state, rig, false);
}
void SineDepth5ms(benchmark::State& state) {
    Rig rig;
    rig.plugin->setParameter(5, 0.266f);  // (0.005 s)^(1/4)
    run(state, rig, false);
}
void Snowflake(benchmark::State& state) {
    Rig rig;
    rig.plugin->setParameter(5, 0.266f);
    rig.plugin->setParameter(7, 0.6f);
    run(state, rig, false);
}
void DuringGlide(benchmark::State& state) {
    Rig rig;
    run(state, rig, true);
}

}  // namespace

BENCHMARK(Defaults);
BENCHMARK(SineDepth5ms);
BENCHMARK(Snowflake);
BENCHMARK(DuringGlide);
BENCHMARK_MAIN();
