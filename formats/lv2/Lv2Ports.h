// The LV2 plug-in's identity and port layout, shared by the plug-in and the
// program that writes its description: control port i is parameter i, then
// the audio ports and the time input.
#pragma once

#include <cstdint>

namespace lv2_ports {

inline constexpr char kPluginUri[] = "urn:quarrylane:brindlewave";
inline constexpr char kStateUri[] = "urn:quarrylane:brindlewave#state";
inline constexpr char kPresetUriPrefix[] = "urn:quarrylane:brindlewave#preset-";

inline constexpr uint32_t kNumControls = 22;
inline constexpr uint32_t kInLeft = kNumControls;
inline constexpr uint32_t kInRight = kNumControls + 1;
inline constexpr uint32_t kOutLeft = kNumControls + 2;
inline constexpr uint32_t kOutRight = kNumControls + 3;
inline constexpr uint32_t kTime = kNumControls + 4;
inline constexpr uint32_t kNumPorts = kNumControls + 5;

}  // namespace lv2_ports
