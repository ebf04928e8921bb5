// Puts the user's settings into a plug-in instance through its own state
// text, so that the plug-in's parsing and clamping decide the values.
// Settings come from --set and from saved state files, and both are checked
// alike.
#pragma once

#include <string>
#include <vector>

#include "HostKit.h"
#include "ParamCatalog.h"

struct SetRequest {
    std::string key;     // key or name as written
    std::string text;
    std::string origin;  // empty for --set, else the state file it comes from
};

// "key=value" as given on the command line. Throws UsageError.
SetRequest parseSetRequest(const std::string& argument);

// The parameter values of a saved state file in either form, in file order.
// Throws RenderFailure when the file cannot be read or is no Brindlewave state.
std::vector<SetRequest> readStateFile(const std::string& path);

// The values of the factory preset with this name or identifier (any letter
// case), from the plug-in's own preset list; false when there is none.
bool factoryPresetRequests(const std::string& name, std::vector<SetRequest>& requests);
// "Slow Spin (slow-spin)", one line each.
std::string factoryPresetList();

struct EffectiveValue {
    const ParamInfo* param;
    std::string requested;  // as the user wrote it
    std::string origin;     // as in SetRequest
    std::string effective;  // value text read back from the plug-in
    std::string display;    // what the host shows, label included
    bool clamped;           // the plug-in took a different value than asked
};

// Checks every request against the catalog (unknown keys and unusable texts
// are UsageErrors listing what fits, naming the file for a state file's
// values), replaces the values in the instance's current state (a later
// request for a parameter wins), hands it back and reads the result.
std::vector<EffectiveValue> applySettings(hostkit::Plugin& plugin, const ParamCatalog& catalog,
                                          const std::vector<SetRequest>& requests);

// Reads the values back from the instance's current state.
void readBack(hostkit::Plugin& plugin, std::vector<EffectiveValue>& values);

std::string describeEffective(const EffectiveValue& value);
