// Host-adapter base: owns the plug-in record and turns the basic host opcodes
// (0..24) and the record's function pointers into virtual operations, each
// with a harmless default.
#pragma once

#include <atomic>
#include <cstdint>

#include "VstInterface.h"

// A custom editor window; this system has none, so the pointer stays null.
class AEffEditor {
public:
    virtual ~AEffEditor() = default;
    virtual intptr_t getRect(void* rect) = 0;
    virtual intptr_t open(void* parentWindow) = 0;
    virtual void close() = 0;
    virtual void idle() = 0;
};

class EffectBase {
public:
    EffectBase(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams);
    virtual ~EffectBase();
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    virtual void setParameter(int32_t index, float value);
    virtual float getParameter(int32_t index);
    virtual void process(float** inputs, float** outputs, int32_t sampleFrames) = 0;
    virtual void processReplacing(float** inputs, float** outputs, int32_t sampleFrames);
    virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    virtual void open();
    virtual void close();
    virtual int32_t getProgram();
    virtual void setProgram(int32_t program);
    virtual void setProgramName(char* text);
    virtual void getProgramName(char* text);
    virtual void getParameterLabel(int32_t index, char* text);
    virtual void getParameterDisplay(int32_t index, char* text);
    virtual void getParameterName(int32_t index, char* text);
    virtual float getVu();
    virtual int32_t getChunk(void** data, bool isPreset);
    virtual int32_t setChunk(void* data, int32_t byteSize, bool isPreset);
    virtual void setSampleRate(float newRate);
    virtual void setBlockSize(int32_t newSize);
    virtual void suspend();
    virtual void resume();

    // Record-field setters used while the effect is constructed.
    virtual void setNumInputs(int32_t count);
    virtual void setNumOutputs(int32_t count);
    virtual void setUniqueID(int32_t id);
    virtual void canMono(bool state);
    virtual void canProcessReplacing(bool state);
    virtual void programsAreChunks(bool state);

    AEffect* getAeffect() { return &cEffect; }
    float getSampleRate() const { return sampleRate.load(std::memory_order_acquire); }
    int32_t getBlockSize() const { return blockSize.load(std::memory_order_relaxed); }
    audioMasterCallback getAudioMaster() const { return audioMaster; }

    // The record's five functions.
    static intptr_t dispatchEffClass(AEffect* e, int32_t opcode, int32_t index, intptr_t value,
                                     void* ptr, float opt);
    static void processClassAccumulating(AEffect* e, float** inputs, float** outputs,
                                         int32_t sampleFrames);
    static void processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                      int32_t sampleFrames);
    static void setParameterClass(AEffect* e, int32_t index, float value);
    static float getParameterClass(AEffect* e, int32_t index);

protected:
    void setFlag(int32_t flag, bool state);

    // The host sets the rate on its dispatcher thread while the audio thread
    // reads it, so it is held atomically.
    std::atomic<float> sampleRate{44100.0f};
    AEffEditor* editor = nullptr;
    audioMasterCallback audioMaster;
    int32_t numPrograms;
    int32_t numParams;
    std::atomic<int32_t> curProgram{0};
    std::atomic<int32_t> blockSize{1024};
    AEffect cEffect;
};
