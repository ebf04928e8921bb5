#include "EffectBaseEx.h"

EffectBaseEx::EffectBaseEx(audioMasterCallback master, int32_t programs, int32_t params)
    : EffectBase(master, programs, params) {}

VstTimeInfo* EffectBaseEx::getTimeInfo(int32_t filter) {
    if (!audioMaster) return nullptr;
    return reinterpret_cast<VstTimeInfo*>(
        audioMaster(&cEffect, audioMasterGetTime, 0, filter, nullptr, 0.0f));
}

bool EffectBaseEx::getEffectName(char*) { return false; }
bool EffectBaseEx::getVendorString(char*) { return false; }
bool EffectBaseEx::getProductString(char*) { return false; }
int32_t EffectBaseEx::canDo(char*) { return 0; }

bool EffectBaseEx::processEvents(void*) { return false; }
bool EffectBaseEx::canParameterBeAutomated(int32_t) { return true; }
bool EffectBaseEx::string2parameter(int32_t, char*) { return false; }
int32_t EffectBaseEx::getNumCategories() { return 1; }
bool EffectBaseEx::getProgramNameIndexed(int32_t, int32_t, char*) { return false; }
bool EffectBaseEx::copyProgram(int32_t) { return false; }
void EffectBaseEx::inputConnected(int32_t, bool) {}
void EffectBaseEx::outputConnected(int32_t, bool) {}
bool EffectBaseEx::getInputProperties(int32_t, void*) { return false; }
bool EffectBaseEx::getOutputProperties(int32_t, void*) { return false; }
int32_t EffectBaseEx::getPlugCategory() { return (cEffect.flags & effFlagsIsSynth) ? 2 : 0; }
bool EffectBaseEx::setBypass(bool) { return false; }
bool EffectBaseEx::getErrorText(char*) { return false; }
int32_t EffectBaseEx::getVendorVersion() { return 0; }
intptr_t EffectBaseEx::vendorSpecific(int32_t, intptr_t, void*, float) { return 0; }
int32_t EffectBaseEx::getGetTailSize() { return 0; }
bool EffectBaseEx::getParameterProperties(int32_t, void*) { return false; }
bool EffectBaseEx::keysRequired() { return false; }
int32_t EffectBaseEx::getVstVersion() { return 2300; }
int32_t EffectBaseEx::getCurrentMidiProgram(int32_t, void*) { return -1; }
bool EffectBaseEx::getSpeakerArrangement(void** input, void** output) {
    if (input) *input = nullptr;
    if (output) *output = nullptr;
    return false;
}
int32_t EffectBaseEx::setTotalSampleToProcess(int32_t value) { return value; }
bool EffectBaseEx::startProcess() { return false; }
bool EffectBaseEx::stopProcess() { return false; }

intptr_t EffectBaseEx::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
    // Unsigned test on opcode - 25 against 51 selects 25..76; the subtraction
    // is done unsigned so that no opcode overflows.
    if (static_cast<uint32_t>(opcode) - static_cast<uint32_t>(effProcessEvents) > 51u)
        return EffectBase::dispatcher(opcode, index, value, ptr, opt);

    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effProcessEvents: return processEvents(ptr);
        case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter: return string2parameter(index, text) ? 1 : 0;
        case effGetNumProgramCategories: return getNumCategories();
        case effGetProgramNameIndexed:
            return getProgramNameIndexed(static_cast<int32_t>(value), index, text) ? 1 : 0;
        case effCopyProgram: return copyProgram(index) ? 1 : 0;
        case effConnectInput: inputConnected(index, value != 0); return 1;
        case effConnectOutput: outputConnected(index, value != 0); return 1;
        case effGetInputProperties: return getInputProperties(index, ptr) ? 1 : 0;
        case effGetOutputProperties: return getOutputProperties(index, ptr) ? 1 : 0;
        case effGetPlugCategory: return getPlugCategory();
        case effSetBlockSizeAndSampleRate:
            setBlockSize(static_cast<int32_t>(value));
            setSampleRate(opt);
            return 1;
        case effSetBypass: return setBypass(value != 0) ? 1 : 0;
        case effGetEffectName: return getEffectName(text) ? 1 : 0;
        case effGetErrorText: return getErrorText(text) ? 1 : 0;
        case effGetVendorString: return getVendorString(text) ? 1 : 0;
        case effGetProductString: return getProductString(text) ? 1 : 0;
        case effGetVendorVersion: return getVendorVersion();
        case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
        case effCanDo: return canDo(text);
        case effGetTailSize: return getGetTailSize();
        case effGetParameterProperties: return getParameterProperties(index, ptr) ? 1 : 0;
        case effKeysRequired: return keysRequired() ? 0 : 1;
        case effGetVstVersion: return getVstVersion();
        case effGetCurrentMidiProgram: return getCurrentMidiProgram(index, ptr);
        case effGetSpeakerArrangement:
            return getSpeakerArrangement(reinterpret_cast<void**>(value),
                                         static_cast<void**>(ptr))
                       ? 1
                       : 0;
        case effSetTotalSampleToProcess:
            return setTotalSampleToProcess(static_cast<int32_t>(value));
        case effStartProcess: return startProcess() ? 1 : 0;
        case effStopProcess: return stopProcess() ? 1 : 0;
        // Editor key and knob-mode opcodes need an editor, which never exists.
        default: return 0;
    }
}
