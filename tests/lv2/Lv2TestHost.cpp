// The LV2 test host: lilv world, URID map, plug-in instance with its port
// buffers, state calls, and the VST 2 build set through its state text.
#include "Lv2TestHost.h"

#include <gtest/gtest.h>
#include <lv2/time/time.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "ChoiceParam.h"

namespace lv2test {

// ---- signals ----

Stereo testInput(size_t frames, float rate) {
    Stereo s(frames);
    std::mt19937 random(20240611u);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    const size_t pluck = std::min(frames, static_cast<size_t>(rate * 0.08f));
    for (size_t i = 0; i < pluck; ++i) {
        const float t = static_cast<float>(i) / rate;
        s.left[i] = 0.8f * std::exp(-t * 40.0f) * std::sin(2.0f * 3.14159265f * 330.0f * t);
    }
    const size_t burstFrom = pluck / 2, burstTo = std::min(frames, pluck + pluck / 2);
    for (size_t i = burstFrom; i < burstTo; ++i) s.right[i] = noise(random);
    return s;
}

bool allFinite(const Stereo& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (!std::isfinite(s.left[i]) || !std::isfinite(s.right[i])) return false;
    return true;
}

float peakOf(const Stereo& s, size_t from, size_t to) {
    float peak = 0.0f;
    for (size_t i = from; i < std::min(to, s.size()); ++i)
        peak = std::fmax(peak, std::fmax(std::fabs(s.left[i]), std::fabs(s.right[i])));
    return peak;
}

long firstDifference(const Stereo& a, const Stereo& b) {
    if (a.size() != b.size()) return 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a.left[i], &b.left[i], sizeof(float)) != 0 ||
            std::memcmp(&a.right[i], &b.right[i], sizeof(float)) != 0)
            return static_cast<long>(i);
    return -1;
}

// ---- parameters ----

ParamList& parameters() {
    static DelayCore core(48000.0f);
    return core.parameters();
}

uint32_t indexOf(const std::string& key) {
    ParamList& list = parameters();
    for (uint32_t i = 0; i < list.numParams(); ++i)
        if (list.param(i)->getKey() == key) return i;
    ADD_FAILURE() << "no parameter " << key;
    return 0;
}

std::string valueText(const Param& p, float v) {
    const PlainRange r = p.plainRange();
    const double rounded = std::fmin(std::fmax(std::round(static_cast<double>(v)), r.minimum), r.maximum);
    char text[64];
    switch (r.kind) {
        case PlainKind::Real:
            std::snprintf(text, sizeof text, "%.17g", static_cast<double>(v));
            return text;
        case PlainKind::Integer:
            std::snprintf(text, sizeof text, "%d", static_cast<int>(rounded));
            return text;
        case PlainKind::Toggle:
            return v > 0.0f ? "true" : "false";
        case PlainKind::Choice:
            return static_cast<const ChoiceParam&>(p).choiceValueText(static_cast<uint32_t>(rounded));
    }
    return {};
}

// ---- URIDs ----

UridMap::UridMap() {
    map_.handle = this;
    map_.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); };
    unmap_.handle = this;
    unmap_.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID u) { return static_cast<UridMap*>(h)->unmap(u); };
    mapFeature_ = {LV2_URID__map, &map_};
    unmapFeature_ = {LV2_URID__unmap, &unmap_};
    features_[0] = &mapFeature_;
    features_[1] = &unmapFeature_;
}

LV2_URID UridMap::map(const char* uri) {
    if (!uri) return 0;
    const auto found = ids_.find(uri);
    if (found != ids_.end()) return found->second;
    uris_.emplace_back(uri);
    const auto id = static_cast<LV2_URID>(uris_.size());
    ids_.emplace(uris_.back(), id);
    return id;
}

const char* UridMap::unmap(LV2_URID urid) const {
    return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
}

UridMap& urids() {
    static UridMap map;
    return map;
}

// ---- atoms ----

namespace {
void append(std::vector<uint8_t>& out, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
}
void padTo8(std::vector<uint8_t>& out) { out.resize((out.size() + 7) & ~size_t{7}, 0); }
}  // namespace

std::vector<uint8_t> property(const char* key, LV2_URID type, const void* body, uint32_t size) {
    std::vector<uint8_t> out;
    const LV2_Atom_Property_Body head{urids().map(key), 0, {size, type}};
    append(out, &head, sizeof head);
    append(out, body, size);
    padTo8(out);
    return out;
}

std::vector<uint8_t> object(const char* otype, const std::vector<uint8_t>& properties) {
    std::vector<uint8_t> out;
    const LV2_Atom_Object head{
        {static_cast<uint32_t>(sizeof(LV2_Atom_Object_Body) + properties.size()), urids().map(LV2_ATOM__Object)},
        {0, urids().map(otype)}};
    append(out, &head, sizeof head);
    append(out, properties.data(), properties.size());
    return out;
}

std::vector<uint8_t> event(int64_t frames, const std::vector<uint8_t>& atom) {
    std::vector<uint8_t> out;
    append(out, &frames, sizeof frames);
    append(out, atom.data(), atom.size());
    padTo8(out);
    return out;
}

std::vector<uint8_t> sequence(const std::vector<std::vector<uint8_t>>& events) {
    std::vector<uint8_t> body;
    for (const auto& e : events) append(body, e.data(), e.size());
    std::vector<uint8_t> out;
    const LV2_Atom_Sequence head{
        {static_cast<uint32_t>(sizeof(LV2_Atom_Sequence_Body) + body.size()), urids().map(LV2_ATOM__Sequence)}, {0, 0}};
    append(out, &head, sizeof head);
    append(out, body.data(), body.size());
    return out;
}

std::vector<uint8_t> positionProperties(double bpm, bool asDouble) {
    const int64_t frame = 96000, bar = 3;
    const float speed = 1.0f, barBeat = 1.5f, beatsPerBar = 4.0f, bpmFloat = static_cast<float>(bpm);
    const int32_t beatUnit = 4;
    std::vector<uint8_t> props;
    const auto add = [&](const std::vector<uint8_t>& p) { append(props, p.data(), p.size()); };
    add(property(LV2_TIME__frame, urids().map(LV2_ATOM__Long), &frame, sizeof frame));
    add(property(LV2_TIME__speed, urids().map(LV2_ATOM__Float), &speed, sizeof speed));
    add(property(LV2_TIME__bar, urids().map(LV2_ATOM__Long), &bar, sizeof bar));
    add(property(LV2_TIME__barBeat, urids().map(LV2_ATOM__Float), &barBeat, sizeof barBeat));
    add(property(LV2_TIME__beatUnit, urids().map(LV2_ATOM__Int), &beatUnit, sizeof beatUnit));
    add(property(LV2_TIME__beatsPerBar, urids().map(LV2_ATOM__Float), &beatsPerBar, sizeof beatsPerBar));
    if (asDouble)
        add(property(LV2_TIME__beatsPerMinute, urids().map(LV2_ATOM__Double), &bpm, sizeof bpm));
    else
        add(property(LV2_TIME__beatsPerMinute, urids().map(LV2_ATOM__Float), &bpmFloat, sizeof bpmFloat));
    return props;
}

// ---- the world ----

World& World::get() {
    static World world;
    return world;
}

World::World() {
    world_ = lilv_world_new();
    LilvNode* path = lilv_new_string(world_, BW_LV2_PATH);
    lilv_world_set_option(world_, LILV_OPTION_LV2_PATH, path);
    lilv_node_free(path);
    lilv_world_load_all(world_);
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri(lv2_ports::kPluginUri));
}

World::~World() {
    for (LilvNode* n : nodes_) lilv_node_free(n);
    lilv_world_free(world_);
}

const LilvNode* World::uri(const char* text) {
    nodes_.push_back(lilv_new_uri(world_, text));
    return nodes_.back();
}

// ---- an instance ----

std::unique_ptr<Instance> Instance::create(double rate, bool withUridMap) {
    const LilvPlugin* plugin = World::get().plugin();
    if (!plugin) return nullptr;
    static const LV2_Feature* const noFeatures[] = {nullptr};
    std::unique_ptr<Instance> self(new Instance);
    self->instance_ = lilv_plugin_instantiate(plugin, rate, withUridMap ? urids().features() : noFeatures);
    if (!self->instance_) return nullptr;
    std::vector<float> minimum(lv2_ports::kNumPorts), maximum(lv2_ports::kNumPorts), defaults(lv2_ports::kNumPorts);
    lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
    for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) {
        self->control(i) = defaults[i];
        self->connect(i, &self->control(i));
    }
    self->resetTime();
    self->state_ = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(self->instance_, LV2_STATE__interface));
    lilv_instance_activate(self->instance_);
    return self;
}

Instance::~Instance() {
    if (!instance_) return;
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
}

void Instance::set(const Settings& values) {
    for (const auto& [key, value] : values) control(indexOf(key)) = value;
}

void Instance::spreadControls() {
    for (uint32_t i = lv2_ports::kNumControls; i-- > 0;) controls_[2 * i] = controls_[i];
    stride_ = 2;
    for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) connect(i, &control(i));
}

void Instance::connect(uint32_t port, void* data) { lilv_instance_connect_port(instance_, port, data); }

void Instance::resetTime() {
    const auto empty = sequence({});
    std::memcpy(time_, empty.data(), empty.size());
    connect(lv2_ports::kTime, time_);
    timeQueued_ = false;
}

void Instance::queueTempo(double bpm, bool asDouble) {
    queueSequence(sequence({event(0, object(LV2_TIME__Position, positionProperties(bpm, asDouble)))}));
}

// The sequence is copied into a buffer of exactly its size for the next
// run, so that AddressSanitizer sees any read past it.
void Instance::queueSequence(const std::vector<uint8_t>& atomBytes) {
    auto* exact = new uint8_t[atomBytes.size()];
    std::memcpy(exact, atomBytes.data(), atomBytes.size());
    queued_.reset(exact);
    connect(lv2_ports::kTime, exact);
    timeQueued_ = true;
}

void Instance::run(uint32_t frames) {
    lilv_instance_run(instance_, frames);
    if (timeQueued_) {
        resetTime();
        queued_.reset();
    }
}

void Instance::reactivate() {
    lilv_instance_deactivate(instance_);
    lilv_instance_activate(instance_);
}

void Instance::process(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames) {
    const float* inputs[2] = {inL, inR};
    for (int c = 0; c < 2; ++c) {
        in_[c].assign(frames, 0.0f);
        out_[c].assign(frames, 0.0f);
        if (inputs[c]) std::copy(inputs[c], inputs[c] + frames, in_[c].begin());
        connect(lv2_ports::kInLeft + c, inputs[c] ? in_[c].data() : nullptr);
    }
    connect(lv2_ports::kOutLeft, outL ? out_[0].data() : nullptr);
    connect(lv2_ports::kOutRight, outR ? out_[1].data() : nullptr);
    run(frames);
    if (outL) std::copy(out_[0].begin(), out_[0].end(), outL);
    if (outR) std::copy(out_[1].begin(), out_[1].end(), outR);
}

namespace {
LV2_State_Status storeValue(LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type,
                            uint32_t flags) {
    auto* stored = static_cast<StoredState*>(handle);
    stored->stored = true;
    const char* name = urids().unmap(key);
    stored->key = name ? name : "";
    stored->value.assign(static_cast<const char*>(value), size);
    stored->type = type;
    stored->flags = flags;
    return LV2_STATE_SUCCESS;
}

struct Retrieval {
    bool present;
    std::string bytes;
    LV2_URID type;
};

const void* retrieveValue(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
    auto* r = static_cast<Retrieval*>(handle);
    if (!r->present || key != urids().map(lv2_ports::kStateUri)) return nullptr;
    *size = r->bytes.size();
    *type = r->type;
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return r->bytes.data();
}
}  // namespace

LV2_State_Status Instance::save(StoredState* stored) {
    if (!state_) return LV2_STATE_ERR_NO_FEATURE;
    return state_->save(lilv_instance_get_handle(instance_), storeValue, stored,
                        LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, urids().features());
}

std::string Instance::saveText() {
    StoredState stored;
    if (save(&stored) != LV2_STATE_SUCCESS || !stored.stored) return {};
    std::string text = stored.value;
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

LV2_State_Status Instance::restore(const std::string& bytes, LV2_URID type) {
    if (!state_) return LV2_STATE_ERR_NO_FEATURE;
    Retrieval r{true, bytes, type ? type : urids().map(LV2_ATOM__String)};
    return state_->restore(lilv_instance_get_handle(instance_), retrieveValue, &r, 0, urids().features());
}

LV2_State_Status Instance::restoreNothing() {
    if (!state_) return LV2_STATE_ERR_NO_FEATURE;
    Retrieval r{false, {}, 0};
    return state_->restore(lilv_instance_get_handle(instance_), retrieveValue, &r, 0, urids().features());
}

const void* Instance::portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
    auto* self = static_cast<Instance*>(user);
    const uint32_t i = indexOf(symbol);
    *size = sizeof(float);
    *type = urids().map(LV2_ATOM__Float);
    return &self->control(i);
}

void Instance::setPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
    auto* self = static_cast<Instance*>(user);
    double v = NAN;
    if (type == urids().map(LV2_ATOM__Float) && size == sizeof(float))
        v = *static_cast<const float*>(value);
    else if (type == urids().map(LV2_ATOM__Double) && size == sizeof(double))
        v = *static_cast<const double*>(value);
    else if (type == urids().map(LV2_ATOM__Int) && size == sizeof(int32_t))
        v = *static_cast<const int32_t*>(value);
    else if (type == urids().map(LV2_ATOM__Long) && size == sizeof(int64_t))
        v = static_cast<double>(*static_cast<const int64_t*>(value));
    else if (type == urids().map(LV2_ATOM__Bool) && size == sizeof(int32_t))
        v = *static_cast<const int32_t*>(value) ? 1.0 : 0.0;
    else
        ADD_FAILURE() << "port value of " << symbol << " has type " << urids().unmap(type);
    self->control(indexOf(symbol)) = static_cast<float>(v);
}

void Instance::applyLilvState(const LilvState* state) {
    lilv_state_restore(state, instance_, setPortValue, this, 0, urids().features());
}

LilvState* Instance::snapshot() {
    LV2_URID_Map* map = static_cast<LV2_URID_Map*>(urids().features()[0]->data);
    return lilv_state_new_from_instance(World::get().plugin(), instance_, map, nullptr, nullptr, nullptr, nullptr,
                                        portValue, this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, urids().features());
}

// ---- the VST 2 build ----

namespace {
hostkit::Library& vst2Library() {
    static std::unique_ptr<hostkit::Library> library = [] {
        std::string error;
        auto lib = hostkit::Library::open(BW_PLUGIN_PATH, &error);
        if (!lib) ADD_FAILURE() << error;
        return lib;
    }();
    return *library;
}
}  // namespace

Vst2::Vst2(float rate, int32_t maxBlock) {
    std::string error;
    plugin = hostkit::Plugin::create(vst2Library(), host, &error);
    if (!plugin) {
        ADD_FAILURE() << error;
        return;
    }
    plugin->prepare(rate, maxBlock);
}

void Vst2::set(const Settings& values) {
    std::vector<std::pair<std::string, std::string>> texts;
    for (const auto& [key, value] : values)
        texts.emplace_back(key, valueText(*parameters().param(indexOf(key)), value));
    setTexts(texts);
}

void Vst2::setTexts(const std::vector<std::pair<std::string, std::string>>& texts) {
    std::string state = plugin->getChunk(true);
    for (const auto& [key, text] : texts) {
        const std::string entry = "\t" + key + "\n\t\t";
        const size_t at = state.find(entry);
        ASSERT_NE(at, std::string::npos) << key;
        const size_t from = at + entry.size();
        state.replace(from, state.find('\n', from) - from, text);
    }
    ASSERT_EQ(plugin->setChunk(state, true), 1);
}

void Vst2::process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    plugin->processBlock(inL, inR, outL, outR, frames);
}

}  // namespace lv2test
