// Build-time program: writes the LV2 bundle's description (manifest.ttl, the
// plug-in's ports and presets.ttl) from the parameters and factory presets
// themselves, so that no range, default or text is typed twice.
// Usage: brindlewave-lv2-ttl BUNDLE_DIR BINARY_NAME
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "ChoiceParam.h"
#include "DelayCore.h"
#include "FactoryPresets.h"
#include "Lv2Ports.h"
#include "Param.h"

namespace {

const char kPrefixes[] =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

// A decimal literal that reads back as the same float (hosts read port values
// as floats), the shortest that does; always with a point and no exponent,
// since some hosts skip integer literals.
std::string decimal(double value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<float>(value), std::chars_format::fixed).ptr;
    std::string out(text, end);
    if (out.find('.') == std::string::npos) out += ".0";
    return out;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

const char* unitOf(PlainUnit unit) {
    switch (unit) {
        case PlainUnit::Seconds: return "units:s";
        case PlainUnit::Hertz: return "units:hz";
        case PlainUnit::Bpm: return "units:bpm";
        case PlainUnit::Degrees: return "units:degree";
        case PlainUnit::Gain: return "units:coef";
        case PlainUnit::None: break;
    }
    return nullptr;
}

void writeControl(std::ostream& out, uint32_t index, const Param& p) {
    const PlainRange r = p.plainRange();
    out << "    [\n        a lv2:InputPort , lv2:ControlPort ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol " << quoted(p.getKey()) << " ;\n"
        << "        lv2:name " << quoted(p.getName()) << " ;\n"
        << "        lv2:default " << decimal(r.defaultValue) << " ;\n"
        << "        lv2:minimum " << decimal(r.minimum) << " ;\n"
        << "        lv2:maximum " << decimal(r.maximum);
    if (r.kind == PlainKind::Integer) out << " ;\n        lv2:portProperty lv2:integer";
    if (r.kind == PlainKind::Toggle) out << " ;\n        lv2:portProperty lv2:toggled";
    if (r.kind == PlainKind::Choice) {
        out << " ;\n        lv2:portProperty lv2:integer , lv2:enumeration";
        const auto& choice = static_cast<const ChoiceParam&>(p);
        for (uint32_t k = 0; k < choice.numChoices(); ++k)
            out << " ;\n        lv2:scalePoint [ rdfs:label " << quoted(choice.choiceValueText(k)) << " ; rdf:value "
                << decimal(k) << " ]";
    }
    if (r.logarithmic) out << " ;\n        lv2:portProperty pprops:logarithmic";
    if (const char* unit = unitOf(r.unit)) out << " ;\n        units:unit " << unit;
    out << "\n    ]";
}

void writeAudio(std::ostream& out, uint32_t index, bool input, const char* symbol, const char* name) {
    out << "    [\n        a lv2:AudioPort , lv2:" << (input ? "InputPort" : "OutputPort") << " ;\n"
        << "        lv2:index " << index << " ;\n        lv2:symbol \"" << symbol << "\" ;\n        lv2:name \""
        << name << "\"\n    ]";
}

bool writePlugin(const std::string& path, ParamList& list) {
    std::ofstream out(path);
    out << kPrefixes << "<" << lv2_ports::kPluginUri << ">\n"
        << "    a lv2:Plugin , lv2:DelayPlugin ;\n"
        << "    doap:name \"Brindlewave\" ;\n"
        // Even and non-zero: a stable release (LV2 takes minor version 0 for
        // an experimental plug-in that hosts should not show by default).
        << "    lv2:minorVersion 2 ;\n    lv2:microVersion 0 ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
        << "    lv2:requiredFeature urid:map ;\n"
        << "    lv2:extensionData state:interface ;\n"
        << "    lv2:port\n";
    for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) {
        writeControl(out, i, *list.param(i));
        out << " ,\n";
    }
    writeAudio(out, lv2_ports::kInLeft, true, "in_l", "Left in");
    out << " ,\n";
    writeAudio(out, lv2_ports::kInRight, true, "in_r", "Right in");
    out << " ,\n";
    writeAudio(out, lv2_ports::kOutLeft, false, "out_l", "Left out");
    out << " ,\n";
    writeAudio(out, lv2_ports::kOutRight, false, "out_r", "Right out");
    out << " ,\n    [\n        a lv2:InputPort , atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n"
        << "        atom:supports time:Position ;\n        lv2:designation lv2:control ;\n"
        << "        lv2:index " << lv2_ports::kTime << " ;\n        lv2:symbol \"time\" ;\n"
        << "        lv2:name \"Host time\"\n    ] .\n";
    return static_cast<bool>(out);
}

std::string presetUri(const FactoryPreset& preset) { return std::string(lv2_ports::kPresetUriPrefix) + preset.id; }

bool writePresets(const std::string& path) {
    std::ofstream out(path);
    out << kPrefixes;
    for (const FactoryPreset& preset : factoryPresets()) {
        // Every port's value, the defaults where the preset leaves them.
        DelayCore scratch(48000.0f);
        const std::string state = presetState(scratch.parameters(), preset);
        scratch.parameters().setChunk(state.data(), static_cast<int32_t>(state.size()), true);
        out << "<" << presetUri(preset) << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << lv2_ports::kPluginUri
            << "> ;\n    rdfs:label " << quoted(preset.name) << " ;\n    lv2:port";
        for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) {
            const Param& p = *scratch.parameters().param(i);
            out << (i ? " ,\n" : "\n") << "        [ lv2:symbol " << quoted(p.getKey()) << " ; pset:value "
                << decimal(p.getPlainValue()) << " ]";
        }
        out << " .\n\n";
    }
    return static_cast<bool>(out);
}

bool writeManifest(const std::string& path, const std::string& binary) {
    std::ofstream out(path);
    out << kPrefixes << "<" << lv2_ports::kPluginUri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << binary
        << "> ;\n    rdfs:seeAlso <Brindlewave.ttl> .\n\n";
    for (const FactoryPreset& preset : factoryPresets())
        out << "<" << presetUri(preset) << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << lv2_ports::kPluginUri
            << "> ;\n    rdfs:seeAlso <presets.ttl> .\n\n";
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BUNDLE_DIR BINARY_NAME\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1], binary = argv[2];
    DelayCore core(48000.0f);
    ParamList& list = core.parameters();
    if (list.numParams() != lv2_ports::kNumControls) {
        std::fprintf(stderr, "%u parameters, %u control ports\n", list.numParams(), lv2_ports::kNumControls);
        return 1;
    }
    const bool ok = writeManifest(dir + "/manifest.ttl", binary) && writePlugin(dir + "/Brindlewave.ttl", list) &&
                    writePresets(dir + "/presets.ttl");
    if (!ok) std::fprintf(stderr, "could not write the bundle's description in %s\n", dir.c_str());
    return ok ? 0 : 1;
}
