// The bundle as lilv reads it: the one plug-in on the private path, its ports
// against the parameter list (symbols, names, ranges, properties, scale
// points, units), the audio and time ports, and the presets it declares.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <filesystem>
#include <map>
#include <string>

#include "ChoiceParam.h"
#include "FactoryPresets.h"
#include "Lv2TestHost.h"

using namespace lv2test;

namespace {

// The URI lilv reads for a unit; empty for none.
std::string unitUri(PlainUnit unit) {
    switch (unit) {
        case PlainUnit::Seconds:
            return LV2_UNITS__s;
        case PlainUnit::Hertz:
            return LV2_UNITS__hz;
        case PlainUnit::Bpm:
            return LV2_UNITS__bpm;
        case PlainUnit::Degrees:
            return LV2_UNITS__degree;
        case PlainUnit::Gain:
            return LV2_UNITS__coef;
        case PlainUnit::None:
            break;
    }
    return {};
}

std::string text(const LilvNode* node) { return node ? lilv_node_as_string(node) : std::string(); }

// lilv_port_get's single value as text; lilv hands over the node.
std::string portValue(const LilvPlugin* plugin, const LilvPort* port, const char* predicate) {
    LilvNode* node = lilv_port_get(plugin, port, World::get().uri(predicate));
    const std::string value = text(node);
    lilv_node_free(node);
    return value;
}

class Lv2Description : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(plugin, nullptr) << "no " << lv2_ports::kPluginUri << " in " << BW_LV2_PATH; }
    World& world = World::get();
    const LilvPlugin* plugin = World::get().plugin();
    bool has(const LilvPort* port, const char* property) {
        return lilv_port_has_property(plugin, port, world.uri(property));
    }
};

}  // namespace

TEST_F(Lv2Description, ThePrivatePathHoldsOnlyTheBuiltPlugin) {
    EXPECT_EQ(lilv_plugins_size(lilv_world_get_all_plugins(world.world())), 1u);
    EXPECT_TRUE(lilv_plugin_verify(plugin));
    LilvNode* name = lilv_plugin_get_name(plugin);
    EXPECT_EQ(text(name), "Brindlewave");
    lilv_node_free(name);
    // Its type (lilv names the class only with the system's core description loaded).
    LilvNodes* types = lilv_plugin_get_value(plugin, world.uri(LILV_NS_RDF "type"));
    EXPECT_TRUE(lilv_nodes_contains(types, world.uri(LV2_CORE__DelayPlugin)));
    lilv_nodes_free(types);

    // The binary is the one built into the bundle, not an installed copy.
    char* library = lilv_file_uri_parse(text(lilv_plugin_get_library_uri(plugin)).c_str(), nullptr);
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(
        std::filesystem::equivalent(library, std::filesystem::path(BW_LV2_PATH) / "Brindlewave.lv2/Brindlewave.so"));
    lilv_free(library);

    // A stable release's version: minor even and not zero, micro even.
    LilvNodes* minor = lilv_plugin_get_value(plugin, world.uri(LV2_CORE__minorVersion));
    LilvNodes* micro = lilv_plugin_get_value(plugin, world.uri(LV2_CORE__microVersion));
    ASSERT_TRUE(minor && micro);
    const int minorVersion = lilv_node_as_int(lilv_nodes_get_first(minor));
    EXPECT_TRUE(minorVersion > 0 && minorVersion % 2 == 0) << minorVersion;
    EXPECT_EQ(lilv_node_as_int(lilv_nodes_get_first(micro)) % 2, 0);
    lilv_nodes_free(minor);
    lilv_nodes_free(micro);

    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    ASSERT_EQ(lilv_nodes_size(required), 1u);
    EXPECT_EQ(text(lilv_nodes_get(required, lilv_nodes_begin(required))), LV2_URID__map);
    lilv_nodes_free(required);
    EXPECT_TRUE(lilv_plugin_has_extension_data(plugin, world.uri(LV2_STATE__interface)));
    EXPECT_EQ(lilv_plugin_get_num_ports(plugin), lv2_ports::kNumPorts);
}

TEST_F(Lv2Description, ControlPortsFollowTheParameters) {
    ParamList& list = parameters();
    ASSERT_EQ(list.numParams(), lv2_ports::kNumControls);
    std::vector<float> minimum(lv2_ports::kNumPorts), maximum(lv2_ports::kNumPorts), defaults(lv2_ports::kNumPorts);
    lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
    for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) {
        const Param& p = *list.param(i);
        const PlainRange r = p.plainRange();
        SCOPED_TRACE(p.getKey());
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        ASSERT_NE(port, nullptr);
        EXPECT_TRUE(lilv_port_is_a(plugin, port, world.uri(LV2_CORE__InputPort)));
        EXPECT_TRUE(lilv_port_is_a(plugin, port, world.uri(LV2_CORE__ControlPort)));
        EXPECT_EQ(text(lilv_port_get_symbol(plugin, port)), p.getKey());
        LilvNode* name = lilv_port_get_name(plugin, port);
        EXPECT_EQ(text(name), p.getName());
        lilv_node_free(name);

        // The range as the floats a host reads from the description.
        EXPECT_EQ(minimum[i], static_cast<float>(r.minimum));
        EXPECT_EQ(maximum[i], static_cast<float>(r.maximum));
        EXPECT_EQ(defaults[i], static_cast<float>(r.defaultValue));

        EXPECT_EQ(has(port, LV2_CORE__integer), r.kind == PlainKind::Integer || r.kind == PlainKind::Choice);
        EXPECT_EQ(has(port, LV2_CORE__toggled), r.kind == PlainKind::Toggle);
        EXPECT_EQ(has(port, LV2_CORE__enumeration), r.kind == PlainKind::Choice);
        EXPECT_EQ(has(port, LV2_PORT_PROPS__logarithmic), r.logarithmic);
        EXPECT_EQ(portValue(plugin, port, LV2_UNITS__unit), unitUri(r.unit));

        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        if (r.kind != PlainKind::Choice) {
            EXPECT_EQ(points, nullptr);
            lilv_scale_points_free(points);
            continue;
        }
        ASSERT_NE(points, nullptr);
        const auto& choice = static_cast<const ChoiceParam&>(p);
        EXPECT_EQ(lilv_scale_points_size(points), 11u);
        EXPECT_EQ(choice.numChoices(), 11u);
        std::map<float, std::string> byValue;
        LILV_FOREACH(scale_points, it, points) {
            const LilvScalePoint* point = lilv_scale_points_get(points, it);
            byValue[lilv_node_as_float(lilv_scale_point_get_value(point))] = text(lilv_scale_point_get_label(point));
        }
        ASSERT_EQ(byValue.size(), 11u);
        uint32_t k = 0;
        for (const auto& [value, label] : byValue) {
            EXPECT_EQ(value, static_cast<float>(k));
            EXPECT_EQ(label, choice.choiceValueText(k));
            ++k;
        }
        EXPECT_EQ(byValue[0.0f], "true sine");
        EXPECT_EQ(byValue[10.0f], "snow 5");
        lilv_scale_points_free(points);
    }
}

TEST_F(Lv2Description, AudioPortsAndTheTimeInput) {
    const struct {
        uint32_t index;
        const char* symbol;
        bool input;
    } audio[] = {{lv2_ports::kInLeft, "in_l", true},
                 {lv2_ports::kInRight, "in_r", true},
                 {lv2_ports::kOutLeft, "out_l", false},
                 {lv2_ports::kOutRight, "out_r", false}};
    for (const auto& a : audio) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, a.index);
        ASSERT_NE(port, nullptr) << a.index;
        EXPECT_EQ(text(lilv_port_get_symbol(plugin, port)), a.symbol);
        EXPECT_TRUE(lilv_port_is_a(plugin, port, world.uri(LV2_CORE__AudioPort))) << a.symbol;
        EXPECT_TRUE(lilv_port_is_a(plugin, port, world.uri(a.input ? LV2_CORE__InputPort : LV2_CORE__OutputPort)))
            << a.symbol;
    }
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, world.uri(LV2_CORE__AudioPort), nullptr), 4u);

    const LilvPort* time = lilv_plugin_get_port_by_index(plugin, lv2_ports::kTime);
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(text(lilv_port_get_symbol(plugin, time)), "time");
    EXPECT_TRUE(lilv_port_is_a(plugin, time, world.uri(LV2_ATOM__AtomPort)));
    EXPECT_TRUE(lilv_port_is_a(plugin, time, world.uri(LV2_CORE__InputPort)));
    EXPECT_EQ(portValue(plugin, time, LV2_ATOM__bufferType), LV2_ATOM__Sequence);
    EXPECT_TRUE(lilv_port_supports_event(plugin, time, world.uri(LV2_TIME__Position)));
}

TEST_F(Lv2Description, PresetsAreTheFactoryPresets) {
    LilvNodes* presets = lilv_plugin_get_related(plugin, world.uri(LV2_PRESETS__Preset));
    ASSERT_NE(presets, nullptr);
    std::map<std::string, std::string> labels;  // URI -> label
    LILV_FOREACH(nodes, it, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, it);
        lilv_world_load_resource(world.world(), preset);
        LilvNodes* label = lilv_world_find_nodes(world.world(), preset, world.uri(LILV_NS_RDFS "label"), nullptr);
        labels[text(preset)] = label ? text(lilv_nodes_get_first(label)) : std::string();
        lilv_nodes_free(label);
    }
    lilv_nodes_free(presets);
    ASSERT_EQ(labels.size(), factoryPresets().size());
    for (const FactoryPreset& preset : factoryPresets())
        EXPECT_EQ(labels[std::string(lv2_ports::kPresetUriPrefix) + preset.id], preset.name) << preset.id;
}
