// The vector forms of the block loop's input and output passes against the
// arithmetic written out frame by frame: noise, non-finite inputs, null
// channels, replacing and adding, and chunk lengths with a remainder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <vector>

#include "ChunkIo.h"
#include "EngineForm.h"

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Forms {
    using Prepare = uint32_t (*)(const BlockIo&, int32_t, int32_t, uint32_t, StereoFrame*);
    using Write = void (*)(const BlockIo&, int32_t, int32_t, const StereoFrame*, const double*);
    std::vector<Prepare> prepare{&chunk_io::prepareBaseline, &prepareInputs};
    std::vector<Write> write{&chunk_io::writeBaseline, &writeOutputs};
    Forms() {
        if (engine_form::runs(engine_form::Form::Avx2)) prepare.push_back(&chunk_io::prepareAvx2), write.push_back(&chunk_io::writeAvx2);
    }
};

float sample(std::mt19937& rng) {
    const float special[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), -0.0f, 0.0f, 1e-40f, 3e38f};
    return rng() % 9 == 0 ? special[rng() % 7] : std::uniform_real_distribution<float>(-1, 1)(rng);
}

// A form's inputs for frames start..start+count-1 against the arithmetic
// frame by frame, and the seed it leaves.
void expectFrameByFrame(Forms::Prepare prepare, const BlockIo& io, int32_t start, int32_t count, uint32_t seed) {
    StereoFrame got[128];
    const uint32_t after = prepare(io, start, count, seed, got);
    for (int32_t j = 0; j < count; ++j) {
        const double noise = static_cast<double>(static_cast<int32_t>(seed)) * 4.656612889969227e-25f;
        seed = seed * kNoiseA + kNoiseC;
        float l = io.inL ? io.inL[start + j] : 0.0f, r = io.inR ? io.inR[start + j] : 0.0f;
        if (!std::isfinite(l)) l = 0.0f;
        if (!std::isfinite(r)) r = 0.0f;
        ASSERT_TRUE(sameBits(got[j].left, static_cast<float>(l + noise))) << "frame " << j << " of " << count;
        ASSERT_TRUE(sameBits(got[j].right, static_cast<float>(r + noise))) << "frame " << j << " of " << count;
    }
    EXPECT_EQ(after, seed) << count;
}

// check() with each of `values` in turn at each of the frames `at` from
// `start`, in each channel, the sample there put back after.
template <typename Values, typename Check>
void withEachSample(std::vector<float>& inL, std::vector<float>& inR, int32_t start, const Values& values,
                    std::initializer_list<int32_t> at, Check check) {
    for (float value : values)
        for (int32_t frame : at)
            for (auto* channel : {&inL, &inR}) {
                const float kept = (*channel)[start + frame];
                (*channel)[start + frame] = value;
                check();
                (*channel)[start + frame] = kept;
            }
}

}  // namespace

TEST(ChunkIo, InputsMatchTheFrameByFrameArithmetic) {
    std::mt19937 rng(4);
    std::vector<float> inL(200), inR(200);
    for (size_t i = 0; i < inL.size(); ++i) inL[i] = sample(rng), inR[i] = sample(rng);
    for (auto prepare : Forms().prepare)
        for (int nulls = 0; nulls < 3; ++nulls)
            for (int32_t count : {0, 1, 3, 4, 7, 8, 9, 12, 15, 63, 64, 128}) {
                const BlockIo io{nulls == 1 ? nullptr : inL.data(), nulls == 2 ? nullptr : inR.data(),
                                 nullptr, nullptr, 200, true, 1.0};
                expectFrameByFrame(prepare, io, 17, count, 12345u + static_cast<uint32_t>(count));
            }
}

// Chunks whose samples are all well above the noise, where the noise leaves
// every sample as it is, and such chunks with one sample at the edge of that
// range or past it, in the vector part and in the remainder.
TEST(ChunkIo, LoudChunksAndTheirEdges) {
    std::mt19937 rng(8);
    std::vector<float> inL(200), inR(200);
    for (size_t i = 0; i < inL.size(); ++i) {
        const float magnitude = std::ldexp(std::uniform_real_distribution<float>(1, 2)(rng), -static_cast<int>(rng() % 20));
        inL[i] = rng() & 1 ? magnitude : -magnitude;
        inR[i] = -inL[i] * 0.75f;
    }
    const float edges[] = {0x1p-20f,  -0x1p-20f, std::nextafter(0x1p-20f, 0.0f), 0x1p-21f, 1e-8f, -3e-10f, 0.0f, -0.0f, 1e-40f,
                           3.4e38f,   std::numeric_limits<float>::infinity(),     std::numeric_limits<float>::quiet_NaN()};
    for (auto prepare : Forms().prepare)
        for (int32_t count : {1, 7, 8, 13, 64, 128}) {
            const BlockIo io{inL.data(), inR.data(), nullptr, nullptr, 200, true, 1.0};
            expectFrameByFrame(prepare, io, 5, count, 0x9E3779B9u * static_cast<uint32_t>(count));
            withEachSample(inL, inR, 5, edges, {0, count / 2, count - 1},
                           [&] { expectFrameByFrame(prepare, io, 5, count, 77u); });
        }
}

// Chunks of zeros of both signs, where both channels get the noise alone,
// and such chunks with one sample that is not a zero.
TEST(ChunkIo, SilentChunksAndTheirEdges) {
    std::mt19937 rng(9);
    std::vector<float> inL(200), inR(200);
    for (size_t i = 0; i < inL.size(); ++i) inL[i] = rng() & 1 ? -0.0f : 0.0f, inR[i] = rng() & 1 ? -0.0f : 0.0f;
    for (auto prepare : Forms().prepare)
        for (int32_t count : {1, 7, 8, 13, 64, 128}) {
            const BlockIo io{inL.data(), inR.data(), nullptr, nullptr, 200, true, 1.0};
            expectFrameByFrame(prepare, io, 3, count, 0u);  // the seed 0 gives a noise of +0
            const float others[] = {1e-40f, -0.5f, std::numeric_limits<float>::quiet_NaN()};
            withEachSample(inL, inR, 3, others, {0, count - 1},
                           [&] { expectFrameByFrame(prepare, io, 3, count, 1234567u); });
        }
}

TEST(ChunkIo, OutputsMatchTheFrameByFrameArithmetic) {
    std::mt19937 rng(6);
    StereoFrame inputs[64];
    double wet[128];
    for (auto& f : inputs) f = {sample(rng) * 0.5f, sample(rng) * 0.5f};
    for (double& w : wet) w = std::uniform_real_distribution<double>(-2, 2)(rng);
    for (auto write : Forms().write)
        for (bool replace : {true, false})
            for (int nulls = 0; nulls < 3; ++nulls)
                for (int32_t count : {1, 2, 5, 63, 64}) {
                    std::vector<float> outL(80, 0.5f), outR(80, -0.25f), wantL = outL, wantR = outR;
                    const BlockIo io{nullptr, nullptr, nulls == 1 ? nullptr : outL.data(),
                                     nulls == 2 ? nullptr : outR.data(), 80, replace, 0.7};
                    write(io, 9, count, inputs, wet);
                    for (int32_t j = 0; j < count; ++j) {
                        const double yL = 0.7 * inputs[j].left + static_cast<float>(wet[2 * j]);
                        const double yR = 0.7 * inputs[j].right + static_cast<float>(wet[2 * j + 1]);
                        if (io.outL) wantL[9 + j] = static_cast<float>(replace ? yL : wantL[9 + j] + yL);
                        if (io.outR) wantR[9 + j] = static_cast<float>(replace ? yR : wantR[9 + j] + yR);
                    }
                    for (size_t i = 0; i < outL.size(); ++i) {
                        ASSERT_TRUE(sameBits(outL[i], wantL[i])) << i;
                        ASSERT_TRUE(sameBits(outR[i], wantR[i])) << i;
                    }
                }
}
