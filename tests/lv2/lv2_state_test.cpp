// State through the LV2 state interface and lilv: the saved text is the VST 2
// preset chunk, a restore comes back unchanged, control ports override a
// restored state only when moved, states cross between the formats, and
// every factory preset of presets.ttl loads and sounds.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>

#include <cmath>
#include <string>

#include "FactoryPresets.h"
#include "Lv2TestHost.h"

using namespace lv2test;

namespace {

constexpr float kRate = 48000.0f;

// A setting off its default on every parameter, most of them floats that no
// short decimal is exactly.
const Settings kEverything = {{"tempo", 133.7f},       {"numEchoes", 3.0f},       {"numBeats", 7.0f},
                              {"tempoSync", 1.0f},     {"delayTime", 0.3333f},    {"delayModDepth", 0.0125f},
                              {"delayModRate", 0.77f}, {"lfoWaveform", 8.0f},     {"lfoCutoff", 123.4f},
                              {"dryGain", 0.8f},       {"wetGain", 0.45f},        {"wetSwapLR", 1.0f},
                              {"wetSwapMS", 1.0f},     {"wetInvertPhase", 1.0f},  {"wetRotation", -12.5f},
                              {"fbGain", 0.66f},       {"fbCenterFreq", 2345.6f}, {"fbQ", 0.77f},
                              {"fbSwapLR", 0.0f},      {"fbSwapMS", 0.0f},        {"fbInvertPhase", 1.0f},
                              {"fbRotation", 45.0f}};

Stereo render(Instance& lv2, const Stereo& in, uint32_t block = 512) {
    Stereo out(in.size());
    for (size_t pos = 0; pos < in.size(); pos += block) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(block, in.size() - pos));
        lv2.process(&in.left[pos], &in.right[pos], &out.left[pos], &out.right[pos], n);
    }
    return out;
}

Stereo render(Vst2& vst2, const Stereo& in, int32_t block = 512) {
    Stereo out(in.size());
    for (size_t pos = 0; pos < in.size(); pos += block) {
        const auto n = static_cast<int32_t>(std::min<size_t>(block, in.size() - pos));
        vst2.process(&in.left[pos], &in.right[pos], &out.left[pos], &out.right[pos], n);
    }
    return out;
}

// The VST 2 preset chunk for these settings.
std::string vst2Chunk(const Settings& values) {
    Vst2 vst2(kRate);
    vst2.set(values);
    return vst2.plugin->getChunk(true);
}

}  // namespace

TEST(Lv2State, SaveIsTheVst2PresetChunk) {
    for (const Settings& values : {Settings{}, kEverything, Settings{{"delayTime", 0.1f}, {"lfoWaveform", 10.0f}}}) {
        auto lv2 = Instance::create(kRate);
        ASSERT_TRUE(lv2);
        lv2->set(values);
        lv2->run(64);
        StoredState stored;
        ASSERT_EQ(lv2->save(&stored), LV2_STATE_SUCCESS);
        ASSERT_TRUE(stored.stored);
        EXPECT_EQ(stored.key, lv2_ports::kStateUri);
        EXPECT_EQ(stored.type, urids().map(LV2_ATOM__String));
        EXPECT_EQ(stored.flags & (LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE), LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
        // An atom:String: the text, then its terminating zero.
        const std::string expected = vst2Chunk(values);
        EXPECT_EQ(stored.value, expected + std::string(1, '\0'));
    }
}

TEST(Lv2State, RestoreThenSaveGivesTheTextBack) {
    const std::string text = vst2Chunk(kEverything);
    auto lv2 = Instance::create(kRate);
    ASSERT_TRUE(lv2);
    lv2->run(64);
    ASSERT_EQ(lv2->restore(text + std::string(1, '\0')), LV2_STATE_SUCCESS);
    EXPECT_EQ(lv2->saveText(), text);
    // Without its terminating zero too.
    ASSERT_EQ(lv2->restore(vst2Chunk({})), LV2_STATE_SUCCESS);
    ASSERT_EQ(lv2->restore(text), LV2_STATE_SUCCESS);
    EXPECT_EQ(lv2->saveText(), text);
}

TEST(Lv2State, ControlPortsOverrideARestoredStateOnlyWhenMoved) {
    const std::string restored = vst2Chunk(kEverything);
    auto lv2 = Instance::create(kRate);
    ASSERT_TRUE(lv2);
    lv2->set({{"delayTime", 0.2f}, {"wetGain", 0.1f}, {"fbRotation", -30.0f}});
    lv2->run(64);
    ASSERT_EQ(lv2->restore(restored), LV2_STATE_SUCCESS);
    for (int k = 0; k < 3; ++k) lv2->run(64);
    EXPECT_EQ(lv2->saveText(), restored) << "an unchanged port overrode the restored state";

    // A port moved after the restore takes over its parameter, and only it.
    lv2->set({{"wetGain", 0.7f}});
    lv2->run(64);
    Vst2 vst2(kRate);
    ASSERT_EQ(vst2.plugin->setChunk(restored, true), 1);
    vst2.set({{"wetGain", 0.7f}});
    EXPECT_EQ(lv2->saveText(), vst2.plugin->getChunk(true));

    // Restored before the first run, into ports at their defaults.
    auto fresh = Instance::create(kRate);
    ASSERT_TRUE(fresh);
    ASSERT_EQ(fresh->restore(restored), LV2_STATE_SUCCESS);
    fresh->run(0);
    EXPECT_EQ(fresh->saveText(), restored);
}

TEST(Lv2State, APortMovedSinceTheLastBlockIsSavedWithItsNewValue) {
    // A host that moves a knob and saves before the next block (a bypassed
    // plug-in, a script) gets the value it set, as that block would take it.
    auto lv2 = Instance::create(kRate);
    ASSERT_TRUE(lv2);
    lv2->run(64);
    lv2->set({{"delayTime", 0.3f}, {"lfoWaveform", 4.0f}});
    Vst2 vst2(kRate);
    vst2.set({{"delayTime", 0.3f}, {"lfoWaveform", 4.0f}});
    EXPECT_EQ(lv2->saveText(), vst2.plugin->getChunk(true));
    lv2->run(64);
    EXPECT_EQ(lv2->saveText(), vst2.plugin->getChunk(true));
}

TEST(Lv2State, StatesCrossBetweenTheFormats) {
    const Stereo in = testInput(60000, kRate);

    // VST 2 to LV2: the same text back and, with both loaded from that
    // text, the same sound.
    Vst2 vst2(kRate);
    vst2.set(kEverything);
    const std::string fromVst2 = vst2.plugin->getChunk(true);
    ASSERT_EQ(vst2.plugin->setChunk(fromVst2, true), 1);
    auto lv2 = Instance::create(kRate);
    ASSERT_TRUE(lv2);
    ASSERT_EQ(lv2->restore(fromVst2), LV2_STATE_SUCCESS);
    EXPECT_EQ(lv2->saveText(), fromVst2);
    const Stereo out = render(*lv2, in);
    EXPECT_EQ(firstDifference(out, render(vst2, in)), -1);
    EXPECT_GT(peakOf(out, 48000), 1e-3f) << "no echo";

    // LV2 to VST 2.
    auto source = Instance::create(kRate);
    ASSERT_TRUE(source);
    source->set({{"delayTime", 0.0625f}, {"lfoWaveform", 4.0f}, {"delayModDepth", 0.001f}, {"fbSwapMS", 0.0f}});
    source->run(0);
    const std::string fromLv2 = source->saveText();
    Vst2 target(kRate);
    ASSERT_EQ(target.plugin->setChunk(fromLv2, true), 1);
    EXPECT_EQ(target.plugin->getChunk(true), fromLv2);
    EXPECT_EQ(firstDifference(render(*source, in), render(target, in)), -1);
}

TEST(Lv2State, ASessionThroughLilvComesBackWhole) {
    // Saved as a host saves a session (port values and the plug-in's
    // state, as text), then loaded into a new instance.
    auto saved = Instance::create(kRate);
    ASSERT_TRUE(saved);
    saved->set(kEverything);
    saved->run(64);
    LilvState* snapshot = saved->snapshot();
    ASSERT_NE(snapshot, nullptr);
    auto* map = static_cast<LV2_URID_Map*>(urids().features()[0]->data);
    auto* unmap = static_cast<LV2_URID_Unmap*>(urids().features()[1]->data);
    char* ttl =
        lilv_state_to_string(World::get().world(), map, unmap, snapshot, "urn:quarrylane:test#session", nullptr);
    lilv_state_free(snapshot);
    ASSERT_NE(ttl, nullptr);
    LilvState* loaded = lilv_state_new_from_string(World::get().world(), map, ttl);
    lilv_free(ttl);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(lilv_state_get_num_properties(loaded), 1u);

    auto restored = Instance::create(kRate);
    ASSERT_TRUE(restored);
    restored->applyLilvState(loaded);
    lilv_state_free(loaded);
    for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) EXPECT_EQ(restored->control(i), saved->control(i)) << i;
    const Stereo in = testInput(20000, kRate);
    const Stereo out = render(*restored, in);
    EXPECT_EQ(restored->saveText(), saved->saveText());
    Vst2 vst2(kRate);
    ASSERT_EQ(vst2.plugin->setChunk(saved->saveText(), true), 1);
    EXPECT_EQ(firstDifference(out, render(vst2, in)), -1);
}

TEST(Lv2State, RestoreRefusesWhatItCannotUse) {
    auto lv2 = Instance::create(kRate);
    ASSERT_TRUE(lv2);
    lv2->set({{"delayTime", 0.2f}});
    lv2->run(64);
    const std::string before = lv2->saveText();
    const std::string good = vst2Chunk(kEverything);
    EXPECT_EQ(lv2->restoreNothing(), LV2_STATE_ERR_NO_PROPERTY);
    EXPECT_EQ(lv2->restore(good, urids().map(LV2_ATOM__Int)), LV2_STATE_ERR_BAD_TYPE);
    EXPECT_NE(lv2->restore("not a state at all"), LV2_STATE_SUCCESS);
    EXPECT_NE(lv2->restore(std::string()), LV2_STATE_SUCCESS);
    EXPECT_NE(lv2->restore(std::string(3, '\0')), LV2_STATE_SUCCESS);
    EXPECT_EQ(lv2->saveText(), before);
    // The ports still count after refused restores.
    lv2->set({{"delayTime", 0.25f}});
    lv2->run(64);
    EXPECT_EQ(lv2->saveText(), vst2Chunk({{"delayTime", 0.25f}}));
}

TEST(Lv2Presets, EveryFactoryPresetLoadsAndSounds) {
    World& world = World::get();
    auto* map = static_cast<LV2_URID_Map*>(urids().features()[0]->data);
    const Stereo in = testInput(48000, kRate);
    ASSERT_EQ(peakOf(in, 6000), 0.0f);
    size_t loaded = 0;
    for (const FactoryPreset& preset : factoryPresets()) {
        SCOPED_TRACE(preset.id);
        const std::string uri = std::string(lv2_ports::kPresetUriPrefix) + preset.id;
        const LilvNode* node = world.uri(uri.c_str());
        lilv_world_load_resource(world.world(), node);
        LilvState* state = lilv_state_new_from_world(world.world(), map, node);
        ASSERT_NE(state, nullptr);
        EXPECT_STREQ(lilv_state_get_label(state), preset.name);
        auto lv2 = Instance::create(kRate);
        ASSERT_TRUE(lv2);
        lv2->applyLilvState(state);
        lilv_state_free(state);
        const Stereo out = render(*lv2, in);
        EXPECT_TRUE(allFinite(out));
        // The echoes alone, after the 0.12 s of input, peak above -40 dBFS.
        EXPECT_GT(peakOf(out, 6000), 0.01f) << "quieter than -40 dBFS";

        // The preset's settings, as the factory preset's own state text has them.
        DelayCore scratch(kRate);
        const std::string text = presetState(scratch.parameters(), preset);
        ASSERT_EQ(scratch.parameters().setChunk(text.data(), static_cast<int32_t>(text.size()), true), 1);
        void* canonical = nullptr;
        const int32_t size = scratch.parameters().getChunk(&canonical, true);
        EXPECT_EQ(lv2->saveText(), std::string(static_cast<const char*>(canonical), static_cast<size_t>(size)));
        ++loaded;
    }
    EXPECT_EQ(loaded, 10u);
}
