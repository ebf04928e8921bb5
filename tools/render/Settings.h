// Puts the user's settings into a plug-in instance through its own state
// text, so that the plug-in's parsing and clamping decide the values.
#pragma once

#include <string>
#include <vector>

#include "HostKit.h"
#include "ParamCatalog.h"

struct SetRequest {
    std::string key;
    std::string text;
};

// "key=value" as given on the command line. Throws UsageError.
SetRequest parseSetRequest(const std::string& argument);

// Loads a saved state file in either form. Throws RenderFailure.
void loadStateFile(hostkit::Plugin& plugin, const std::string& path);

struct EffectiveValue {
    const ParamInfo* param;
    std::string requested;  // as the user wrote it
    std::string effective;  // value text read back from the plug-in
    std::string display;    // what the host shows, label included
    bool clamped;           // the plug-in took a different value than asked
};

// Checks every request against the catalog (unknown keys and unusable texts
// are UsageErrors listing the valid choices), replaces the values in the
// instance's current state, hands it back and reads the result.
std::vector<EffectiveValue> applySettings(hostkit::Plugin& plugin, const ParamCatalog& catalog,
                                          const std::vector<SetRequest>& requests);

// Reads the values back from the instance's current state.
void readBack(hostkit::Plugin& plugin, std::vector<EffectiveValue>& values);

std::string describeEffective(const EffectiveValue& value);
