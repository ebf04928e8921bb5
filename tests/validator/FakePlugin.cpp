// Libraries that are not working plug-ins, for the validator's load errors:
// built once per BW_FAKE_KIND (1 no entry point, 2 a record without the VstP
// magic, 3 an entry point that crashes; by abort, which sanitizers leave alone).
#include <cstdlib>

#define BW_EXPORT extern "C" __attribute__((visibility("default")))

#if BW_FAKE_KIND == 1
BW_EXPORT int brindlewaveFakeMarker() { return 1; }
#else
BW_EXPORT void* VSTPluginMain(void*) {
#if BW_FAKE_KIND == 2
    static long zeros[64] = {};
    return zeros;
#else
    std::abort();
#endif
}
#endif
