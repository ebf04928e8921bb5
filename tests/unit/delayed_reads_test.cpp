// The read-ahead loop's forms against each other where a moving delay's taps
// run past the line's end: the AVX2 form decides per chunk whether any frame
// does, so each position of the one run of straddling frames in a chunk,
// down to the chunk's last frame, is tried with every output mode.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "DelayedReads.h"
#include "EngineForm.h"

namespace {

bool sameBytes(const void* a, const void* b, size_t size) { return std::memcmp(a, b, size) == 0; }

struct ChunkRun {
    std::unique_ptr<DelayEngine> engine = std::make_unique<DelayEngine>();
    std::vector<double> wetSums, feed, values, smoothed;
    std::vector<float> outL, outR;
    FilterCarry carry{};
};

}  // namespace

TEST(DelayedReads, MovingFormsAgreeWhereTapsRunPastTheLineEnd) {
    if (!engine_form::runs(engine_form::Form::Avx2)) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  // The shortest line, and a longer one as a high sample rate gets it.
  for (const int32_t N : {DelayEngine::kMinLineFrames, DelayEngine::kMinLineFrames + 4099}) {
    auto start = std::make_unique<DelayEngine>();
    std::vector<StereoFrame> longer(static_cast<size_t>(N));
    start->adoptLine(longer);
    ASSERT_EQ(start->lineFrames(), N);
    for (StereoFrame& f : start->line) f = {u(rng), u(rng)};
    start->setFeedbackFilter(900.0f, 0.4f, 48000.0f);
    start->ramp.count = 0;
    DelayEngine::buildMatrix(start->fbMatrix, 0.8f, 0.3f, false, true, false);
    DelayEngine::buildMatrix(start->wetMatrix, 0.7f, 0.5f, true, false, false);

    constexpr double kDelay = 20.25;  // every frame the same age, a quarter frame further
    for (int32_t count : {1, 2, 3, 5, 8, 9, 13, 127, 128}) {
        std::vector<StereoFrame> inputs(static_cast<size_t>(count));
        for (StereoFrame& f : inputs) f = {u(rng), u(rng)};
        for (int32_t k : {0, count / 2, count - 1}) {
            // Frame k's oldest tap is the line's last frame (frames k + 1 and
            // k + 2 straddle too, where the chunk has them); no other does.
            const int32_t T = static_cast<int32_t>(kDelay);
            const int32_t writePos = DelayEngine::wrapIn(N - 1 - T + 2 + k, N);
            std::vector<double> delays(static_cast<size_t>(count), 0.0);
            TapRun taps;
            tapsFromSmoothed(delays.data(), count, 0.0, kDelay, writePos, N, taps);
            ASSERT_EQ(taps.first[k], N - 1);
            for (int mode = 0; mode < 3; ++mode) {  // wet sums only, replace, add
                ChunkRun runs[2];
                for (ChunkRun& r : runs) {
                    *r.engine = *start;
                    r.wetSums.assign(2 * static_cast<size_t>(count), 0.0);
                    r.feed.assign(2 * static_cast<size_t>(count), 0.0);
                    r.values.assign(static_cast<size_t>(count), 0.5);
                    r.smoothed.assign(static_cast<size_t>(count), 0.0);
                    r.outL.assign(static_cast<size_t>(count), 0.125f);
                    r.outR.assign(static_cast<size_t>(count), -0.25f);
                    r.carry = {_mm_set_pd(0.01, -0.02), _mm_set_pd(0.03, 0.04), 0.1, writePos};
                }
                const auto run = [&](ChunkRun& r, auto form) {
                    const bool outputs = mode > 0;
                    const DelayedReads chunk{r.engine->line.data(), N, count, inputs.data(), matrixLanes(*r.engine),
                                             r.wetSums.data(), r.feed.data(),
                                             outputs ? r.outL.data() : nullptr, outputs ? r.outR.data() : nullptr,
                                             mode != 2, 0.75};
                    form(*r.engine, r.carry, chunk, taps,
                         Smoothing{r.values.data(), count, r.smoothed.data(), 0.3});
                };
                run(runs[0], delayed_reads::movingBaseline);
                run(runs[1], delayed_reads::movingAvx2);
                const ChunkRun &a = runs[0], &b = runs[1];
                const auto where = [&] { return ::testing::Message() << count << " frames, straddling from " << k << ", mode " << mode; };
                ASSERT_TRUE(sameBytes(a.engine->line.data(), b.engine->line.data(), N * sizeof(StereoFrame)))
                    << where();
                ASSERT_TRUE(sameBytes(a.outL.data(), b.outL.data(), a.outL.size() * sizeof(float))) << where();
                ASSERT_TRUE(sameBytes(a.outR.data(), b.outR.data(), a.outR.size() * sizeof(float))) << where();
                if (mode == 0) {
                    ASSERT_TRUE(sameBytes(a.wetSums.data(), b.wetSums.data(), a.wetSums.size() * sizeof(double)))
                        << where();
                }
                ASSERT_TRUE(sameBytes(a.smoothed.data(), b.smoothed.data(), a.smoothed.size() * sizeof(double)))
                    << where();
                double stateA[4], stateB[4];
                _mm_storeu_pd(stateA, a.carry.w1), _mm_storeu_pd(stateA + 2, a.carry.w2);
                _mm_storeu_pd(stateB, b.carry.w1), _mm_storeu_pd(stateB + 2, b.carry.w2);
                ASSERT_TRUE(sameBytes(stateA, stateB, sizeof stateA)) << where();
                ASSERT_TRUE(sameBytes(&a.carry.smoothed, &b.carry.smoothed, sizeof(double))) << where();
                ASSERT_EQ(a.carry.writePos, b.carry.writePos) << where();
            }
        }
    }
  }
}
