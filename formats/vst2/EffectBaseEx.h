// Second host-adapter layer: answers the extended opcodes (25..76), the
// identification texts, the capability query and the host time query.
#pragma once

#include "EffectBase.h"

class EffectBaseEx : public EffectBase {
public:
    EffectBaseEx(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams);

    intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                        float opt) override;

    virtual VstTimeInfo* getTimeInfo(int32_t filter);
    virtual bool getEffectName(char* text);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual int32_t canDo(char* text);

    // The remaining extended operations, with the defaults the host sees.
    virtual bool processEvents(void* events);
    virtual bool canParameterBeAutomated(int32_t index);
    virtual bool string2parameter(int32_t index, char* text);
    virtual int32_t getNumCategories();
    virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text);
    virtual bool copyProgram(int32_t destination);
    virtual void inputConnected(int32_t index, bool state);
    virtual void outputConnected(int32_t index, bool state);
    virtual bool getInputProperties(int32_t index, void* properties);
    virtual bool getOutputProperties(int32_t index, void* properties);
    virtual int32_t getPlugCategory();
    virtual bool setBypass(bool onOff);
    virtual bool getErrorText(char* text);
    virtual int32_t getVendorVersion();
    virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
    virtual int32_t getGetTailSize();
    virtual bool getParameterProperties(int32_t index, void* properties);
    virtual bool keysRequired();
    virtual int32_t getVstVersion();
    virtual int32_t getCurrentMidiProgram(int32_t channel, void* midiProgramName);
    virtual bool getSpeakerArrangement(void** input, void** output);
    virtual int32_t setTotalSampleToProcess(int32_t value);
    virtual bool startProcess();
    virtual bool stopProcess();
};
