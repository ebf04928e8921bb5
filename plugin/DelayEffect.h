// The effect: the outermost adapter layer, its parameters and its engine.
#pragma once

#include "EffectBaseEx.h"

class DelayEffect : public EffectBaseEx {
public:
    explicit DelayEffect(audioMasterCallback audioMaster);

    void process(float** inputs, float** outputs, int32_t sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;

    bool getEffectName(char* text) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    int32_t canDo(char* text) override;
};
