// The effect: the outermost adapter layer, holding the engine, the parameter
// list and the 22 parameters, and answering the host's requests.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "ChoiceParam.h"
#include "ChunkData.h"
#include "DelayEngine.h"
#include "EffectBaseEx.h"
#include "Param.h"
#include "ParamList.h"

class DelayEffect : public EffectBaseEx {
public:
    explicit DelayEffect(audioMasterCallback audioMaster);
    ~DelayEffect() override;

    void process(float** inputs, float** outputs, int32_t sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;

    void setParameter(int32_t index, float value) override;
    float getParameter(int32_t index) override;
    void getParameterName(int32_t index, char* text) override;
    void getParameterLabel(int32_t index, char* text) override;
    void getParameterDisplay(int32_t index, char* text) override;
    int32_t getChunk(void** data, bool isPreset) override;
    int32_t setChunk(void* data, int32_t byteSize, bool isPreset) override;

    bool getEffectName(char* text) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    int32_t canDo(char* text) override;
    void setSampleRate(float newRate) override;
    void suspend() override;
    void resume() override;

    // Read-only views for tests of the engine through the object.
    const DelayEngine& engineState() const { return engine; }

private:
    void processBlock(float** inputs, float** outputs, int32_t frameCount, bool replace);
    void refreshSettings(float rate);
    void rebuildFeedbackMatrix();
    void rebuildWetMatrix();
    // The line for the current rate (see setSampleRate): a longer one made
    // on the host's thread is taken over by the audio thread.
    void growLineFor(float rate);
    void takeGrownLine();
    void freeRetiredLine();

    DelayEngine engine;
    // A longer line handed from the host's thread to the audio thread, and
    // the line it replaced, handed back to be freed off the audio thread.
    // Each slot has one writer that fills it and one reader that empties it.
    using Line = std::vector<StereoFrame>;
    std::atomic<Line*> grownLine{nullptr};
    std::atomic<Line*> retiredLine{nullptr};
    int32_t lineFramesAsked = DelayEngine::kMinLineFrames;  // host's thread only
    uint32_t noiseSeed = 0x2545F491u;
    // Rate the rate-dependent engine values were last computed with (0: none).
    float engineRate = 0.0f;
    // The feedback settings the feedback matrix was last built from; the wet
    // matrix takes them from here so that building it never consumes a
    // feedback change the feedback matrix has not seen.
    double fbRotationUsed = 0.0;
    bool fbSwapLRUsed = false, fbSwapMSUsed = false, fbInvertUsed = false;

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
