// The plug-in's entry points. A host calls one of them once per instance.
#include <new>

#include "DelayEffect.h"
#include "PluginExport.h"

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

// Exported under the symbol "main" (see PluginExport.h), the name older hosts use.
BW_DECLARE_MAIN_ENTRY(AEffect*, brindlewaveMain, (audioMasterCallback audioMaster));

AEffect* brindlewaveMain(audioMasterCallback audioMaster) { return createEffect(audioMaster); }

// Most Linux hosts look for this name first.
BW_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) { return createEffect(audioMaster); }
