// Times LV2 plug-ins side by side on lilv, like peer-timing does for VST 2:
// the same noise at 48 kHz through each one at its port defaults, run() at
// each block size, several interleaved runs, the median in ns per frame. The
// plug-ins get urid:map/unmap, options (block lengths, sample rate) and
// buf-size:boundedBlockLength; every port is connected (controls at their
// defaults, atom inputs to an empty sequence, CV ports to buffers). A subject
// that names a .so file is a VST 2 plug-in, timed through the host kit as in
// peer-timing, so both formats can share one table. The first subject is the
// reference.
//
//   lv2-timing [--blocks 32,512] [--runs 7] [--seconds 30] [--wall] [--bundle DIR]... URI|PLUGIN.so ...
//
// --bundle loads only the given bundle folders; without it lilv looks in
// LV2_PATH (or its default folders). Timed in the thread's CPU time, or with
// --wall in elapsed time.
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/resize-port/resize-port.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "TimingTable.h"
#include "VstSubject.h"

namespace {

struct Options {
    std::vector<int> blocks{32, 512};
    int runs = 7;
    double seconds = 30.0;  // of audio per run
    std::vector<std::string> bundles;
    std::vector<std::string> subjects;
};

// URIs to numbers and back, for the whole program.
class UridMap {
public:
    UridMap() {
        map_.handle = this;
        map_.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->id(uri); };
        unmap_.handle = this;
        unmap_.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID id) { return static_cast<UridMap*>(h)->uri(id); };
    }
    LV2_URID id(const char* uri) {
        const auto [it, added] = ids_.emplace(uri, static_cast<LV2_URID>(uris_.size() + 1));
        if (added) uris_.push_back(std::make_unique<std::string>(uri));
        return it->second;
    }
    const char* uri(LV2_URID id) const { return id >= 1 && id <= uris_.size() ? uris_[id - 1]->c_str() : nullptr; }
    LV2_URID_Map* map() { return &map_; }
    LV2_URID_Unmap* unmap() { return &unmap_; }

private:
    LV2_URID_Map map_;
    LV2_URID_Unmap unmap_;
    std::unordered_map<std::string, LV2_URID> ids_;
    std::vector<std::unique_ptr<std::string>> uris_;
};

// The lilv world with the nodes the subjects ask about.
struct World {
    LilvWorld* world = lilv_world_new();
    UridMap urids;
    LilvNode* audio = lilv_new_uri(world, LV2_CORE__AudioPort);
    LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
    LilvNode* cv = lilv_new_uri(world, LV2_CORE__CVPort);
    LilvNode* atom = lilv_new_uri(world, LV2_ATOM__AtomPort);
    LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
    LilvNode* output = lilv_new_uri(world, LV2_CORE__OutputPort);
    LilvNode* optional = lilv_new_uri(world, LV2_CORE__connectionOptional);
    LilvNode* minimumSize = lilv_new_uri(world, LV2_RESIZE_PORT__minimumSize);

    ~World() {
        for (LilvNode* n : {audio, control, cv, atom, input, output, optional, minimumSize}) lilv_node_free(n);
        lilv_world_free(world);
    }
};

// One LV2 instance with a buffer behind every port.
class Lv2Subject : public timing::Subject {
public:
    Lv2Subject(World& w, const LilvPlugin* plugin, int block) : Subject(block), w_(w) {
        LilvNode* name = lilv_plugin_get_name(plugin);
        name_ = name ? lilv_node_as_string(name) : lilv_node_as_uri(lilv_plugin_get_uri(plugin));
        lilv_node_free(name);
        checkFeatures(plugin);
        buildFeatures();
        instance_ = lilv_plugin_instantiate(plugin, timing::kRate, features_.data());
        if (!instance_) throw std::runtime_error(name_ + ": cannot be instantiated");
        connectPorts(plugin);
        name_ += audioIn_.size() == 1 && audioOut_.size() == 1 ? " (LV2, mono)" : " (LV2)";
        noise_ = timing::noise(std::max<size_t>(audioIn_.size(), 1));
        lilv_instance_activate(instance_);
    }

    ~Lv2Subject() override {
        if (instance_) {
            lilv_instance_deactivate(instance_);
            lilv_instance_free(instance_);
        }
    }

    const std::string& name() const override { return name_; }

private:
    // What a host does each cycle: the inputs' new place, the outputs'
    // sequences emptied to their capacity, run().
    void step() override {
        if (position_ + static_cast<size_t>(block_) > noise_[0].size()) position_ = 0;
        for (size_t c = 0; c < audioIn_.size(); ++c)
            lilv_instance_connect_port(instance_, audioIn_[c], noise_[c].data() + position_);
        position_ += static_cast<size_t>(block_);
        for (const auto& [port, buffer] : atomOut_) resetOutput(buffer);
        lilv_instance_run(instance_, static_cast<uint32_t>(block_));
    }

    void checkFeatures(const LilvPlugin* plugin) {
        static const char* const supported[] = {LV2_URID__map, LV2_URID__unmap, LV2_OPTIONS__options,
                                                LV2_BUF_SIZE__boundedBlockLength, LV2_CORE__hardRTCapable};
        LilvNodes* required = lilv_plugin_get_required_features(plugin);
        LILV_FOREACH (nodes, i, required) {
            const char* uri = lilv_node_as_uri(lilv_nodes_get(required, i));
            bool known = false;
            for (const char* s : supported) known = known || std::strcmp(s, uri) == 0;
            if (!known) {
                lilv_nodes_free(required);
                throw std::runtime_error(name_ + " needs the feature " + uri);
            }
        }
        lilv_nodes_free(required);
    }

    void buildFeatures() {
        block32_ = block_;
        rate_ = timing::kRate;
        const LV2_URID intType = w_.urids.id(LV2_ATOM__Int), floatType = w_.urids.id(LV2_ATOM__Float);
        const auto option = [](LV2_URID key, LV2_URID type, uint32_t size, const void* value) {
            return LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, key, size, type, value};
        };
        options_ = {
            option(w_.urids.id(LV2_BUF_SIZE__minBlockLength), intType, sizeof(int32_t), &block32_),
            option(w_.urids.id(LV2_BUF_SIZE__maxBlockLength), intType, sizeof(int32_t), &block32_),
            option(w_.urids.id(LV2_BUF_SIZE__nominalBlockLength), intType, sizeof(int32_t), &block32_),
            option(w_.urids.id(LV2_PARAMETERS__sampleRate), floatType, sizeof(float), &rate_),
            LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
        };
        featureList_ = {
            {LV2_URID__map, w_.urids.map()},
            {LV2_URID__unmap, w_.urids.unmap()},
            {LV2_OPTIONS__options, options_.data()},
            {LV2_BUF_SIZE__boundedBlockLength, nullptr},
        };
        for (LV2_Feature& f : featureList_) features_.push_back(&f);
        features_.push_back(nullptr);
    }

    void connectPorts(const LilvPlugin* plugin) {
        const uint32_t count = lilv_plugin_get_num_ports(plugin);
        std::vector<float> minimum(count), maximum(count), defaults(count);
        lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
        controls_.assign(count, 0.0f);
        buffers_.resize(count);
        for (uint32_t p = 0; p < count; ++p) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
            const bool isInput = lilv_port_is_a(plugin, port, w_.input);
            if (lilv_port_is_a(plugin, port, w_.control)) {
                // The default, else the minimum, else zero.
                controls_[p] = std::isfinite(defaults[p]) ? defaults[p] : std::isfinite(minimum[p]) ? minimum[p] : 0.0f;
                lilv_instance_connect_port(instance_, p, &controls_[p]);
            } else if (lilv_port_is_a(plugin, port, w_.audio)) {
                if (isInput) audioIn_.push_back(p);  // connected block by block
                else {
                    audioOut_.push_back(p);
                    buffers_[p].assign(static_cast<size_t>(block_) + 16, 0.0f);
                    lilv_instance_connect_port(instance_, p, buffers_[p].data());
                }
            } else if (lilv_port_is_a(plugin, port, w_.cv)) {
                buffers_[p].assign(static_cast<size_t>(block_) + 16, 0.0f);
                lilv_instance_connect_port(instance_, p, buffers_[p].data());
            } else if (lilv_port_is_a(plugin, port, w_.atom)) {
                // At least the size the plug-in asks for; floats keep the atoms aligned.
                size_t bytes = 8192;
                if (LilvNode* size = lilv_port_get(plugin, port, w_.minimumSize)) {
                    if (lilv_node_is_int(size)) bytes = std::max<size_t>(bytes, static_cast<size_t>(lilv_node_as_int(size)));
                    lilv_node_free(size);
                }
                buffers_[p].assign(bytes / sizeof(float) + 4, 0.0f);
                auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(buffers_[p].data());
                if (isInput) {
                    seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
                    seq->atom.type = w_.urids.id(LV2_ATOM__Sequence);
                    seq->body.unit = 0;
                    seq->body.pad = 0;
                } else {
                    atomOut_.emplace_back(p, &buffers_[p]);
                    resetOutput(&buffers_[p]);
                }
                lilv_instance_connect_port(instance_, p, buffers_[p].data());
            } else if (lilv_port_has_property(plugin, port, w_.optional)) {
                lilv_instance_connect_port(instance_, p, nullptr);
            } else {
                throw std::runtime_error(name_ + ": port " + std::to_string(p) + " is of an unknown kind");
            }
        }
    }

    // An output sequence offered to the plug-in: a chunk of the whole buffer.
    void resetOutput(std::vector<float>* buffer) {
        auto* atom = reinterpret_cast<LV2_Atom*>(buffer->data());
        atom->size = static_cast<uint32_t>(buffer->size() * sizeof(float) - sizeof(LV2_Atom));
        atom->type = w_.urids.id(LV2_ATOM__Chunk);
    }

    World& w_;
    std::string name_;
    int32_t block32_ = 0;
    float rate_ = 0;
    std::vector<LV2_Options_Option> options_;
    std::vector<LV2_Feature> featureList_;
    std::vector<const LV2_Feature*> features_;
    LilvInstance* instance_ = nullptr;
    std::vector<float> controls_;
    std::vector<std::vector<float>> buffers_;
    std::vector<uint32_t> audioIn_, audioOut_;
    std::vector<std::pair<uint32_t, std::vector<float>*>> atomOut_;
    std::vector<std::vector<float>> noise_;
    size_t position_ = 0;
};

bool isVst(const std::string& subject) {
    return subject.size() > 3 && subject.compare(subject.size() - 3, 3, ".so") == 0;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--blocks" && i + 1 < argc) o.blocks = timing::parseList(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc) o.runs = std::stoi(argv[++i]);
        else if (arg == "--seconds" && i + 1 < argc) o.seconds = std::stod(argv[++i]);
        else if (arg == "--wall") timing::useWallClock = true;
        else if (arg == "--bundle" && i + 1 < argc) o.bundles.push_back(argv[++i]);
        else if (!arg.empty() && arg[0] == '-') throw std::runtime_error("unknown option " + arg);
        else o.subjects.push_back(arg);
    }
    if (o.subjects.empty() || o.runs < 1 || o.seconds <= 0 || o.blocks.empty())
        throw std::runtime_error(
            "usage: lv2-timing [--blocks 32,512] [--runs N] [--seconds S] [--wall] [--bundle DIR]... URI|PLUGIN.so ...");
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = parse(argc, argv);
        World w;
        if (o.bundles.empty()) lilv_world_load_all(w.world);
        for (std::string dir : o.bundles) {
            if (dir.back() != '/') dir += '/';
            LilvNode* uri = lilv_new_file_uri(w.world, nullptr, dir.c_str());
            lilv_world_load_bundle(w.world, uri);
            lilv_node_free(uri);
        }
        const LilvPlugins* all = lilv_world_get_all_plugins(w.world);
        std::vector<const LilvPlugin*> plugins;
        for (const auto& subject : o.subjects) {
            if (isVst(subject)) {
                plugins.push_back(nullptr);
                continue;
            }
            LilvNode* uri = lilv_new_uri(w.world, subject.c_str());
            const LilvPlugin* plugin = lilv_plugins_get_by_uri(all, uri);
            lilv_node_free(uri);
            if (!plugin) throw std::runtime_error("no LV2 plug-in " + subject);
            plugins.push_back(plugin);
        }
        std::printf("48 kHz, port defaults, median of %d runs of %g s of noise (audio time) each, in %s;\n"
                    "ns per frame of all channels (one for mono plug-ins)\n", o.runs, o.seconds, timing::clockName());
        for (int block : o.blocks) {
            std::vector<std::unique_ptr<timing::Subject>> subjects;
            for (size_t k = 0; k < o.subjects.size(); ++k) {
                if (plugins[k]) {
                    subjects.push_back(std::make_unique<Lv2Subject>(w, plugins[k], block));
                } else {
                    auto vst = std::make_unique<timing::VstSubject>(o.subjects[k], block);
                    vst->rename(vst->name() + " (VST 2)");
                    subjects.push_back(std::move(vst));
                }
            }
            timing::printTable(block, subjects, o.runs, o.seconds);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lv2-timing: %s\n", e.what());
        return 1;
    }
    return 0;
}
