// The VST 2 plug-in: the outermost adapter layer, answering the host's
// requests through the effect record and passing them on to the effect core
// (the parameter list for knobs, texts and state; the block loop for audio,
// with the host's sample rate and tempo).
#pragma once

#include <cstdint>

#include "DelayCore.h"
#include "EffectBaseEx.h"

class DelayEffect : public EffectBaseEx {
public:
    explicit DelayEffect(audioMasterCallback audioMaster);

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
    const DelayEngine& engineState() const { return core.engineState(); }

private:
    void processBlock(float** inputs, float** outputs, int32_t frameCount, bool replace);

    DelayCore core;
    ParamList& params;  // the core's
};
