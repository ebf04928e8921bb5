// The plug-in's entry points. A host calls one of them once per instance.
#include <new>

#include "DelayEffect.h"

namespace {

AEffect* createEffect(audioMasterCallback audioMaster) noexcept {
    if (!audioMaster) return nullptr;
    try {
        // A host that answers 0 to the version query is too old to use.
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        auto* effect = new (std::nothrow) DelayEffect(audioMaster);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        // Construction failed part-way (out of memory while storing texts);
        // the object's memory has been released.
        return nullptr;
    }
}

}  // namespace

// A C++ function cannot be called main and return a pointer, so the entry
// function carries another name and is exported under the symbol "main".
extern "C" __attribute__((visibility("default"))) AEffect* brindlewaveMain(
    audioMasterCallback audioMaster) __asm__("main");

extern "C" __attribute__((visibility("default"))) AEffect* brindlewaveMain(
    audioMasterCallback audioMaster) {
    return createEffect(audioMaster);
}

// Most Linux hosts look for this name first.
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(
    audioMasterCallback audioMaster) {
    return createEffect(audioMaster);
}
