#include "DelayEffect.h"

#include <cstring>

namespace {

constexpr char kEffectName[] = "Brindlewave";
constexpr char kVendor[] = "Tobin @ Quarrylane";
constexpr char kCapability[] = "receiveVstTimeInfo";

}  // namespace

DelayEffect::DelayEffect(audioMasterCallback audioMaster)
    : EffectBaseEx(audioMaster, 1, 0), core(getSampleRate()), params(core.parameters()) {
    numParams = static_cast<int32_t>(params.numParams());
    cEffect.numParams = numParams;
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(fourCharCode('q', 'b', 'W', 'L'));
    canMono(true);
    canProcessReplacing(true);
    programsAreChunks(true);
}

// ---- the delay line's length follows the rate; a line let go of is freed
// on the host's next call ----

void DelayEffect::setSampleRate(float newRate) {
    EffectBaseEx::setSampleRate(newRate);
    core.setSampleRate(getSampleRate());
}
void DelayEffect::suspend() { core.releaseOldLine(); }
void DelayEffect::resume() { core.releaseOldLine(); }

// ---- host operations: each a single forward to the parameter list ----

void DelayEffect::setParameter(int32_t index, float value) {
    params.setKnobPos(static_cast<uint32_t>(index), value);
}
float DelayEffect::getParameter(int32_t index) {
    return static_cast<float>(params.getKnobPos(static_cast<uint32_t>(index)));
}
void DelayEffect::getParameterName(int32_t index, char* text) {
    if (text) params.copyName(static_cast<uint32_t>(index), text);
}
void DelayEffect::getParameterLabel(int32_t index, char* text) {
    if (text) params.copyLabel(static_cast<uint32_t>(index), text);
}
void DelayEffect::getParameterDisplay(int32_t index, char* text) {
    if (text) params.copyDisplayText(static_cast<uint32_t>(index), text);
}
int32_t DelayEffect::getChunk(void** data, bool isPreset) {
    if (!data) return 0;
    return params.getChunk(data, isPreset);
}
int32_t DelayEffect::setChunk(void* data, int32_t byteSize, bool isPreset) {
    return params.setChunk(data, byteSize, isPreset);
}

bool DelayEffect::getEffectName(char* text) {
    if (!text) return false;
    std::memcpy(text, kEffectName, sizeof kEffectName);
    return true;
}
bool DelayEffect::getVendorString(char* text) {
    if (!text) return false;
    std::memcpy(text, kVendor, sizeof kVendor);
    return true;
}
bool DelayEffect::getProductString(char* text) { return getEffectName(text); }

int32_t DelayEffect::canDo(char* text) {
    // Byte for byte including the terminating zero, stopping at the first
    // difference so a short host text is never read past its end.
    if (!text) return 0;
    for (size_t i = 0; i < sizeof kCapability; ++i)
        if (text[i] != kCapability[i]) return 0;
    return 1;
}

// ---- audio ----

void DelayEffect::process(float** inputs, float** outputs, int32_t sampleFrames) {
    processBlock(inputs, outputs, sampleFrames, false);
}
void DelayEffect::processReplacing(float** inputs, float** outputs, int32_t sampleFrames) {
    processBlock(inputs, outputs, sampleFrames, true);
}

void DelayEffect::processBlock(float** inputs, float** outputs, int32_t frameCount, bool replace) {
    // The host's tempo, whatever tempoSync says, when it reports one.
    std::optional<double> hostTempo;
    if (const VstTimeInfo* time = getTimeInfo(kVstTempoValid)) {
        if (time->flags & kVstTempoValid) hostTempo = time->tempo;
    }
    core.process(inputs, outputs, frameCount, replace, getSampleRate(), hostTempo);
}
