// The effect itself, whichever plug-in format drives it: the 22 parameters in
// their list, the settings refresh, the delay line's length and the block
// loop. An adapter passes in the sample rate and the host's tempo; nothing
// here knows a plug-in interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "ChoiceParam.h"
#include "ChunkData.h"
#include "DelayEngine.h"
#include "Param.h"
#include "ParamList.h"

class DelayCore {
public:
    // The line is sized for `sampleRate` (see setSampleRate).
    explicit DelayCore(float sampleRate);
    ~DelayCore();
    DelayCore(const DelayCore&) = delete;
    DelayCore& operator=(const DelayCore&) = delete;

    // Knob positions, names, displays and the state text, by parameter index.
    ParamList& parameters() { return params; }

    // On the host's thread, never the audio thread: a rate that needs a
    // longer line makes it here (the audio thread takes it over at its next
    // block), and a line the audio thread has let go of is freed.
    void setSampleRate(float rate);
    void releaseOldLine();

    // One block on the audio thread: null inputs are silence, null outputs
    // are skipped; replace writes the outputs, otherwise adds to them.
    // `hostTempo` is the host's tempo when it reports one (a non-finite one
    // is ignored). Allocates nothing, takes no lock.
    void process(float** inputs, float** outputs, int32_t frameCount, bool replace, float sampleRate,
                 std::optional<double> hostTempo);

    // Read-only views for tests of the engine through the object.
    const DelayEngine& engineState() const { return engine; }

private:
    void refreshSettings(float rate, std::optional<double> hostTempo);
    void rebuildFeedbackMatrix();
    void rebuildWetMatrix();
    void takeGrownLine();

    DelayEngine engine;
    uint32_t noiseSeed = 0x2545F491u;
    // Rate the rate-dependent engine values were last computed with (0: none).
    float engineRate = 0.0f;
    // The feedback settings the feedback matrix was last built from; the wet
    // matrix takes them from here so that building it never consumes a
    // feedback change the feedback matrix has not seen.
    double fbRotationUsed = 0.0;
    bool fbSwapLRUsed = false, fbSwapMSUsed = false, fbInvertUsed = false;

    // A longer line handed from the host's thread to the audio thread, and
    // the line it replaced, handed back to be freed off the audio thread.
    // Each slot has one writer that fills it and one reader that empties it.
    using Line = std::vector<StereoFrame>;
    std::atomic<Line*> grownLine{nullptr};
    std::atomic<Line*> retiredLine{nullptr};
    int32_t lineFramesAsked = DelayEngine::kMinLineFrames;  // host's thread only

    ParamList params;
    ContinuousParam tempo;
    IntParam numEchoes;
    IntParam numBeats;
    OnOffParam tempoSync;
    TimeParam delayTime;
    TimeParam delayModDepth;
    FrequencyParam delayModRate;
    ChoiceParam lfoWaveform;
    FrequencyParam lfoCutoff;
    GainParam dryGain;
    GainParam wetGain;
    OnOffParam wetSwapLR;
    OnOffParam wetSwapMS;
    OnOffParam wetInvertPhase;
    AngleParam wetRotation;
    GainParam fbGain;
    FrequencyParam fbCenterFreq;
    LogParam fbQ;
    OnOffParam fbSwapLR;
    OnOffParam fbSwapMS;
    OnOffParam fbInvertPhase;
    AngleParam fbRotation;

    // The block loop's working storage.
    engine_loop::ChunkData chunkScratch;
};
