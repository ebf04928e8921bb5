// The signal-processing blocks one call at a time: each LFO shape over a
// stream of phases, one direct form II biquad sample, one coefficient glide
// step, and one band-pass design. The "per_call" counter is seconds per call.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "BiquadCoeffs.h"
#include "LfoShapes.h"

namespace {

constexpr int kCalls = 1024;  // calls per benchmark iteration

void perCall(benchmark::State& state) {
    state.counters["per_call"] = benchmark::Counter(
        double(kCalls), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// 5 Hz at 44.1 kHz: the phase advances by rate * 2^32 / sampleRate.
constexpr uint32_t kIncrement = uint32_t(5.0 * 4294967296.0 / 44100.0);

template <double (*Shape)(uint32_t)>
void BM_Shape(benchmark::State& state) {
    uint32_t phase = 12345;
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) {
            phase += kIncrement;
            benchmark::DoNotOptimize(Shape(phase));
        }
    }
    perCall(state);
}
BENCHMARK(BM_Shape<trueSine>);
BENCHMARK(BM_Shape<fakeSine>);
BENCHMARK(BM_Shape<triangle>);
BENCHMARK(BM_Shape<rampUp>);
BENCHMARK(BM_Shape<rampDown>);
BENCHMARK(BM_Shape<square>);
BENCHMARK(BM_Shape<snowflake1>);
BENCHMARK(BM_Shape<snowflake2>);
BENCHMARK(BM_Shape<snowflake3>);
BENCHMARK(BM_Shape<snowflake4>);
BENCHMARK(BM_Shape<snowflake5>);

// The shape through a function pointer, as a caller that does not inline it.
void BM_ShapeThroughPointer(benchmark::State& state) {
    LfoShape shape = lfoShapeTable[state.range(0)].shape;
    benchmark::DoNotOptimize(shape);
    uint32_t phase = 12345;
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) {
            phase += kIncrement;
            benchmark::DoNotOptimize(shape(phase));
        }
    }
    state.SetLabel(lfoShapeTable[state.range(0)].displayText);
    perCall(state);
}
BENCHMARK(BM_ShapeThroughPointer)->Arg(0)->Arg(2)->Arg(10);

BiquadCoeffs bandPass(float centre, float q, float sampleRate) {
    BiquadCoeffs c;
    c.setBandPass(centre / sampleRate, static_cast<float>(qToOctaves(q)));
    return c;
}

// Direct form II: double state, float coefficients, one sample per call.
void BM_BiquadSample(benchmark::State& state) {
    const BiquadCoeffs c = bandPass(1000, 0.7f, 44100);
    double w1 = 0, w2 = 0;
    uint32_t noise = 1;
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double x = static_cast<int32_t>(noise) * 4.656612873077393e-10;
            const double w = c.gain * x + c.rec1 * w1 + c.rec2 * w2;
            const double y = w + c.num1 * w1 + c.num2 * w2;
            w2 = w1;
            w1 = w;
            benchmark::DoNotOptimize(static_cast<float>(y));
        }
    }
    perCall(state);
}
BENCHMARK(BM_BiquadSample);

// One glide step, restarting towards the other design whenever a glide ends.
void BM_CoeffRampStep(benchmark::State& state) {
    const BiquadCoeffs designs[2] = {bandPass(1000, 0.7f, 44100), bandPass(5000, 0.125f, 44100)};
    BiquadCoeffs live;
    CoeffRamp ramp;
    int next = 0;
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) {
            if (ramp.count == 0) {
                ramp.start(designs[next], 881);
                next ^= 1;
            }
            ramp.step(live);
            benchmark::DoNotOptimize(live);
        }
    }
    perCall(state);
}
BENCHMARK(BM_CoeffRampStep);

// A band-pass design, as the engine makes one when the centre or Q changes.
void BM_Design(benchmark::State& state) {
    const float octaves = static_cast<float>(qToOctaves(0.7));
    BiquadCoeffs c;
    float f = 0.001f;
    for (auto _ : state) {
        for (int i = 0; i < kCalls; ++i) {
            f = f < 0.4f ? f * 1.01f : 0.001f;
            c.setBandPass(f, octaves);
            benchmark::DoNotOptimize(c);
        }
    }
    perCall(state);
}
BENCHMARK(BM_Design);

}  // namespace

BENCHMARK_MAIN();
