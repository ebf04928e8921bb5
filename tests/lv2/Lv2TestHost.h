// A small LV2 host on lilv for the LV2 tests, and the VST 2 build beside it:
// the bundle is loaded from a private LV2_PATH holding only the build's
// bundle, control ports live in the host, time:Position events are written
// into the time port's sequence, and state goes through the plug-in's state
// interface or lilv's presets.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "DelayCore.h"
#include "HostKit.h"
#include "Lv2Ports.h"

namespace lv2test {

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
    size_t size() const { return left.size(); }
};

// A plucked tone on the left, a noise burst on the right after it, then
// silence: enough to hear echoes, the filter and the rotation.
Stereo testInput(size_t frames, float rate = 48000.0f);
bool allFinite(const Stereo& s);
float peakOf(const Stereo& s, size_t from = 0, size_t to = SIZE_MAX);
// Index of the first frame whose bits differ in either channel, or -1.
long firstDifference(const Stereo& a, const Stereo& b);

// The parameters as the core defines them, by index and by key.
ParamList& parameters();
uint32_t indexOf(const std::string& key);

// Port values by parameter key; floats, as LV2 control ports hold them.
using Settings = std::vector<std::pair<std::string, float>>;

// The state text's value for `v` on a port of `p`: a real printed with 17
// significant digits (the float as the double it is), an integer or choice
// rounded as the plug-in rounds a port value, a switch on above 0.
std::string valueText(const Param& p, float v);

// Atoms as a host writes them, byte for byte, so that tests can also write
// them wrong: a property (key, value type and body), an object of properties,
// an event at a frame, and a sequence of events.
std::vector<uint8_t> property(const char* key, LV2_URID type, const void* body, uint32_t size);
std::vector<uint8_t> object(const char* otype, const std::vector<uint8_t>& properties);
std::vector<uint8_t> event(int64_t frames, const std::vector<uint8_t>& atom);
std::vector<uint8_t> sequence(const std::vector<std::vector<uint8_t>>& events);
// A time:Position's properties as a playing host sends them, with this tempo.
std::vector<uint8_t> positionProperties(double bpm, bool asDouble = false);

// URIDs for the plug-in, kept for the life of the test program.
class UridMap {
public:
    UridMap();
    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid) const;
    const LV2_Feature* const* features() const { return features_; }

private:
    std::deque<std::string> uris_;
    std::unordered_map<std::string, LV2_URID> ids_;
    LV2_URID_Map map_{};
    LV2_URID_Unmap unmap_{};
    LV2_Feature mapFeature_{}, unmapFeature_{};
    const LV2_Feature* features_[3] = {};
};
UridMap& urids();

// The lilv world over the private path; loaded once per test program.
class World {
public:
    static World& get();
    LilvWorld* world() const { return world_; }
    const LilvPlugin* plugin() const { return plugin_; }
    // A node for `uri`, freed with the world.
    const LilvNode* uri(const char* uri);
    ~World();

private:
    World();
    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugin_ = nullptr;
    std::vector<LilvNode*> nodes_;
};

// What the plug-in handed to the state's store function.
struct StoredState {
    bool stored = false;
    std::string key;
    std::string value;  // every byte given, the terminating zero included
    LV2_URID type = 0;
    uint32_t flags = 0;
};

// One instance of the LV2 plug-in with its own port buffers: control ports
// start at the description's defaults and are all connected, audio ports are
// connected to the host's buffers, the time port to an empty sequence.
class Instance {
public:
    // Null when lilv (that is, the plug-in) refuses the rate.
    static std::unique_ptr<Instance> create(double rate, bool withUridMap = true);
    ~Instance();

    float& control(uint32_t index) { return controls_[index * stride_]; }
    void set(const Settings& values);
    // Moves every control port to a buffer of its own, apart from the
    // others (as a host that keeps each port's value with the port does),
    // keeping the values.
    void spreadControls();
    // Reconnects a port to the given buffer (null: unconnected).
    void connect(uint32_t port, void* data);

    // Runs `frames` frames of the input into the output (either may be null
    // per channel: the port is then left unconnected for this run).
    void process(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames);
    // Runs with whatever buffers are connected now.
    void run(uint32_t frames);
    // deactivate() then activate(), as a host reinitialising the instance.
    void reactivate();

    // The next run's time port: a time:Position with beatsPerMinute (a
    // Float, as hosts send it; a Double when asked) among other properties,
    // or a sequence given byte for byte. The port is empty again after a run.
    void queueTempo(double bpm, bool asDouble = false);
    void queueSequence(const std::vector<uint8_t>& atomBytes);

    // The state interface, called directly.
    LV2_State_Status save(StoredState* stored);
    std::string saveText();  // the saved text without its terminating zero
    LV2_State_Status restore(const std::string& bytes, LV2_URID type = 0);
    LV2_State_Status restoreNothing();

    // lilv's presets and state: applies a preset or state to this instance,
    // port values and the plug-in's own state, as a host loading it does.
    void applyLilvState(const LilvState* state);
    // lilv's own snapshot of this instance (port values and the plug-in's
    // state), as a host saving a session takes it; free with lilv_state_free.
    LilvState* snapshot();

    LilvInstance* lilv() const { return instance_; }

private:
    Instance() = default;
    void resetTime();
    static const void* portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type);
    static void setPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type);

    LilvInstance* instance_ = nullptr;
    const LV2_State_Interface* state_ = nullptr;
    float controls_[2 * lv2_ports::kNumControls] = {};
    uint32_t stride_ = 1;  // control i is controls_[i * stride_]
    std::vector<float> in_[2], out_[2];
    alignas(8) uint64_t time_[4] = {};
    std::unique_ptr<uint8_t[]> queued_;
    bool timeQueued_ = false;
};

// The VST 2 build through the host kit at the same rate, set through its state text.
class Vst2 {
public:
    explicit Vst2(float rate, int32_t maxBlock = 4096);
    // Puts each value (as valueText gives it) into the preset-form state
    // text and loads it; setTexts takes the texts themselves.
    void set(const Settings& values);
    void setTexts(const std::vector<std::pair<std::string, std::string>>& texts);
    void process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames);
    hostkit::Host host;
    std::unique_ptr<hostkit::Plugin> plugin;
};

}  // namespace lv2test
