#include "DelayEffect.h"

#include <cstring>

namespace {
constexpr char kEffectName[] = "Brindlewave";
constexpr char kVendor[] = "Tobin @ Quarrylane";
constexpr char kCapability[] = "receiveVstTimeInfo";
}  // namespace

DelayEffect::DelayEffect(audioMasterCallback audioMaster) : EffectBaseEx(audioMaster, 1, 0) {
    numParams = 0;
    cEffect.numParams = 0;
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(fourCharCode('q', 'b', 'W', 'L'));
    canMono(true);
    canProcessReplacing(true);
    programsAreChunks(true);
}

void DelayEffect::process(float**, float**, int32_t) {}
void DelayEffect::processReplacing(float**, float**, int32_t) {}

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
    // Byte-for-byte, including the terminating zero, stopping at the first
    // difference so a short host text is never read past its end.
    if (!text) return 0;
    for (size_t i = 0; i < sizeof kCapability; ++i)
        if (text[i] != kCapability[i]) return 0;
    return 1;
}
