// The delay line itself: the bound on what the feedback writes back, the
// line's length for a sample rate, and a longer line taking over the history.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "DelayEngine.h"

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(DelayLine, WriteBackIsUnchangedUpToTheKneeAndBentBelowTheCeilingAbove) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    // Up to +6 dBFS: the value itself, rounded to single precision.
    for (double y : {0.0, -0.0, 1e-310, -1e-300, 0.3, -1.0, 1.999999999, 2.0, -2.0})
        EXPECT_TRUE(sameBits(DelayEngine::limitLine(y), static_cast<float>(y))) << y;
    // Above: smaller in magnitude than the value, larger than the knee, below
    // (or, rounded, at) the ceiling, with the value's sign.
    for (double y : {2.001, 2.5, 3.0, 10.0, 1e6, 1e300, inf}) {
        const float up = DelayEngine::limitLine(y), down = DelayEngine::limitLine(-y);
        EXPECT_GT(up, 2.0f) << y;
        EXPECT_LE(up, 4.0f) << y;
        EXPECT_LE(up, y) << y;
        EXPECT_TRUE(sameBits(down, -up)) << y;
    }
    EXPECT_EQ(DelayEngine::limitLine(inf), 4.0f);
    EXPECT_EQ(DelayEngine::limitLine(3.0), static_cast<float>(4.0 - 4.0 / 3.0));
    // A not-a-number is written back as silence, of either sign bit.
    EXPECT_TRUE(sameBits(DelayEngine::limitLine(nan), 0.0f));
    EXPECT_TRUE(sameBits(DelayEngine::limitLine(-nan), 0.0f));
}

TEST(DelayLine, WriteBackCurveIsSmoothAndRising) {
    // No step and no kink at the knee: the slope just above it is 1.
    const double h = 1e-6;
    const double above = (DelayEngine::limitLine(2.0 + h) - 2.0f) / h;
    EXPECT_NEAR(above, 1.0, 0.1);
    // Rising over the whole bend, in steps of a thousandth.
    float last = DelayEngine::limitLine(2.0);
    for (double y = 2.001; y < 50.0; y += 0.001) {
        const float now = DelayEngine::limitLine(y);
        ASSERT_GE(now, last) << y;
        last = now;
    }
}

TEST(DelayLine, LengthHoldsTheLongestDelayAtEveryRate) {
    // Up to about 78.6 kHz the shortest line holds 5 s; above, 5 s and the
    // interpolation's four frames.
    for (float rate : {8000.0f, 44100.0f, 48000.0f, 78642.0f})
        EXPECT_EQ(DelayEngine::framesFor(rate, 4.0f, 1.0f), DelayEngine::kMinLineFrames) << rate;
    EXPECT_EQ(DelayEngine::framesFor(96000.0f, 4.0f, 1.0f), 480004);
    EXPECT_EQ(DelayEngine::framesFor(192000.0f, 4.0f, 1.0f), 960004);
    EXPECT_EQ(DelayEngine::maxDelayFor(960004), 960000.0);
    // Absurd rates get the line of the largest sized rate, bad ones the shortest.
    EXPECT_EQ(DelayEngine::framesFor(1e12f, 4.0f, 1.0f), DelayEngine::framesFor(DelayEngine::kMaxSizedRate, 4.0f, 1.0f));
    for (float rate : {0.0f, -48000.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
        EXPECT_EQ(DelayEngine::framesFor(rate, 4.0f, 1.0f), DelayEngine::kMinLineFrames) << rate;
}

TEST(DelayLine, LongerLineKeepsEveryAgeOfTheHistory) {
    for (int32_t writePos : {0, 1, 1000, DelayEngine::kMinLineFrames - 1}) {
        DelayEngine e;
        const int32_t n = e.lineFrames();
        e.writePos = writePos;
        for (int32_t k = 0; k < n; ++k) e.line[static_cast<size_t>(k)] = {static_cast<float>(k), -static_cast<float>(k)};
        const auto at = [](const DelayEngine& x, int32_t age) { return x.line[static_cast<size_t>(x.wrap(x.writePos + age))]; };
        std::vector<StereoFrame> ages;
        for (int32_t age = -1; age <= n - 2; ++age) ages.push_back(at(e, age));

        std::vector<StereoFrame> longer(static_cast<size_t>(n + 5000));
        e.adoptLine(longer);
        ASSERT_EQ(e.lineFrames(), n + 5000);
        EXPECT_EQ(longer.size(), static_cast<size_t>(n));  // the old line, to be freed elsewhere
        for (int32_t age = -1; age <= n - 2; ++age) {
            const StereoFrame want = ages[static_cast<size_t>(age + 1)], got = at(e, age);
            ASSERT_TRUE(sameBits(got.left, want.left) && sameBits(got.right, want.right))
                << "age " << age << " from write position " << writePos;
        }
        // Older than the old line held: silence.
        for (int32_t age = n - 1; age <= n + 5000 - 2; ++age) {
            ASSERT_EQ(at(e, age).left, 0.0f) << age;
            ASSERT_EQ(at(e, age).right, 0.0f) << age;
        }
        // A shorter or equal line is not taken.
        std::vector<StereoFrame> shorter(100);
        e.adoptLine(shorter);
        EXPECT_EQ(e.lineFrames(), n + 5000);
    }
}
