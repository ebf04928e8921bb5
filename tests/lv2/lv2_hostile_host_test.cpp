// The LV2 plug-in under hosts that get things wrong: control values that are
// not numbers or out of range, malformed or truncated time events, ports left
// unconnected, zero-frame runs and sample rates from absurd to extreme.
// Nothing may crash, and the output must stay finite.
#include <gtest/gtest.h>
#include <lv2/time/time.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "Lv2TestHost.h"

using namespace lv2test;

namespace {

constexpr float kRate = 48000.0f;
constexpr uint32_t kBlock = 256;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Renders `in` through the instance in blocks, calling `before(block)`
// ahead of each block.
Stereo render(Instance& lv2, const Stereo& in, const std::function<void(size_t)>& before = {}) {
    Stereo out(in.size());
    for (size_t pos = 0, block = 0; pos < in.size(); pos += kBlock, ++block) {
        if (before) before(block);
        const auto n = static_cast<uint32_t>(std::min<size_t>(kBlock, in.size() - pos));
        lv2.process(&in.left[pos], &in.right[pos], &out.left[pos], &out.right[pos], n);
    }
    return out;
}

Stereo render(Vst2& vst2, const Stereo& in) {
    Stereo out(in.size());
    for (size_t pos = 0; pos < in.size(); pos += kBlock) {
        const auto n = static_cast<int32_t>(std::min<size_t>(kBlock, in.size() - pos));
        vst2.process(&in.left[pos], &in.right[pos], &out.left[pos], &out.right[pos], n);
    }
    return out;
}

const Stereo& input() {
    static const Stereo in = testInput(24000, kRate);
    return in;
}

std::string printed(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

LV2_URID urid(const char* uri) { return urids().map(uri); }

// A time:Position whose beatsPerMinute property is given as it is.
std::vector<uint8_t> positionWith(LV2_URID type, const void* body, uint32_t size) {
    return sequence({event(0, object(LV2_TIME__Position, property(LV2_TIME__beatsPerMinute, type, body, size)))});
}

template <class T>
void put(std::vector<uint8_t>& bytes, size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Offsets in a one-event sequence: sequence header and body (16), event time (8),
// then the event's atom header (8) and the object body (8), then properties.
constexpr size_t kEventAtom = 24, kFirstProperty = 40;

}  // namespace

TEST(Lv2HostileHost, NonFiniteControlValuesKeepTheLastGoodOne) {
    auto hostile = Instance::create(kRate), steady = Instance::create(kRate);
    ASSERT_TRUE(hostile && steady);
    const Settings good = {{"delayTime", 0.1f}, {"wetGain", 0.5f},   {"fbCenterFreq", 800.0f}, {"lfoWaveform", 3.0f},
                           {"tempoSync", 0.0f}, {"numEchoes", 4.0f}, {"delayModDepth", 0.003f}};
    hostile->set(good);
    steady->set(good);
    Vst2 vst2(kRate);
    vst2.set(good);
    const float bad[] = {kNaN, kInf, -kInf, -kNaN};
    const Stereo out = render(*hostile, input(), [&](size_t block) {
        if (block >= 10 && block < 60) {
            for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) hostile->control(i) = bad[(block + i) % 4];
        } else if (block == 60) {
            for (uint32_t i = 0; i < lv2_ports::kNumControls; ++i) hostile->control(i) = steady->control(i);
        }
        if (block == 30) {
            EXPECT_EQ(hostile->saveText(), vst2.plugin->getChunk(true));
        }
    });
    EXPECT_TRUE(allFinite(out));
    EXPECT_EQ(firstDifference(out, render(*steady, input())), -1);
    EXPECT_EQ(hostile->saveText(), steady->saveText());
}

TEST(Lv2HostileHost, OutOfRangeControlValuesAreClamped) {
    ParamList& list = parameters();
    const auto minimum = [&](const char* key) { return printed(list.param(indexOf(key))->plainRange().minimum); };
    const struct {
        const char* key;
        float wild;
        std::string clamped;  // as the VST 2 state text takes it
    } cases[] = {
        {"tempo", FLT_MAX, "1000"},       {"numEchoes", 99.0f, "16"},
        {"numBeats", -5.0f, "1"},         {"delayTime", 1e30f, "4"},
        {"delayModDepth", -1.0f, "0"},    {"delayModRate", 1e-45f, minimum("delayModRate")},
        {"lfoWaveform", 42.0f, "snow 5"}, {"lfoCutoff", 0.0f, minimum("lfoCutoff")},
        {"dryGain", 3.0f, "1"},           {"wetGain", -3.0f, "0"},
        {"wetSwapLR", -1.0f, "false"},    {"wetSwapMS", 0.25f, "true"},
        {"wetRotation", 1e9f, "90"},      {"fbGain", 7.0f, "1"},
        {"fbCenterFreq", -FLT_MAX, "20"}, {"fbQ", 1e-45f, minimum("fbQ")},
        {"fbSwapLR", 1e9f, "true"},       {"fbRotation", -1e9f, "-90"},
    };
    auto lv2 = Instance::create(kRate);
    Vst2 vst2(kRate);
    ASSERT_TRUE(lv2 && vst2.plugin);
    std::vector<std::pair<std::string, std::string>> texts;
    for (const auto& c : cases) {
        lv2->control(indexOf(c.key)) = c.wild;
        texts.emplace_back(c.key, c.clamped);
    }
    vst2.setTexts(texts);
    const Stereo out = render(*lv2, input());
    EXPECT_TRUE(allFinite(out));
    EXPECT_EQ(lv2->saveText(), vst2.plugin->getChunk(true));
    EXPECT_EQ(firstDifference(out, render(vst2, input())), -1);

    // Rounded to the nearest entry or count.
    lv2->control(indexOf("lfoWaveform")) = 2.6f;
    lv2->control(indexOf("numBeats")) = 3.4f;
    lv2->control(indexOf("numEchoes")) = -1e30f;
    lv2->run(0);
    const std::string text = lv2->saveText();
    EXPECT_NE(text.find("\tlfoWaveform\n\t\tramp up\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\tnumBeats\n\t\t3\n"), std::string::npos);
    EXPECT_NE(text.find("\tnumEchoes\n\t\t1\n"), std::string::npos);
}

TEST(Lv2HostileHost, MalformedTimeEventsAreIgnored) {
    const Settings synced = {{"tempoSync", 1.0f}, {"numEchoes", 16.0f}, {"numBeats", 1.0f}, {"fbGain", 0.8f}};
    const float sixty = 60.0f;
    const LV2_URID tFloat = urid(LV2_ATOM__Float), tDouble = urid(LV2_ATOM__Double);
    std::vector<std::vector<uint8_t>> hostile;

    const auto valid = positionWith(tFloat, &sixty, sizeof sixty);
    hostile.push_back({0, 0, 0, 0, 0, 0, 0, 0});  // a sequence of size 0
    put(hostile.back(), 4, urid(LV2_ATOM__Sequence));
    hostile.push_back(std::vector<uint8_t>(valid.begin(), valid.begin() + 12));  // body cut to 4 bytes
    put(hostile.back(), 0, uint32_t{4});
    hostile.push_back(std::vector<uint8_t>(valid.begin(), valid.end() - 8));  // the event cut short
    put(hostile.back(), 0, static_cast<uint32_t>(valid.size() - 16));
    hostile.push_back(valid);  // the event runs far past the sequence
    put(hostile.back(), kEventAtom, uint32_t{0xFFFFFFF0u});
    hostile.push_back(valid);  // the tempo's value runs past the object
    put(hostile.back(), kFirstProperty + 8, uint32_t{1000});
    hostile.push_back(valid);  // an object too short for its own body
    put(hostile.back(), kEventAtom, uint32_t{4});
    hostile.push_back(valid);  // an object cut inside its property's header
    put(hostile.back(), kEventAtom, uint32_t{8 + 10});
    hostile.push_back(valid);  // not a sequence at all
    put(hostile.back(), 4, urid(LV2_ATOM__Chunk));
    hostile.push_back(valid);  // the event is a tuple, not an object
    put(hostile.back(), kEventAtom + 4, urid(LV2_ATOM__Tuple));
    hostile.push_back(sequence(
        {event(0, object("urn:quarrylane:test#notPosition", property(LV2_TIME__beatsPerMinute, tFloat, &sixty, 4)))}));
    hostile.push_back(positionWith(urid(LV2_ATOM__String), "60", 3));
    hostile.push_back(positionWith(tFloat, &sixty, 2));   // a float of two bytes
    hostile.push_back(positionWith(tDouble, &sixty, 4));  // a double of four bytes
    hostile.push_back(positionWith(urid(LV2_ATOM__Bool), &sixty, 4));
    for (float f : {kNaN, kInf, -kInf}) hostile.push_back(positionWith(tFloat, &f, 4));
    for (double d : {std::nan(""), -HUGE_VAL}) hostile.push_back(positionWith(tDouble, &d, 8));
    // A position without a tempo, and two positions whose last one repeats the tempo in force.
    const float hundred = 100.0f;
    hostile.push_back(sequence({event(0, object(LV2_TIME__Position, {}))}));
    hostile.push_back(
        sequence({event(0, object(LV2_TIME__Position, property(LV2_TIME__beatsPerMinute, tFloat, &sixty, 4))),
                  event(5, object(LV2_TIME__Position, property(LV2_TIME__beatsPerMinute, tFloat, &hundred, 4)))}));

    // Noise all along and short delays, so that a tempo taken for a single
    // block shows in the output at once.
    Stereo noise(24000);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    for (size_t i = 0; i < noise.size(); ++i) noise.left[i] = uniform(random), noise.right[i] = uniform(random);
    constexpr size_t kFirst = 16;  // the line holds noise at the delay from here on
    ASSERT_LT(kFirst + 2 * hostile.size(), noise.size() / kBlock);

    // Each hostile sequence in a block of its own, then an empty block; the
    // tempo stays the 100 of the first block.
    auto lv2 = Instance::create(kRate), reference = Instance::create(kRate);
    ASSERT_TRUE(lv2 && reference);
    lv2->set(synced);
    reference->set(synced);
    const Stereo out = render(*lv2, noise, [&](size_t block) {
        if (block == 0) lv2->queueTempo(100.0);
        if (block >= kFirst && block % 2 == 0 && (block - kFirst) / 2 < hostile.size())
            lv2->queueSequence(hostile[(block - kFirst) / 2]);
    });
    reference->queueTempo(100.0);
    EXPECT_TRUE(allFinite(out));
    EXPECT_EQ(firstDifference(out, render(*reference, noise)), -1);

    // Had any of them been taken for a block, the output would differ there.
    auto once = Instance::create(kRate);
    once->set(synced);
    const long changed = firstDifference(out, render(*once, noise, [&](size_t block) {
                                             if (block == 0) once->queueTempo(100.0);
                                             if (block == kFirst + 7) once->queueTempo(60.0);
                                             if (block == kFirst + 8) once->queueTempo(100.0);
                                         }));
    EXPECT_GE(changed, static_cast<long>((kFirst + 7) * kBlock));
    EXPECT_LT(changed, static_cast<long>((kFirst + 9) * kBlock));
}

TEST(Lv2HostileHost, TempoOfAnyNumberTypeAndOutOfRange) {
    const int32_t i90 = 90, i0 = 0;
    const int64_t l132 = 132, lHuge = int64_t{1} << 50;
    const double d97 = 97.125, dHuge = 1e12;
    const float fNegative = -120.0f;
    const struct {
        LV2_URID type;
        const void* body;
        uint32_t size;
        double hostTempo;
    } cases[] = {{urid(LV2_ATOM__Int), &i90, 4, 90.0},
                 {urid(LV2_ATOM__Long), &l132, 8, 132.0},
                 {urid(LV2_ATOM__Double), &d97, 8, 97.125},
                 {urid(LV2_ATOM__Int), &i0, 4, 0.0},
                 {urid(LV2_ATOM__Float), &fNegative, 4, -120.0},
                 {urid(LV2_ATOM__Double), &dHuge, 8, 1e12},
                 {urid(LV2_ATOM__Long), &lHuge, 8, 1125899906842624.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hostTempo);
        auto lv2 = Instance::create(kRate);
        Vst2 vst2(kRate);
        ASSERT_TRUE(lv2 && vst2.plugin);
        const Settings synced = {{"tempoSync", 1.0f}, {"numEchoes", 16.0f}, {"numBeats", 1.0f}};
        lv2->set(synced);
        vst2.set(synced);
        lv2->queueSequence(positionWith(c.type, c.body, c.size));
        vst2.host.setTempo(c.hostTempo);
        const Stereo out = render(*lv2, input());
        EXPECT_TRUE(allFinite(out));
        EXPECT_EQ(firstDifference(out, render(vst2, input())), -1);
    }
}

TEST(Lv2HostileHost, UnconnectedPorts) {
    const Stereo& in = input();
    const size_t whole = in.size() / kBlock * kBlock;
    const Settings settings = {{"delayTime", 0.05f}, {"wetGain", 0.2f}, {"fbGain", 0.65f}};

    // The right input unconnected plays silence; the left output unconnected
    // in every other block leaves its old buffer alone, and the right
    // channel goes on as it would.
    auto lv2 = Instance::create(kRate), fed = Instance::create(kRate);
    ASSERT_TRUE(lv2 && fed);
    lv2->set(settings);
    fed->set(settings);
    Stereo leftOnly = in;
    std::fill(leftOnly.right.begin(), leftOnly.right.end(), 0.0f);
    const Stereo expected = render(*fed, leftOnly);
    std::vector<float> inL(kBlock), outL(kBlock), outR(kBlock);
    const std::vector<float> untouched(kBlock, 1234.5f);
    Stereo out(whole);
    for (size_t pos = 0, block = 0; pos < whole; pos += kBlock, ++block) {
        const bool leftConnected = block % 2 == 0;
        std::copy(&in.left[pos], &in.left[pos] + kBlock, inL.begin());
        outL = untouched;
        lv2->connect(lv2_ports::kInLeft, inL.data());
        lv2->connect(lv2_ports::kInRight, nullptr);
        lv2->connect(lv2_ports::kOutLeft, leftConnected ? outL.data() : nullptr);
        lv2->connect(lv2_ports::kOutRight, outR.data());
        lv2->run(kBlock);
        if (!leftConnected) {
            ASSERT_EQ(outL, untouched) << "block " << block;
        }
        for (size_t i = 0; i < kBlock; ++i) {
            ASSERT_EQ(outR[i], expected.right[pos + i]) << pos + i;
            if (leftConnected) {
                ASSERT_EQ(outL[i], expected.left[pos + i]) << pos + i;
            }
            ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i]));
        }
    }

    // A control port unconnected keeps the value it had, whatever its old
    // buffer holds later; the time port unconnected is no time.
    auto reference = Instance::create(kRate), controls = Instance::create(kRate);
    ASSERT_TRUE(reference && controls);
    reference->set(settings);
    controls->set(settings);
    controls->run(0);
    float moved = 0.9f;
    controls->connect(indexOf("wetGain"), &moved);
    controls->connect(indexOf("wetGain"), nullptr);
    controls->connect(indexOf("fbGain"), nullptr);
    controls->control(indexOf("fbGain")) = 0.1f;
    controls->connect(lv2_ports::kTime, nullptr);
    EXPECT_EQ(firstDifference(render(*controls, in), render(*reference, in)), -1);
    EXPECT_EQ(controls->saveText(), reference->saveText());

    // Nothing connected at all: runs, and the never-connected controls keep the defaults.
    auto never = Instance::create(kRate);
    ASSERT_TRUE(never);
    for (uint32_t port = 0; port < lv2_ports::kNumPorts; ++port) never->connect(port, nullptr);
    never->run(kBlock);
    never->run(0);
    Vst2 defaults(kRate);
    EXPECT_EQ(never->saveText(), defaults.plugin->getChunk(true));
}

TEST(Lv2HostileHost, ZeroFrameRunsWriteNothing) {
    auto lv2 = Instance::create(kRate);
    ASSERT_TRUE(lv2);
    std::vector<float> in(64, 0.5f), outL(64, 7.0f), outR(64, -7.0f);
    lv2->connect(lv2_ports::kInLeft, in.data());
    lv2->connect(lv2_ports::kInRight, in.data());
    lv2->connect(lv2_ports::kOutLeft, outL.data());
    lv2->connect(lv2_ports::kOutRight, outR.data());
    for (int k = 0; k < 5; ++k) {
        lv2->control(indexOf("delayTime")) = 0.001f * static_cast<float>(k);
        lv2->queueTempo(100.0 + k);
        lv2->run(0);
    }
    EXPECT_EQ(outL, std::vector<float>(64, 7.0f));
    EXPECT_EQ(outR, std::vector<float>(64, -7.0f));
    lv2->run(64);
    EXPECT_EQ(outL[0], 0.5f);  // the dry input, the echo not yet there
}

TEST(Lv2HostileHost, SampleRates) {
    for (double rate : {0.0, -0.0, -1.0, -48000.0, std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, 1e-50})
        EXPECT_EQ(Instance::create(rate), nullptr) << rate;

    for (double rate : {1.0, 8000.0, 384000.0}) {
        SCOPED_TRACE(rate);
        auto lv2 = Instance::create(rate);
        ASSERT_TRUE(lv2);
        lv2->set({{"delayTime", 0.01f}});
        const size_t frames = std::max<size_t>(256, static_cast<size_t>(rate * 0.05));
        Stereo impulse(frames);
        impulse.left[0] = 1.0f;
        const Stereo out = render(*lv2, impulse);
        EXPECT_TRUE(allFinite(out));
        if (rate < 1000.0) continue;
        EXPECT_EQ(out.left[0], 1.0f);
        // The first echo, on the right, after 10 ms at this rate.
        size_t first = 0;
        while (first < frames && std::fabs(out.right[first]) <= 1e-9f) ++first;
        EXPECT_EQ(first, static_cast<size_t>(std::lround(rate * 0.01)));
    }

    // A host that leaves out the URID map still gets sound, without time or state.
    auto unmapped = Instance::create(kRate, false);
    ASSERT_TRUE(unmapped);
    unmapped->queueTempo(90.0);
    EXPECT_TRUE(allFinite(render(*unmapped, input())));
    StoredState stored;
    EXPECT_EQ(unmapped->save(&stored), LV2_STATE_ERR_NO_FEATURE);
    EXPECT_FALSE(stored.stored);
}

TEST(Lv2HostileHost, ReactivationStartsAgainFromSilence) {
    // deactivate() and activate() reset everything the history left behind
    // (the echoes in the line, the LFO, the glides), and keep the settings.
    const Settings settings = {{"delayTime", 0.05f},  {"fbGain", 0.9f},         {"delayModDepth", 0.002f},
                               {"lfoWaveform", 7.0f}, {"fbCenterFreq", 700.0f}, {"wetRotation", 10.1f}};
    auto used = Instance::create(kRate), fresh = Instance::create(kRate);
    ASSERT_TRUE(used && fresh);
    used->set(settings);
    fresh->set(settings);
    render(*used, input());
    used->reactivate();
    const Stereo again = render(*used, input());
    EXPECT_EQ(firstDifference(again, render(*fresh, input())), -1);
    EXPECT_EQ(used->saveText(), fresh->saveText());
    // A restored state's exact values survive it too.
    Vst2 vst2(kRate);
    vst2.set(settings);
    ASSERT_EQ(used->restore(vst2.plugin->getChunk(true)), LV2_STATE_SUCCESS);
    const std::string restored = used->saveText();
    used->reactivate();
    used->run(0);
    EXPECT_EQ(used->saveText(), restored);
}

TEST(Lv2HostileHost, InputsAndOutputsSharingBuffers) {
    // LV2 lets a host connect an output to the very buffer of an input
    // (the plug-in does not declare lv2:inPlaceBroken), crossed or not.
    const Settings settings = {
        {"delayTime", 0.03f}, {"fbGain", 0.8f}, {"wetRotation", 30.0f}, {"delayModDepth", 0.001f}};
    const Stereo& in = input();
    for (bool crossed : {false, true}) {
        SCOPED_TRACE(crossed ? "crossed" : "straight");
        auto separate = Instance::create(kRate), shared = Instance::create(kRate);
        ASSERT_TRUE(separate && shared);
        separate->set(settings);
        shared->set(settings);
        const Stereo expected = render(*separate, in);
        Stereo out(in.size());
        std::vector<float> a(kBlock), b(kBlock);
        for (size_t pos = 0; pos + kBlock <= in.size(); pos += kBlock) {
            std::copy(&in.left[pos], &in.left[pos] + kBlock, a.begin());
            std::copy(&in.right[pos], &in.right[pos] + kBlock, b.begin());
            shared->connect(lv2_ports::kInLeft, a.data());
            shared->connect(lv2_ports::kInRight, b.data());
            shared->connect(lv2_ports::kOutLeft, crossed ? b.data() : a.data());
            shared->connect(lv2_ports::kOutRight, crossed ? a.data() : b.data());
            shared->run(kBlock);
            std::copy(a.begin(), a.end(), crossed ? &out.right[pos] : &out.left[pos]);
            std::copy(b.begin(), b.end(), crossed ? &out.left[pos] : &out.right[pos]);
        }
        for (size_t i = 0; i < in.size() / kBlock * kBlock; ++i) {
            ASSERT_EQ(out.left[i], expected.left[i]) << i;
            ASSERT_EQ(out.right[i], expected.right[i]) << i;
        }
    }
}
