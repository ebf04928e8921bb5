// Loads the built plug-in once per test binary and opens fresh instances.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "HostKit.h"

inline hostkit::Library& pluginLibrary() {
    static std::unique_ptr<hostkit::Library> library = [] {
        std::string error;
        auto lib = hostkit::Library::open(BW_PLUGIN_PATH, &error);
        if (!lib) ADD_FAILURE() << error;
        return lib;
    }();
    return *library;
}

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        plugin = hostkit::Plugin::create(pluginLibrary(), host, &error);
        ASSERT_TRUE(plugin) << error;
    }
    AEffect* effect() { return plugin->effect(); }

    hostkit::Host host;
    std::unique_ptr<hostkit::Plugin> plugin;
};
