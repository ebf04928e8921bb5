#include "DelayCore.h"

#include <cmath>
#include <new>

#include "Display.h"
#include "EngineBlock.h"
#include "Mapping.h"
#include "simpleFilters.h"

namespace {

constexpr float kDegreesToRadians = 0.01745329238474369f;
constexpr double kOneSixtieth = 1.0 / 60.0;

}  // namespace

DelayCore::DelayCore(float sampleRate)
    : tempo(&params, "tempo", "Tempo", "bpm", 120.0, 20.0, 1000.0, &logMapping(), &plainDisplay(),
            PlainUnit::Bpm),
      numEchoes(&params, "numEchoes", "Ts echoes", "", 4, 1, 16),
      numBeats(&params, "numBeats", "Ts beats", "", 4, 1, 16),
      tempoSync(&params, "tempoSync", "Tempo sync", false),
      delayTime(&params, "delayTime", "Delay", 0.5, 0.0, 4.0),
      delayModDepth(&params, "delayModDepth", "Mod depth", 0.0, 0.0, 1.0),
      delayModRate(&params, "delayModRate", "Mod rate", 1.0, kOneSixtieth, 20.0),
      lfoWaveform(&params, "lfoWaveform", "Lfo shape", ""),
      lfoCutoff(&params, "lfoCutoff", "Lfo cutoff", 22000.0, kOneSixtieth, 22000.0),
      dryGain(&params, "dryGain", "Dry gain", 1.0, 0.0, 1.0),
      wetGain(&params, "wetGain", "Wet gain", 0.25, 0.0, 1.0),
      wetSwapLR(&params, "wetSwapLR", "Wet swap LR", false),
      wetSwapMS(&params, "wetSwapMS", "Wet swap MS", false),
      wetInvertPhase(&params, "wetInvertPhase", "Wet invert phase", false),
      wetRotation(&params, "wetRotation", "Wet rotation", 0.0, -90.0, 90.0),
      fbGain(&params, "fbGain", "Feedback gain", 0.5, 0.0, 1.0),
      fbCenterFreq(&params, "fbCenterFreq", "Feedback center freq", 1500.0, 20.0, 20000.0),
      fbQ(&params, "fbQ", "Feedback Q", 0.125, 0.001953125, 2.0),
      fbSwapLR(&params, "fbSwapLR", "Feedback swap LR", true),
      fbSwapMS(&params, "fbSwapMS", "Feedback swap MS", true),
      fbInvertPhase(&params, "fbInvertPhase", "Feedback invert phase", false),
      fbRotation(&params, "fbRotation", "Feedback rotation", 0.0, -90.0, 90.0) {
    // The shape function itself is each entry's identifier.
    for (const LfoShapeInfo& entry : lfoShapeTable)
        lfoWaveform.addChoice(reinterpret_cast<ChoiceId>(entry.shape), entry.valueText,
                              entry.displayText);

    setSampleRate(sampleRate);
    takeGrownLine();
}

DelayCore::~DelayCore() {
    delete grownLine.exchange(nullptr);
    delete retiredLine.exchange(nullptr);
}

// ---- the delay line's length ----

void DelayCore::setSampleRate(float rate) {
    releaseOldLine();
    const int32_t frames = DelayEngine::framesFor(rate, static_cast<float>(delayTime.getMaxValue()),
                                                  static_cast<float>(delayModDepth.getMaxValue()));
    if (frames <= lineFramesAsked) return;  // a line never shrinks
    Line* line = nullptr;
    try {
        line = new Line(static_cast<size_t>(frames));
    } catch (const std::bad_alloc&) {
        return;  // the line keeps its length; the longest delays stay cut short
    }
    lineFramesAsked = frames;
    // A longer line not yet taken over is no longer needed.
    delete grownLine.exchange(line, std::memory_order_acq_rel);
}

void DelayCore::takeGrownLine() {
    // Only while the slot for the old line is empty, so that no old line is
    // ever dropped; the host's thread empties it on its next call.
    if (retiredLine.load(std::memory_order_acquire) != nullptr) return;
    Line* line = grownLine.exchange(nullptr, std::memory_order_acq_rel);
    if (!line) return;
    engine.adoptLine(*line);  // `line` now holds the old line
    retiredLine.store(line, std::memory_order_release);
}

void DelayCore::releaseOldLine() { delete retiredLine.exchange(nullptr, std::memory_order_acq_rel); }

// ---- audio ----

void DelayCore::rebuildFeedbackMatrix() {
    fbRotationUsed = fbRotation.getValue();
    fbSwapLRUsed = fbSwapLR.getValue();
    fbSwapMSUsed = fbSwapMS.getValue();
    fbInvertUsed = fbInvertPhase.getValue();
    const float angle = static_cast<float>(fbRotationUsed * kDegreesToRadians);
    DelayEngine::buildMatrix(engine.fbMatrix, static_cast<float>(fbGain.getValue()), angle,
                             fbSwapLRUsed, fbSwapMSUsed, fbInvertUsed);
}

void DelayCore::rebuildWetMatrix() {
    const float angle =
        static_cast<float>((fbRotationUsed + wetRotation.getValue()) * kDegreesToRadians);
    DelayEngine::buildMatrix(engine.wetMatrix, static_cast<float>(wetGain.getValue()), angle,
                             wetSwapLR.getValue() != fbSwapLRUsed,
                             wetSwapMS.getValue() != fbSwapMSUsed,
                             wetInvertPhase.getValue() != fbInvertUsed);
}

void DelayCore::refreshSettings(float rate, std::optional<double> hostTempo) {
    // 1. Host tempo, whatever tempoSync says. A non-finite tempo is ignored.
    if (hostTempo && std::isfinite(*hostTempo)) tempo.setValue(*hostTempo, true);

    // Every rate-dependent value is recomputed when the rate differs from
    // the one it was computed with.
    const bool rateChanged = rate != engineRate;
    engineRate = rate;

    // 2. Delay and LFO rate.
    const bool syncChanged = tempoSync.isChanged();
    const bool sync = tempoSync.getValue();
    if (sync) {
        if (numEchoes.isChanged() || numBeats.isChanged() || delayModRate.isChanged() ||
            delayModDepth.isChanged() || tempo.isChanged() || syncChanged || rateChanged) {
            const double echoes = numEchoes.getValue();
            const double beats = numBeats.getValue();
            const double delaySeconds = beats / tempo.getValue() * 60.0 / echoes;
            engine.setDelay(static_cast<float>(delaySeconds),
                            static_cast<float>(delayModDepth.getValue()),
                            static_cast<float>(delayModRate.getValue()), rate);
        }
    } else if (delayTime.isChanged() || delayModRate.isChanged() || delayModDepth.isChanged() ||
               syncChanged || rateChanged) {
        engine.setDelay(static_cast<float>(delayTime.getValue()),
                        static_cast<float>(delayModDepth.getValue()),
                        static_cast<float>(delayModRate.getValue()), rate);
    }

    // 3. Feedback filter.
    if (fbCenterFreq.isChanged() || fbQ.isChanged() || rateChanged)
        engine.setFeedbackFilter(static_cast<float>(fbCenterFreq.getValue()),
                                 static_cast<float>(fbQ.getValue()), rate);

    // 4 and 5. The matrices; the wet one carries the feedback options.
    if (fbSwapLR.isChanged() || fbSwapMS.isChanged() || fbInvertPhase.isChanged() ||
        fbRotation.isChanged()) {
        rebuildFeedbackMatrix();
        rebuildWetMatrix();
    } else {
        if (fbGain.isChanged()) rebuildFeedbackMatrix();
        if (wetGain.isChanged() || wetRotation.isChanged() || wetSwapLR.isChanged() ||
            wetSwapMS.isChanged() || wetInvertPhase.isChanged())
            rebuildWetMatrix();
    }

    // 6. LFO shape; phase and smoothed value carry on.
    if (lfoWaveform.isChanged()) {
        const ChoiceId id = lfoWaveform.getValue();
        if (id) engine.lfoShape = reinterpret_cast<LfoShape>(id);
    }

    // 7. LFO smoothing. A coefficient that is not a number (possible only at
    // absurd sample rates) would poison the smoothed value; pass through then.
    if (lfoCutoff.isChanged() || rateChanged) {
        float coef = static_cast<float>(
            onePoleCoefficient(rate, static_cast<float>(lfoCutoff.getValue())));
        if (!std::isfinite(coef)) coef = 1.0f;
        engine.lfoCoef = coef;
    }
}

void DelayCore::process(float** inputs, float** outputs, int32_t frameCount, bool replace, float sampleRate,
                        std::optional<double> hostTempo) {
    takeGrownLine();
    refreshSettings(sampleRate, hostTempo);
    if (frameCount <= 0) return;

    const BlockIo io{inputs ? inputs[0] : nullptr,  inputs ? inputs[1] : nullptr,
                     outputs ? outputs[0] : nullptr, outputs ? outputs[1] : nullptr,
                     frameCount, replace, dryGain.getValue()};

    processEngineBlock(engine, noiseSeed, io, chunkScratch);
}
