// The vector forms of the per-frame smoothing and taps against the scalar
// recursion and tap of the block loop, bit for bit, including the edges:
// folding at zero, the line's limit, delays a whisker either side of a whole
// frame, and counts with a remainder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "DelayTaps.h"
#include "EngineForm.h"

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void tapFromSmoothedChosen(const double* smoothed, int32_t count, double depth, double base,
                           int32_t writePos, int32_t lineFrames, TapRun& taps) {
    tapsFromSmoothed(smoothed, count, depth, base, writePos, lineFrames, taps);
}

// Where frame j's oldest tap lies when the frame before the run wrote writePos.
int32_t oldestTap(int32_t writePos, int32_t j, int32_t T, int32_t n) {
    return DelayEngine::wrapIn(DelayEngine::wrapIn(writePos - 1 - j, n) + T - 1, n);
}

// Write positions that pass the line's start within a run, and one that does not.
constexpr int32_t kWritePositions[] = {0, 3, 200000};

// The shortest line, and the line for 192 kHz.
const int32_t kLines[] = {DelayEngine::kMinLineFrames, DelayEngine::framesFor(192000.0f, 4.0f, 1.0f)};

void expectMatches(const std::vector<double>& values, double coef, double depth, double base) {
  for (const int32_t n : kLines) {
    const double maxDelay = DelayEngine::maxDelayFor(n);
    using Form = double (*)(const double*, int32_t, double, double, double, double, int32_t, int32_t, TapRun&);
    std::vector<Form> forms = {&delay_taps::computeBaseline, &computeTaps};
    if (engine_form::runs(engine_form::Form::Avx2)) forms.push_back(&delay_taps::computeAvx2);
    for (Form form : forms) {
        double smoothed = 0.25, reference = 0.25;
        for (size_t start = 0; start < values.size(); start += TapRun::kMaxFrames) {
            const int32_t count =
                static_cast<int32_t>(std::min<size_t>(TapRun::kMaxFrames, values.size() - start));
            TapRun taps;
            const int32_t writePos = kWritePositions[(start / TapRun::kMaxFrames) % 3];
            smoothed = form(values.data() + start, count, coef, smoothed, depth, base, writePos, n, taps);
            int32_t youngest = std::numeric_limits<int32_t>::max();
            for (int32_t j = 0; j < count; ++j) {
                reference += (values[start + j] - reference) * coef;
                const Tap want = tapFor(std::fabs(reference * depth + base), maxDelay);
                youngest = std::min(youngest, want.T);
                ASSERT_EQ(taps.ages[j], want.T) << reference;
                ASSERT_EQ(taps.first[j], oldestTap(writePos, j, want.T, n)) << reference;
                for (int k = 0; k < 4; ++k)
                    ASSERT_TRUE(sameBits(taps.weights[k][j], want.w[k])) << "weight " << k << " at " << reference;
            }
            ASSERT_EQ(taps.youngest, youngest);
            ASSERT_TRUE(sameBits(smoothed, reference));
        }
    }
    // The taps alone, from smoothed values given.
    using TapsForm = void (*)(const double*, int32_t, double, double, int32_t, int32_t, TapRun&);
    std::vector<TapsForm> tapsForms = {&delay_taps::tapsBaseline, &tapFromSmoothedChosen};
    if (engine_form::runs(engine_form::Form::Avx2)) tapsForms.push_back(&delay_taps::tapsAvx2);
    for (TapsForm form : tapsForms) {
        for (size_t start = 0; start < values.size(); start += TapRun::kMaxFrames) {
            const int32_t count =
                static_cast<int32_t>(std::min<size_t>(TapRun::kMaxFrames, values.size() - start));
            TapRun taps;
            const int32_t writePos = kWritePositions[(start / TapRun::kMaxFrames) % 3];
            form(values.data() + start, count, depth, base, writePos, n, taps);
            int32_t youngest = std::numeric_limits<int32_t>::max();
            for (int32_t j = 0; j < count; ++j) {
                const Tap want = tapFor(std::fabs(values[start + j] * depth + base), maxDelay);
                youngest = std::min(youngest, want.T);
                ASSERT_EQ(taps.ages[j], want.T) << values[start + j];
                ASSERT_EQ(taps.first[j], oldestTap(writePos, j, want.T, n)) << values[start + j];
                for (int k = 0; k < 4; ++k) ASSERT_TRUE(sameBits(taps.weights[k][j], want.w[k])) << k;
            }
            ASSERT_EQ(taps.youngest, youngest);
        }
    }
  }
}

}  // namespace

TEST(DelayTaps, VectorFormsMatchTheScalarRecursionAndTap) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> lfo(-1.0, 1.0);
    std::vector<double> values(1000 + 37);
    for (double& v : values) v = lfo(rng);
    expectMatches(values, 0.3, 240.0, 24000.0);     // 5 ms at 48 kHz around 0.5 s
    expectMatches(values, 1.0, 48000.0, 1000.0);    // deeper than the delay: folds at zero
    expectMatches(values, 0.9, 48000.0, 393200.0);  // against the shortest line's limit
    expectMatches(values, 0.9, 192000.0, 768000.0); // against the 192 kHz line's limit
    expectMatches(values, 0.5, 0.0, 1234.0);        // whole frames, frac 0
    expectMatches(values, 0.5, 1e-12, 1234.0);      // a whisker past a whole frame
    // Runs of one group and a few, whole and padded: the groups' work overlaps.
    for (size_t n : {1, 3, 4, 5, 8, 9, 12})
        expectMatches(std::vector<double>(values.begin(), values.begin() + static_cast<ptrdiff_t>(n)), 0.3, 240.0,
                      24000.0);
    expectMatches({-0.0, 0.0, 1.0, -1.0, 1e-300, std::numeric_limits<double>::quiet_NaN(), 0.5}, 1.0,
                  100.0, 0.0);
}
