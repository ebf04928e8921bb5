// The block loop, in the form the engine chose (see EngineForm.h; CTest runs
// this once per form), against the straightforward frame-by-frame engine:
// whole renders must agree bit for bit over every shape, matrix, delay and
// glide.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "EngineBlock.h"
#include "EngineForm.h"
#include "PhaseSine.h"

namespace {

// The reference: DelayEngine::processSample once per frame, as written.
void referenceBlock(DelayEngine& e, uint32_t& seed, const BlockIo& io) {
    for (int32_t i = 0; i < io.frameCount; ++i) {
        const double noise = static_cast<double>(static_cast<int32_t>(seed)) * 4.656612889969227e-25f;
        seed = seed * 1664525u + 1013904223u;
        float inL = io.inL ? io.inL[i] : 0.0f;
        float inR = io.inR ? io.inR[i] : 0.0f;
        if (!std::isfinite(inL)) inL = 0.0f;
        if (!std::isfinite(inR)) inR = 0.0f;
        const float xL = static_cast<float>(inL + noise);
        const float xR = static_cast<float>(inR + noise);
        const StereoFrame wet = e.processSample(xL, xR);
        const double yL = io.dryGain * xL + wet.left;
        const double yR = io.dryGain * xR + wet.right;
        if (io.replace) {
            if (io.outL) io.outL[i] = static_cast<float>(yL);
            if (io.outR) io.outR[i] = static_cast<float>(yR);
        } else {
            if (io.outL) io.outL[i] = static_cast<float>(io.outL[i] + yL);
            if (io.outR) io.outR[i] = static_cast<float>(io.outR[i] + yR);
        }
    }
}

struct Setting {
    float delay, depth, rate, centre, q, fbGain, fbAngle, wetGain, wetAngle;
    bool fbSwapLR, fbSwapMS, fbInvert, wetSwapLR;
    float rateHz;
    float level = 1.0f;  // input scale; a hot input drives the loop into the line's limit
};

void configure(DelayEngine& e, const Setting& s) {
    e.setDelay(s.delay, s.depth, s.rate, s.rateHz);
    e.setFeedbackFilter(s.centre, s.q, s.rateHz);
    DelayEngine::buildMatrix(e.fbMatrix, s.fbGain, s.fbAngle, s.fbSwapLR, s.fbSwapMS, s.fbInvert);
    DelayEngine::buildMatrix(e.wetMatrix, s.wetGain, s.wetAngle + s.fbAngle, s.wetSwapLR,
                             s.fbSwapMS, false);
    e.lfoCoef = 0.3f;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(EngineLoop, BlockLoopMatchesTheFrameByFrameEngine) {
    constexpr float kMinAge = delayed_reads::kMinAge;
    static_assert(kMinAge > 10.0f - 6.0f && kMinAge < 10.0f + 6.0f, "the moving delay below (10 frames, 6 deep) crosses it");
    const Setting settings[] = {
        {0.5f, 0.0f, 1.0f, 1500.0f, 0.125f, 0.5f, 0.0f, 0.25f, 0.0f, true, true, false, false, 44100.0f},
        {0.01f, 0.005f, 3.0f, 400.0f, 1.5f, 0.9f, 0.6f, 0.7f, -0.3f, false, true, true, true, 48000.0f},
        {0.0f, 0.02f, 20.0f, 19000.0f, 0.002f, 1.0f, -1.5f, 1.0f, 1.5f, true, false, false, true, 96000.0f},
        {4.0f, 1.0f, 0.1f, 20.0f, 2.0f, 0.3f, 1.2f, 0.5f, 0.2f, false, false, true, false, 192000.0f},
        {0.0f, 0.0f, 5.0f, 3000.0f, 0.7f, 0.99f, 0.1f, 1.0f, 0.0f, false, false, false, false, 22050.0f},
        {0.0f, 0.157f, 1.87f, 8346.0f, 0.0023f, 1.0f, 1.5707964f, 0.1f, 0.7f, true, false, false, true,
         48000.0f, 4000.0f},
        // Hot input at full feedback with a steady delay, a whole number of
        // frames and not: most of what is written back is bent.
        {0.01f, 0.0f, 1.0f, 1200.0f, 0.3f, 1.0f, 0.4f, 0.9f, 0.0f, false, true, false, false, 48000.0f, 50.0f},
        {0.0101f, 0.0f, 1.0f, 1200.0f, 0.3f, 1.0f, 0.4f, 0.9f, 0.0f, true, false, true, true, 48000.0f, 50.0f},
        // Around the youngest tap the loop reads ahead for: a steady delay
        // a frame short of it and at it, 88 frames whose reads pass the
        // line's end early on, and a delay that moves across the limit.
        {(kMinAge - 1) / 48000.0f, 0.0f, 1.0f, 1000.0f, 0.5f, 0.9f, 0.3f, 0.8f, 0.1f, false, true, false, false,
         48000.0f},
        {kMinAge / 48000.0f, 0.0f, 1.0f, 1000.0f, 0.5f, 0.9f, 0.3f, 0.8f, 0.1f, true, false, true, false, 48000.0f},
        {0.002f, 0.0f, 2.0f, 2500.0f, 0.3f, 0.95f, -0.4f, 0.6f, 0.0f, false, false, false, true, 44100.0f},
        {10.0f / 48000.0f, 6.0f / 48000.0f, 30.0f, 700.0f, 1.0f, 0.8f, 0.2f, 0.9f, 0.5f, false, false, true, true,
         48000.0f},
        // Longer than the line holds: steady at the longest delay, whose
        // oldest tap is the oldest frame the line keeps.
        {9.0f, 0.0f, 1.0f, 2000.0f, 0.5f, 0.9f, 0.2f, 0.8f, 0.3f, false, true, false, true, 48000.0f},
    };
    const LfoShape shapes[] = {trueSine, fakeSine, triangle, rampUp, rampDown, square,
                               snowflake1, snowflake2, snowflake3, snowflake4, snowflake5};
    auto a = std::make_unique<DelayEngine>();
    auto b = std::make_unique<DelayEngine>();
    auto scratch = std::make_unique<engine_loop::ChunkData>();
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    constexpr int kBlock = 301;  // odd, so the last chunk of a block has an odd length
    // Block lengths around the loop's chunks (128 frames for a moving delay,
    // 256 for a steady one), and a long one.
    const int32_t lengths[] = {kBlock, 1, 64, 127, 128, 129, 256, 257, 255, kBlock};
    std::vector<float> inL(kBlock), inR(kBlock), outA(2 * kBlock), outB(2 * kBlock);
    // Where the line's writing starts: at and around the line's start (so that
    // a chunk's writes and reads pass it) and elsewhere.
    // (-1: the line's last frame.)
    const int32_t starts[] = {0, 1, 127, 128, 129, 254, 255, 256, 257, -1, 200000, 5};
    // The host's buffers: apart, both outputs one buffer, the right output
    // missing, or the outputs in place of the inputs.
    enum class Buffers { Apart, OneOutput, NoRight, InPlace };
    const Buffers layouts[] = {Buffers::Apart, Buffers::OneOutput, Buffers::Apart, Buffers::NoRight,
                               Buffers::InPlace};

    int shapeIndex = 0;
    for (const Setting& s : settings) {
        for (LfoShape shape : shapes) {
            *a = DelayEngine{};
            // Above the shortest line's rates, the line a plug-in makes for the rate.
            std::vector<StereoFrame> longer(static_cast<size_t>(DelayEngine::framesFor(s.rateHz, 4.0f, 1.0f)));
            a->adoptLine(longer);
            const int32_t start = starts[shapeIndex++ % 12];
            a->writePos = start < 0 ? a->lineFrames() - 1 : start;
            // An old history (signed zeros among it), so that the first reads
            // already see varied frames.
            for (StereoFrame& f : a->line) {
                const float v = u(rng);
                f = {v < -0.75f ? -0.0f : v, v > 0.75f ? 0.0f : -v};
            }
            configure(*a, s);
            // The block loop evaluates the sine its own way; the reference
            // then uses that evaluation frame by frame.
            const bool sine = shape == &trueSine;
            a->lfoShape = sine ? &phaseSine : shape;
            *b = *a;
            b->lfoShape = shape;
            uint32_t seedA = 99, seedB = 99;
            for (int block = 0; block < 12; ++block) {
                for (int i = 0; i < kBlock; ++i) {
                    inL[i] = (block % 3 == 0) ? s.level * u(rng) : 0.0f;
                    inR[i] = (block % 4 == 1) ? s.level * u(rng) : 0.0f;
                }
                if (block == 5) {  // restart the glide midway on both
                    a->setFeedbackFilter(s.centre * 0.5f, s.q, s.rateHz);
                    b->setFeedbackFilter(s.centre * 0.5f, s.q, s.rateHz);
                }
                if (block == 8) {  // more depth: a steady delay starts to move, a moving one moves more
                    a->setDelay(s.delay, s.depth + 0.003f, s.rate, s.rateHz);
                    b->setDelay(s.delay, s.depth + 0.003f, s.rate, s.rateHz);
                }
                const bool replace = block % 2 == 0;
                // Unity and zero have forms of their own.
                const double dry = block % 3 == 2 ? 1.0 : block % 6 == 1 ? 0.0 : 0.7;
                for (int i = 0; i < 2 * kBlock; ++i) outA[i] = outB[i] = 0.25f;
                const int32_t frames = lengths[block % 10];
                const Buffers layout = layouts[block % 5];
                const auto ioFor = [&](std::vector<float>& out) {
                    float* left = out.data();
                    float* right = out.data() + kBlock;
                    switch (layout) {
                        case Buffers::OneOutput: return BlockIo{inL.data(), inR.data(), left, left, frames, replace, dry};
                        case Buffers::NoRight: return BlockIo{inL.data(), inR.data(), left, nullptr, frames, replace, dry};
                        case Buffers::InPlace:
                            std::copy(inL.begin(), inL.end(), left);
                            std::copy(inR.begin(), inR.end(), right);
                            return BlockIo{left, right, left, right, frames, replace, dry};
                        default: return BlockIo{inL.data(), inR.data(), left, right, frames, replace, dry};
                    }
                };
                referenceBlock(*a, seedA, ioFor(outA));
                const BlockIo io = ioFor(outB);
                processEngineBlock(*b, seedB, io, *scratch);
                for (int i = 0; i < 2 * kBlock; ++i)
                    ASSERT_TRUE(sameBits(outA[i], outB[i]))
                        << "setting delay " << s.delay << " block " << block << " frame " << i
                        << ": " << outA[i] << " vs " << outB[i];
                // The LFO's state after every block, bit for bit: with a steady
                // delay nothing else shows a wrong smoothing step.
                ASSERT_TRUE(sameBits(a->lfoSmoothed, b->lfoSmoothed)) << "block " << block;
                ASSERT_EQ(a->lfoPhase, b->lfoPhase) << "block " << block;
                ASSERT_EQ(a->writePos, b->writePos) << "block " << block;
            }
            EXPECT_EQ(seedA, seedB);
            for (int k = 0; k < 2; ++k) {
                EXPECT_TRUE(sameBits(a->filterStateL[k], b->filterStateL[k]));
                EXPECT_TRUE(sameBits(a->filterStateR[k], b->filterStateR[k]));
            }
            for (const auto member : {&BiquadCoeffs::gain, &BiquadCoeffs::num1, &BiquadCoeffs::num2,
                                      &BiquadCoeffs::rec1, &BiquadCoeffs::rec2})
                EXPECT_TRUE(sameBits(a->coeffs.*member, b->coeffs.*member));
            EXPECT_EQ(a->ramp.count, b->ramp.count);
            ASSERT_EQ(a->line.size(), b->line.size());
            EXPECT_EQ(std::memcmp(a->line.data(), b->line.data(), a->line.size() * sizeof(StereoFrame)), 0);
        }
    }
}

// Without rotation each matrix has a zero half. Reads with one channel a
// signed zero and the other not, and a dry gain of 0 (whose product with a
// negative input is -0), show whether a zero wet sum keeps its sign.
TEST(EngineLoop, ZeroHalfMatricesKeepTheSignsOfZeros) {
    auto a = std::make_unique<DelayEngine>();
    auto b = std::make_unique<DelayEngine>();
    auto scratch = std::make_unique<engine_loop::ChunkData>();
    std::mt19937 rng(13);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    constexpr int32_t kFrames = 512;
    std::vector<float> silence(kFrames, 0.0f), outA(2 * kFrames), outB(2 * kFrames);
    for (int swaps = 0; swaps < 8; ++swaps)
        for (float depth : {0.0f, 0.002f}) {
            *a = DelayEngine{};
            for (StereoFrame& f : a->line) {
                const float zero = rng() & 1 ? -0.0f : 0.0f;
                f = rng() & 1 ? StereoFrame{zero, u(rng)} : StereoFrame{u(rng), zero};
            }
            // 20 ms: every read comes from the history.
            const Setting s{0.02f, depth, 2.0f, 1000.0f, 0.5f, 0.9f, 0.0f, 0.8f, 0.0f,
                            (swaps & 1) != 0, (swaps & 2) != 0, false, (swaps & 4) != 0, 48000.0f};
            configure(*a, s);
            a->lfoShape = &triangle;
            *b = *a;
            uint32_t seedA = 3, seedB = 3;
            const auto io = [&](std::vector<float>& out, double dry) {
                return BlockIo{silence.data(), silence.data(), out.data(), out.data() + kFrames, kFrames, true, dry};
            };
            for (double dry : {0.0, 0.5, 1.0}) {
                referenceBlock(*a, seedA, io(outA, dry));
                processEngineBlock(*b, seedB, io(outB, dry), *scratch);
                for (int i = 0; i < 2 * kFrames; ++i)
                    ASSERT_TRUE(sameBits(outA[i], outB[i])) << "swaps " << swaps << " depth " << depth << " dry " << dry
                                                            << " sample " << i << ": " << outA[i] << " vs " << outB[i];
            }
        }
}

// A moving delay's last chunk smooths the next block's first values ahead of
// time; whatever changes between two blocks (the smoothing coefficient, the
// shape, the phase or the smoothed value, the rate, the block length, or a
// steady block in between) the next block must still match.
TEST(EngineLoop, SmoothingAheadOfTheNextBlockFollowsEveryChange) {
    auto a = std::make_unique<DelayEngine>();
    auto b = std::make_unique<DelayEngine>();
    auto scratch = std::make_unique<engine_loop::ChunkData>();
    const Setting s{0.01f, 0.005f, 3.0f, 900.0f, 0.5f, 0.8f, 0.4f, 0.7f, -0.2f, false, true, false, true, 48000.0f};
    configure(*a, s);
    *b = *a;
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    constexpr int32_t kMost = 512;
    std::vector<float> inL(kMost), inR(kMost), outA(2 * kMost), outB(2 * kMost);
    uint32_t seedA = 5, seedB = 5;
    const auto both = [&](auto change) { change(*a), change(*b); };
    for (int block = 0; block < 40; ++block) {
        switch (block % 10) {
            case 1: both([](DelayEngine& e) { e.lfoCoef = 0.31f; }); break;
            case 2: both([](DelayEngine& e) { e.lfoShape = e.lfoShape == &triangle ? &snowflake3 : &triangle; }); break;
            case 3: both([](DelayEngine& e) { e.lfoPhase += 12345u; }); break;
            case 4: both([](DelayEngine& e) { e.lfoSmoothed = -e.lfoSmoothed; }); break;
            case 5: both([&](DelayEngine& e) { e.setDelay(s.delay, s.depth, 4.5f, s.rateHz); }); break;
            case 6: both([&](DelayEngine& e) { e.setDelay(s.delay, 0.0f, 4.5f, s.rateHz); }); break;  // steady
            case 7: both([&](DelayEngine& e) { e.setDelay(s.delay, s.depth, 4.5f, s.rateHz); }); break;
            default: break;  // unchanged: the values worked out ahead are taken
        }
        const int32_t frames = (block % 7 == 3) ? 300 : (block % 7 == 5) ? 32 : (block % 7 == 6) ? 100 : kMost;
        for (int32_t i = 0; i < frames; ++i) inL[i] = u(rng), inR[i] = u(rng);
        referenceBlock(*a, seedA, BlockIo{inL.data(), inR.data(), outA.data(), outA.data() + kMost, frames, true, 0.5});
        processEngineBlock(*b, seedB, BlockIo{inL.data(), inR.data(), outB.data(), outB.data() + kMost, frames, true, 0.5},
                           *scratch);
        for (int32_t i = 0; i < frames; ++i) {
            ASSERT_TRUE(sameBits(outA[i], outB[i])) << "block " << block << " frame " << i;
            ASSERT_TRUE(sameBits(outA[kMost + i], outB[kMost + i])) << "block " << block << " frame " << i;
        }
        ASSERT_TRUE(sameBits(a->lfoSmoothed, b->lfoSmoothed)) << "block " << block;
        ASSERT_EQ(a->lfoPhase, b->lfoPhase) << "block " << block;
    }
}

// The form CTest asked for is the one under test here.
TEST(EngineLoop, RunsTheFormTheEnvironmentAsksFor) {
    using engine_form::Form;
    const char* asked = std::getenv("BRINDLEWAVE_ENGINE");
    std::printf("engine form: %s\n", engine_form::name(engine_form::chosen()));
    RecordProperty("engine_form", engine_form::name(engine_form::chosen()));
    if (!asked) {
        GTEST_SKIP() << "BRINDLEWAVE_ENGINE not set";
    }
    for (Form f : {Form::Portable, Form::Sse2, Form::Avx2}) {
        if (std::string(asked) == engine_form::name(f) && engine_form::runs(f)) {
            EXPECT_EQ(engine_form::chosen(), f);
        }
    }
}
