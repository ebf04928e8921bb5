// The engine's settings refresh, observed on the effect object itself.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "DelayEffect.h"
#include "simpleFilters.h"

namespace {

VstTimeInfo hostTime{};

intptr_t testHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetTime) return reinterpret_cast<intptr_t>(&hostTime);
    return 0;
}

using Matrix = std::array<float, 4>;
Matrix toArray(const float* m) { return {m[0], m[1], m[2], m[3]}; }

class Refresh : public ::testing::Test {
protected:
    void SetUp() override {
        hostTime = {};
        effect = std::make_unique<DelayEffect>(&testHost);
        block();
    }
    // A zero-length block runs the settings refresh only.
    void block() { effect->processReplacing(nullptr, nullptr, 0); }
    Matrix wet() const { return toArray(effect->engineState().wetMatrix); }
    Matrix fb() const { return toArray(effect->engineState().fbMatrix); }

    std::unique_ptr<DelayEffect> effect;
};

enum Index { kTempoSync = 3, kDelay = 4, kLfoShape = 7, kWetGain = 10, kWetSwapLR = 11,
             kWetInvert = 13, kWetRotation = 14, kFbGain = 15, kFbSwapLR = 18, kFbRotation = 21 };

}  // namespace

TEST_F(Refresh, FirstBlockAppliesEverySetting) {
    const DelayEngine& e = effect->engineState();
    EXPECT_EQ(fb(), (Matrix{0.0f, 0.5f, -0.5f, 0.0f}));
    EXPECT_EQ(wet(), (Matrix{0.0f, 0.25f, -0.25f, 0.0f}));
    EXPECT_EQ(e.baseDelay, 22050.0);
    EXPECT_EQ(e.modDepth, 0.0);
    EXPECT_EQ(e.lfoCoef, static_cast<float>(onePoleCoefficient(44100.0f, 22000.0f)));
    EXPECT_EQ(e.lfoShape, &trueSine);
}

TEST_F(Refresh, OnlyWetInvertRebuildsTheWetMatrix) {
    effect->setParameter(kWetInvert, 1.0f);
    block();
    EXPECT_EQ(wet(), (Matrix{0.0f, -0.25f, 0.25f, 0.0f}));
    EXPECT_EQ(fb(), (Matrix{0.0f, 0.5f, -0.5f, 0.0f}));
}

TEST_F(Refresh, OnlyFeedbackGainRebuildsTheFeedbackMatrix) {
    effect->setParameter(kFbGain, 0.5f);  // 0.25 linear
    block();
    EXPECT_EQ(fb(), (Matrix{0.0f, 0.25f, -0.25f, 0.0f}));
    EXPECT_EQ(wet(), (Matrix{0.0f, 0.25f, -0.25f, 0.0f}));
}

TEST_F(Refresh, FeedbackRotationTurnsBothMatricesAndAddsToTheWetAngle) {
    effect->setParameter(kFbRotation, 0.75f);   // 45 degrees
    effect->setParameter(kWetRotation, 0.75f);  // 45 more in the wet path
    effect->setParameter(kWetGain, 1.0f);
    block();
    const float c45 = static_cast<float>(std::cos(static_cast<float>(45.0 * 0.01745329238474369f)));
    const float s45 = static_cast<float>(std::sin(static_cast<float>(45.0 * 0.01745329238474369f)));
    const Matrix f = fb();
    EXPECT_FLOAT_EQ(f[0], s45 * 0.5f);
    EXPECT_FLOAT_EQ(f[1], c45 * 0.5f);
    EXPECT_FLOAT_EQ(f[2], -c45 * 0.5f);
    const Matrix w = wet();  // 90 degrees: cos ~ 0, sin 1
    EXPECT_NEAR(w[0], 1.0f, 1e-6);
    EXPECT_NEAR(w[1], 0.0f, 1e-6);
    EXPECT_NEAR(w[2], 0.0f, 1e-6);
    EXPECT_NEAR(w[3], 1.0f, 1e-6);
}

TEST_F(Refresh, SwapsOnBothPathsCancelInTheWetMatrixOnly) {
    effect->setParameter(kWetSwapLR, 1.0f);
    block();
    EXPECT_EQ(wet(), (Matrix{0.25f, 0.0f, 0.0f, -0.25f}));  // swap MS only
    EXPECT_EQ(fb(), (Matrix{0.0f, 0.5f, -0.5f, 0.0f}));
    effect->setParameter(kFbSwapLR, 0.0f);  // now only the wet path swaps
    block();
    EXPECT_EQ(fb(), (Matrix{0.5f, 0.0f, 0.0f, -0.5f}));
    EXPECT_EQ(wet(), (Matrix{0.0f, 0.25f, -0.25f, 0.0f}));
}

TEST_F(Refresh, ShapeDelayAndRateChangesAreTakenAtTheNextBlock) {
    effect->setParameter(kLfoShape, 0.5f);
    effect->setParameter(kDelay, 0.0f);
    const DelayEngine& e = effect->engineState();
    EXPECT_EQ(e.lfoShape, &trueSine);
    block();
    EXPECT_EQ(e.lfoShape, &square);
    EXPECT_EQ(e.baseDelay, 0.0);

    // A new rate alone recomputes the delay and the smoothing. (The LFO rate
    // and the feedback filter are checked by what the plug-in plays.)
    effect->setParameter(kDelay, 0.594604f);
    block();
    effect->dispatcher(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    block();
    EXPECT_NEAR(e.baseDelay, 24000.0, 1.0);
    EXPECT_EQ(e.lfoCoef, static_cast<float>(onePoleCoefficient(48000.0f, 22000.0f)));
}

TEST_F(Refresh, TempoSyncSwitchRecomputesTheDelay) {
    effect->setParameter(kTempoSync, 1.0f);
    block();
    EXPECT_EQ(effect->engineState().baseDelay, 22050.0);  // 4 beats / 4 echoes at 120 bpm
    hostTime.flags = kVstTempoValid;
    hostTime.tempo = 60.0;
    block();
    EXPECT_EQ(effect->engineState().baseDelay, 44100.0);
}
