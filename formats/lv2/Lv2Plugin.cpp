// The LV2 plug-in: the descriptor, its instance over the effect core (control
// ports in the parameters' own units, the host's tempo from time:Position
// events) and the state extension, which saves the same state text as the
// VST 2 plug-in's preset chunk.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <bit>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>

#include "DelayCore.h"
#include "Lv2Ports.h"
#include "Param.h"

namespace {

// Where an unconnected control port points: not a number, so never applied.
const float kUnconnected = std::numeric_limits<float>::quiet_NaN();

struct Uris {
    LV2_URID atomBlank = 0, atomObject = 0, atomFloat = 0, atomDouble = 0, atomInt = 0, atomLong = 0,
             atomString = 0, atomSequence = 0, timePosition = 0, timeBpm = 0, state = 0;
};

class Instance {
public:
    Instance(float rate, const LV2_URID_Map* map) : core(std::make_unique<DelayCore>(rate)), sampleRate(rate) {
        if (map) {
            const auto m = [map](const char* uri) { return map->map(map->handle, uri); };
            uris.atomBlank = m(LV2_ATOM__Blank);
            uris.atomObject = m(LV2_ATOM__Object);
            uris.atomFloat = m(LV2_ATOM__Float);
            uris.atomDouble = m(LV2_ATOM__Double);
            uris.atomInt = m(LV2_ATOM__Int);
            uris.atomLong = m(LV2_ATOM__Long);
            uris.atomString = m(LV2_ATOM__String);
            uris.atomSequence = m(LV2_ATOM__Sequence);
            uris.timePosition = m(LV2_TIME__Position);
            uris.timeBpm = m(LV2_TIME__beatsPerMinute);
            uris.state = m(lv2_ports::kStateUri);
            haveUris = true;
        }
        for (std::atomic<float>& v : lastSeen) v.store(std::numeric_limits<float>::quiet_NaN());
        for (const float*& c : controls) c = &kUnconnected;
        for (uint32_t& bits : lastRead) bits = std::bit_cast<uint32_t>(kUnconnected);
    }

    void connect(uint32_t port, void* data) {
        if (port < lv2_ports::kNumControls) {
            controls[port] = data ? static_cast<const float*>(data) : &kUnconnected;
            controlRun = consecutiveControls();
        }
        else if (port == lv2_ports::kInLeft) audioIn[0] = static_cast<float*>(data);
        else if (port == lv2_ports::kInRight) audioIn[1] = static_cast<float*>(data);
        else if (port == lv2_ports::kOutLeft) audioOut[0] = static_cast<float*>(data);
        else if (port == lv2_ports::kOutRight) audioOut[1] = static_cast<float*>(data);
        else if (port == lv2_ports::kTime) timeIn = static_cast<const LV2_Atom_Sequence*>(data);
    }

    void run(uint32_t frames) {
        ranSinceActivation = true;
        readTime();
        if (portsMoved()) applyControls();
        float* in[2] = {audioIn[0], audioIn[1]};
        float* out[2] = {audioOut[0], audioOut[1]};
        // Blocks longer than a signed count takes go in parts; a zero-frame
        // block still refreshes the settings.
        constexpr uint32_t kPart = 1u << 30;
        for (; frames > kPart; frames -= kPart) {
            core->process(in, out, static_cast<int32_t>(kPart), true, sampleRate, hostTempo);
            for (float*& p : in) p = p ? p + kPart : nullptr;
            for (float*& p : out) p = p ? p + kPart : nullptr;
        }
        core->process(in, out, static_cast<int32_t>(frames), true, sampleRate, hostTempo);
    }

    // May run while run() does. A port the host moved since the last block
    // is saved with its new value, as the next block would apply it: the
    // state is put together in a scratch set of parameters, so the playing
    // ones are not touched from this thread.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle) {
        if (!haveUris || !store) return LV2_STATE_ERR_NO_FEATURE;
        std::unique_ptr<DelayCore> scratch;
        try {
            scratch = std::make_unique<DelayCore>(sampleRate);
        } catch (const std::bad_alloc&) {
            return LV2_STATE_ERR_UNKNOWN;
        }
        ParamList& live = core->parameters();
        ParamList& list = scratch->parameters();
        const bool portsAsSeen = takePortsAsSeen.load(std::memory_order_relaxed);
        for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) {
            Param* to = list.param(i);
            const Param* from = live.param(i);
            if (!to || !from) continue;
            to->setPlainValue(from->getPlainValue());
            const float v = controls[i] ? *controls[i] : std::numeric_limits<float>::quiet_NaN();
            if (!portsAsSeen && std::isfinite(v) && v != lastSeen[i].load(std::memory_order_relaxed))
                to->setPlainValue(v);
        }
        void* text = nullptr;
        const int32_t size = list.getChunk(&text, true);
        if (size <= 0 || !text) return LV2_STATE_ERR_UNKNOWN;
        // The text and its terminating zero, as an atom:String.
        return store(handle, uris.state, text, static_cast<size_t>(size) + 1, uris.atomString,
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    }

    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
        if (!haveUris || !retrieve) return LV2_STATE_ERR_NO_FEATURE;
        size_t size = 0;
        uint32_t type = 0, flags = 0;
        const void* value = retrieve(handle, uris.state, &size, &type, &flags);
        if (!value) return LV2_STATE_ERR_NO_PROPERTY;
        if (type != uris.atomString) return LV2_STATE_ERR_BAD_TYPE;
        // Without the terminating zero; a text too long for the chunk's count is refused.
        const char* text = static_cast<const char*>(value);
        size_t length = size;
        while (length > 0 && text[length - 1] == '\0') --length;
        if (length > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return LV2_STATE_ERR_UNKNOWN;
        if (core->parameters().setChunk(text, static_cast<int32_t>(length), true) != 1) return LV2_STATE_ERR_UNKNOWN;
        // The control ports' values as they are now count as seen: a port
        // overrides the restored state only when the host moves it.
        takePortsAsSeen.store(true, std::memory_order_relaxed);
        return LV2_STATE_SUCCESS;
    }

    // A host activating the instance again after deactivating it asks for a
    // start from silence: a new core (an empty line, the LFO and the glides
    // at their start) takes over the parameters' exact values. Off the audio
    // thread, so it may allocate; out of memory, the old core plays on.
    void activate() {
        if (!ranSinceActivation) return;
        try {
            auto fresh = std::make_unique<DelayCore>(sampleRate);
            ParamList& from = core->parameters();
            ParamList& to = fresh->parameters();
            for (uint32_t i = 0; i < from.numParams(); ++i) to.param(i)->setPlainValue(from.param(i)->getPlainValue());
            core = std::move(fresh);
            ranSinceActivation = false;
        } catch (const std::bad_alloc&) {
        }
    }

    void deactivate() { core->releaseOldLine(); }

private:
    // The last time:beatsPerMinute of a time:Position in this block's events
    // becomes the host's tempo, held until the host reports another. Any
    // other atom than a sequence holds no events.
    void readTime() {
        if (!timeIn || !haveUris) return;
        const LV2_Atom_Sequence* seq = timeIn;
        if (seq->atom.type != uris.atomSequence) return;
        const uint32_t total = seq->atom.size;  // the body: a sequence header, then the events
        if (total < sizeof(LV2_Atom_Sequence_Body)) return;
        const uint8_t* const body = reinterpret_cast<const uint8_t*>(&seq->body);
        uint32_t at = sizeof(LV2_Atom_Sequence_Body);
        while (at + sizeof(LV2_Atom_Event) <= total) {
            const auto* event = reinterpret_cast<const LV2_Atom_Event*>(body + at);
            const uint32_t size = event->body.size;
            if (size > total - at - sizeof(LV2_Atom_Event)) return;  // runs past the sequence
            if (event->body.type == uris.atomObject || event->body.type == uris.atomBlank)
                readPosition(reinterpret_cast<const LV2_Atom_Object*>(&event->body));
            at += static_cast<uint32_t>(lv2_atom_pad_size(static_cast<uint32_t>(sizeof(LV2_Atom_Event) + size)));
        }
    }

    void readPosition(const LV2_Atom_Object* object) {
        const uint32_t total = object->atom.size;
        if (total < sizeof(LV2_Atom_Object_Body) || object->body.otype != uris.timePosition) return;
        const uint8_t* const body = reinterpret_cast<const uint8_t*>(&object->body);
        uint32_t at = sizeof(LV2_Atom_Object_Body);
        while (at + sizeof(LV2_Atom_Property_Body) <= total) {
            const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(body + at);
            const uint32_t size = property->value.size;
            if (size > total - at - sizeof(LV2_Atom_Property_Body)) return;
            if (property->key == uris.timeBpm) {
                const double bpm = numberOf(property->value);
                if (std::isfinite(bpm)) hostTempo = bpm;
            }
            at += static_cast<uint32_t>(lv2_atom_pad_size(static_cast<uint32_t>(sizeof(LV2_Atom_Property_Body) + size)));
        }
    }

    // A number atom's value; not a number for any other atom or a short body.
    double numberOf(const LV2_Atom& atom) const {
        const void* body = &atom + 1;
        if (atom.type == uris.atomFloat && atom.size >= sizeof(float)) return *static_cast<const float*>(body);
        if (atom.type == uris.atomDouble && atom.size >= sizeof(double)) return *static_cast<const double*>(body);
        if (atom.type == uris.atomInt && atom.size >= sizeof(int32_t)) return *static_cast<const int32_t*>(body);
        if (atom.type == uris.atomLong && atom.size >= sizeof(int64_t))
            return static_cast<double>(*static_cast<const int64_t*>(body));
        return std::numeric_limits<double>::quiet_NaN();
    }

    // Most blocks move no port, so before applyControls goes port by port,
    // the ports' bits are compared with those of the block before, with no
    // branch per port, or as one piece of memory where the ports are one
    // run. A restored state to take over counts as a move.
    bool portsMoved() {
        const bool asSeen = takePortsAsSeen.load(std::memory_order_relaxed);
        if (controlRun) {
            if (!asSeen && std::memcmp(controlRun, lastRead, sizeof lastRead) == 0) return false;
            std::memcpy(lastRead, controlRun, sizeof lastRead);
            return true;
        }
        uint32_t moved = asSeen ? 1u : 0u;
#pragma GCC unroll 22
        for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i)
            moved |= std::bit_cast<uint32_t>(*controls[i]) ^ lastRead[i];
        if (moved == 0) return false;
        for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) lastRead[i] = std::bit_cast<uint32_t>(*controls[i]);
        return true;
    }

    // The first control port when every control port is connected to the
    // float after the one before (as hosts that keep their control values in
    // one array connect them), else null.
    const float* consecutiveControls() const {
        for (uint32_t i = 1; i < lv2_ports::kNumControls; ++i)
            if (controls[i] != controls[0] + i) return nullptr;
        return controls[0];
    }

    // A port's value is applied when it differs from the last value seen on
    // it, so an unchanged port never restarts what a change starts (the
    // filter's glide). Not-a-number and infinite values are ignored.
    void applyControls() {
        ParamList& list = core->parameters();
        const bool asSeen = takePortsAsSeen.load(std::memory_order_relaxed);
        for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) {
            if (!controls[i]) continue;
            const float v = *controls[i];
            if (!std::isfinite(v)) continue;
            const bool seen = v == lastSeen[i].load(std::memory_order_relaxed);
            lastSeen[i].store(v, std::memory_order_relaxed);
            if (asSeen || seen) continue;
            if (Param* p = list.param(i)) p->setPlainValue(v);
        }
        takePortsAsSeen.store(false, std::memory_order_relaxed);
    }

    std::unique_ptr<DelayCore> core;
    const float sampleRate;
    bool ranSinceActivation = false;
    Uris uris;
    bool haveUris = false;
    std::atomic<bool> takePortsAsSeen{false};  // set by restore(), read by save()
    std::optional<double> hostTempo;
    const float* controls[lv2_ports::kNumControls] = {};
    const float* controlRun = nullptr;  // see consecutiveControls
    // Written by run(), read by a save() that may run beside it.
    std::atomic<float> lastSeen[lv2_ports::kNumControls];
    uint32_t lastRead[lv2_ports::kNumControls];  // the ports' bits as read in the last block that moved one
    float* audioIn[2] = {nullptr, nullptr};
    float* audioOut[2] = {nullptr, nullptr};
    const LV2_Atom_Sequence* timeIn = nullptr;
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    // The core works at single-precision rates: one that is not a positive
    // finite float (too large, or so small that it becomes 0) is refused.
    if (!(rate > 0.0) || !std::isfinite(rate) || rate > std::numeric_limits<float>::max() ||
        !(static_cast<float>(rate) > 0.0f))
        return nullptr;
    const LV2_URID_Map* map = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, LV2_URID__map) == 0) map = static_cast<const LV2_URID_Map*>((*f)->data);
    try {
        return new (std::nothrow) Instance(static_cast<float>(rate), map);
    } catch (...) {
        return nullptr;  // out of memory while building the parameters
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) { static_cast<Instance*>(handle)->connect(port, data); }
void activate(LV2_Handle handle) { static_cast<Instance*>(handle)->activate(); }
// A zero-frame run still takes the block's time events and port values, as
// hosts may deliver them in one.
void run(LV2_Handle handle, uint32_t frames) { static_cast<Instance*>(handle)->run(frames); }
void deactivate(LV2_Handle handle) { static_cast<Instance*>(handle)->deactivate(); }
void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

LV2_State_Status saveState(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                           const LV2_Feature* const*) {
    return static_cast<Instance*>(handle)->save(store, state);
}
LV2_State_Status restoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state,
                              uint32_t, const LV2_Feature* const*) {
    return static_cast<Instance*>(handle)->restore(retrieve, state);
}

const void* extensionData(const char* uri) {
    static const LV2_State_Interface state = {saveState, restoreState};
    if (uri && std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    return nullptr;
}

const LV2_Descriptor descriptor = {lv2_ports::kPluginUri, instantiate, connectPort, activate,
                                   run, deactivate, cleanup, extensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &descriptor : nullptr;
}
