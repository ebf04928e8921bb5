#include "EffectBase.h"

#include <cmath>
#include <cstring>

EffectBase::EffectBase(audioMasterCallback master, int32_t programs, int32_t params)
    : audioMaster(master), numPrograms(programs), numParams(params) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = &dispatchEffClass;
    cEffect.process = &processClassAccumulating;
    cEffect.setParameter = &setParameterClass;
    cEffect.getParameter = &getParameterClass;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = fourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = &processClassReplacing;
}

EffectBase::~EffectBase() { delete editor; }

void EffectBase::setParameter(int32_t, float) {}
float EffectBase::getParameter(int32_t) { return 0.0f; }
void EffectBase::processReplacing(float**, float**, int32_t) {}
void EffectBase::open() {}
void EffectBase::close() {}
int32_t EffectBase::getProgram() { return curProgram.load(std::memory_order_relaxed); }
void EffectBase::setProgram(int32_t program) { curProgram.store(program, std::memory_order_relaxed); }
// The name is the host's own text (possibly still in use by it, or in
// read-only memory): it is taken and left as it is.
void EffectBase::setProgramName(char*) {}
void EffectBase::getProgramName(char* text) {
    if (text) text[0] = 0;
}
void EffectBase::getParameterLabel(int32_t, char* text) {
    if (text) text[0] = 0;
}
void EffectBase::getParameterDisplay(int32_t, char* text) {
    if (text) text[0] = 0;
}
void EffectBase::getParameterName(int32_t, char* text) {
    if (text) text[0] = 0;
}
float EffectBase::getVu() { return 0.0f; }
int32_t EffectBase::getChunk(void**, bool) { return 0; }
int32_t EffectBase::setChunk(void*, int32_t, bool) { return 0; }

void EffectBase::setSampleRate(float newRate) {
    // A rate of zero, a negative rate, NaN or infinity would poison every
    // rate-dependent computation; the previous rate is kept instead.
    if (!(newRate > 0.0f) || !std::isfinite(newRate)) return;
    sampleRate.store(newRate, std::memory_order_release);
}
void EffectBase::setBlockSize(int32_t newSize) { blockSize.store(newSize, std::memory_order_relaxed); }
void EffectBase::suspend() {}
void EffectBase::resume() {}

void EffectBase::setNumInputs(int32_t count) { cEffect.numInputs = count; }
void EffectBase::setNumOutputs(int32_t count) { cEffect.numOutputs = count; }
void EffectBase::setUniqueID(int32_t id) { cEffect.uniqueID = id; }
void EffectBase::canMono(bool state) { setFlag(effFlagsCanMono, state); }
void EffectBase::canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
void EffectBase::programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }

void EffectBase::setFlag(int32_t flag, bool state) {
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

intptr_t EffectBase::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
    // Unsigned range test: negative opcodes land with the unknown ones.
    if (static_cast<uint32_t>(opcode) > static_cast<uint32_t>(effSetChunk)) return 0;
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effOpen: open(); return 0;
        case effClose: close(); return 0;
        case effSetProgram:
            if (value < numPrograms) setProgram(static_cast<int32_t>(value));
            return 0;
        case effGetProgram: return getProgram();
        case effSetProgramName: setProgramName(text); return 0;
        case effGetProgramName: getProgramName(text); return 0;
        case effGetParamLabel: getParameterLabel(index, text); return 0;
        case effGetParamDisplay: getParameterDisplay(index, text); return 0;
        case effGetParamName: getParameterName(index, text); return 0;
        case effGetVu: {
            const float vu = getVu() * 32767.0f;
            // Truncation toward zero; a level no integer holds answers 0.
            if (!(std::fabs(vu) < 2147483648.0f)) return 0;
            return static_cast<int32_t>(vu);
        }
        case effSetSampleRate: setSampleRate(opt); return 0;
        case effSetBlockSize: setBlockSize(static_cast<int32_t>(value)); return 0;
        case effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            return 0;
        case effEditGetRect: return editor ? editor->getRect(ptr) : 0;
        case effEditOpen: return editor ? editor->open(ptr) : 0;
        case effEditClose:
            if (editor) editor->close();
            return 0;
        case effEditIdle:
            if (editor) editor->idle();
            return 0;
        case effIdentify: return fourCharCode('N', 'v', 'E', 'f');
        case effGetChunk: return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk: return setChunk(ptr, static_cast<int32_t>(value), index != 0);
        default: return 0;
    }
}

// The record's functions. No C++ exception may cross into the host: a failure
// inside an operation (in practice only running out of memory while building
// a text) is answered harmlessly.
intptr_t EffectBase::dispatchEffClass(AEffect* e, int32_t opcode, int32_t index, intptr_t value,
                                      void* ptr, float opt) {
    if (!e || !e->object) return 0;
    auto* effect = static_cast<EffectBase*>(e->object);
    if (opcode == effClose) {
        try {
            effect->dispatcher(opcode, index, value, ptr, opt);
        } catch (...) {
        }
        delete effect;
        return 1;
    }
    try {
        return effect->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void EffectBase::processClassAccumulating(AEffect* e, float** inputs, float** outputs,
                                          int32_t sampleFrames) {
    if (!e || !e->object) return;
    try {
        static_cast<EffectBase*>(e->object)->process(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

void EffectBase::processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                       int32_t sampleFrames) {
    if (!e || !e->object) return;
    try {
        static_cast<EffectBase*>(e->object)->processReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
    }
}

void EffectBase::setParameterClass(AEffect* e, int32_t index, float value) {
    if (!e || !e->object) return;
    try {
        static_cast<EffectBase*>(e->object)->setParameter(index, value);
    } catch (...) {
    }
}

float EffectBase::getParameterClass(AEffect* e, int32_t index) {
    if (!e || !e->object) return 0.0f;
    try {
        return static_cast<EffectBase*>(e->object)->getParameter(index);
    } catch (...) {
        return 0.0f;
    }
}
