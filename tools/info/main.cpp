// Loads a plug-in through the host kit and prints its identity.
#include <cstdio>
#include <string>

#include "HostKit.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: brindlewave-info PLUGIN.so\n");
        return 2;
    }
    std::string error;
    auto library = hostkit::Library::open(argv[1], &error);
    if (!library) {
        std::fprintf(stderr, "brindlewave-info: %s\n", error.c_str());
        return 1;
    }
    hostkit::Host host;
    auto plugin = hostkit::Plugin::create(*library, host, &error);
    if (!plugin) {
        std::fprintf(stderr, "brindlewave-info: %s\n", error.c_str());
        return 1;
    }
    AEffect* e = plugin->effect();
    std::printf("name:       %s\n", plugin->effectName().c_str());
    std::printf("vendor:     %s\n", plugin->vendorString().c_str());
    std::printf("unique id:  0x%08X\n", static_cast<unsigned>(e->uniqueID));
    std::printf("channels:   %d in, %d out\n", e->numInputs, e->numOutputs);
    std::printf("parameters: %d\n", e->numParams);
    for (int i = 0; i < e->numParams; ++i)
        std::printf("  %2d %-24s %8s %s\n", i, plugin->paramName(i).c_str(),
                    plugin->paramDisplay(i).c_str(), plugin->paramLabel(i).c_str());
    return 0;
}
