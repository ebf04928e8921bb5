// The effect through its plug-in interface: parameters as the host sees them,
// the echo pattern, tempo following, state, and the mended edge cases.
#include <cmath>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ImpulseRender.h"
#include "PluginFixture.h"

namespace {

constexpr float kRate = 44100.0f;
constexpr int kDelayFrames = 22050;  // floor(0.5 * 44100 + 0.5)

// Knob position that selects integer value v of a 1..16 parameter.
float intKnob(int v) { return static_cast<float>(v - 1) / 15.0f; }

int firstAbove(const std::vector<float>& x, float threshold, size_t from = 0) {
    for (size_t i = from; i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold) return static_cast<int>(i);
    return -1;
}

bool allFinite(const StereoBuffer& b) {
    for (size_t i = 0; i < b.size(); ++i)
        if (!std::isfinite(b.left[i]) || !std::isfinite(b.right[i])) return false;
    return true;
}

float peakOf(const StereoBuffer& b) {
    float peak = 0.0f;
    for (size_t i = 0; i < b.size(); ++i) peak = std::fmax(peak, std::fmax(std::fabs(b.left[i]), std::fabs(b.right[i])));
    return peak;
}

// The first frame from `from` on at which either output is above 1e-9.
int firstHeard(const StereoBuffer& b, size_t from) {
    for (size_t i = from; i < b.size(); ++i)
        if (std::fabs(b.left[i]) > 1e-9f || std::fabs(b.right[i]) > 1e-9f) return static_cast<int>(i);
    return -1;
}

// A preset-form state that sets these parameters; the others keep their defaults.
std::string stateWith(std::initializer_list<std::pair<const char*, const char*>> values) {
    std::string text = "ParameterList";
    for (const auto& [key, value] : values) text += std::string("\n\t") + key + "\n\t\t" + value;
    return text;
}

// Sets these parameters (the others to their defaults) through the
// preset-form state text, as a saved preset would; returns what the plug-in
// answers to the chunk.
intptr_t setValues(hostkit::Plugin& plugin, std::initializer_list<std::pair<const char*, const char*>> values) {
    return plugin.setChunk(stateWith(values), true);
}

// The impulse response of the feedback band-pass once its coefficients have settled.
std::vector<float> settledResponse(const BiquadCoeffs& settled, size_t frames) {
    FilterModel filter;
    std::vector<float> h(frames);
    for (size_t k = 0; k < frames; ++k) h[k] = filter.run(settled, k == 0 ? 1.0 : 0.0);
    return h;
}

}  // namespace

using Effect = PluginTest;

TEST_F(Effect, ParametersRightAfterConstruction) {
    ASSERT_EQ(effect()->numParams, 22);
    struct Row {
        float knob;
        const char* display;
        const char* label;
        const char* name;
    };
    const Row rows[22] = {
        {0.458013f, "120", "bpm", "Tempo"},
        {0.2f, "4", "", "Ts echoes"},
        {0.2f, "4", "", "Ts beats"},
        {0.0f, "off", "", "Tempo sync"},
        {0.594604f, "500", "ms", "Delay"},
        {0.0f, "0", "ms", "Mod depth"},
        {0.577475f, "1", "Hz", "Mod rate"},
        {0.0f, "trueSine", "", "Lfo shape"},
        {1.0f, "22000", "Hz", "Lfo cutoff"},
        {1.0f, "0", "dB", "Dry gain"},
        {0.5f, "-12.0412", "dB", "Wet gain"},
        {0.0f, "off", "", "Wet swap LR"},
        {0.0f, "off", "", "Wet swap MS"},
        {0.0f, "off", "", "Wet invert phase"},
        {0.5f, "0", "deg", "Wet rotation"},
        {0.707107f, "-6.0206", "dB", "Feedback gain"},
        {0.625020f, "1500", "Hz", "Feedback center freq"},
        {0.6f, "0.125", "", "Feedback Q"},
        {1.0f, "on", "", "Feedback swap LR"},
        {1.0f, "on", "", "Feedback swap MS"},
        {0.0f, "off", "", "Feedback invert phase"},
        {0.5f, "0", "deg", "Feedback rotation"},
    };
    for (int i = 0; i < 22; ++i) {
        EXPECT_NEAR(plugin->getParameter(i), rows[i].knob, 1e-6) << i;
        EXPECT_EQ(plugin->paramDisplay(i), rows[i].display) << i;
        EXPECT_EQ(plugin->paramLabel(i), rows[i].label) << i;
        EXPECT_EQ(plugin->paramName(i), rows[i].name) << i;
    }
    EXPECT_EQ(plugin->getParameter(22), 0.0f);
    EXPECT_EQ(plugin->paramName(22), "");
    EXPECT_EQ(plugin->paramName(-1), "");
}

TEST_F(Effect, WaveformKnobSelectsEntriesAndTheHostSeesEightCharacters) {
    const char* shown[11] = {"trueSine", "fakeSine", "triangle", "rampUp",   "rampDown", "square",
                             "snowflak", "snowflak", "snowflak", "snowflak", "snowflak"};
    for (int k = 0; k <= 10; ++k) {
        plugin->setParameter(7, static_cast<float>(k) / 10.0f);
        EXPECT_EQ(plugin->paramDisplay(7), shown[k]) << k;
        EXPECT_NEAR(plugin->getParameter(7), k / 10.0, 1e-7);
    }
    plugin->setParameter(7, 1.0f);
    EXPECT_EQ(plugin->paramDisplay(7), "snowflak");
    EXPECT_NE(plugin->getChunk(true).find("snow 5"), std::string::npos);
    plugin->setParameter(2, 1.0f);
    EXPECT_EQ(plugin->paramDisplay(2), "16");
    plugin->setParameter(2, 0.0f);
    EXPECT_EQ(plugin->paramDisplay(2), "1");
}

TEST_F(Effect, DefaultEchoPatternTurnsAndAlternates) {
    plugin->prepare(kRate, 512);
    const auto out = render(*plugin, leftImpulse(3 * kDelayFrames));
    BiquadCoeffs settled;
    const auto h = firstPassResponse(1500.0f, 0.125f, kRate, 2000, &settled);

    // The dry impulse at once on the left; nothing on the right until the echo.
    EXPECT_NEAR(out.left[0], 1.0f, 1e-6);
    EXPECT_EQ(firstAbove(out.right, 1e-9f), kDelayFrames);
    // First echo: right output, -0.25 times the band-passed impulse.
    for (int k = 0; k < 2000; ++k)
        ASSERT_NEAR(out.right[kDelayFrames + k], -0.25f * h[k], 1e-9) << k;
    // Second echo: left output, -0.125 times the twice band-passed impulse.
    FilterModel second;
    for (int k = 0; k < 2000; ++k) {
        const float line = second.run(settled, -0.5 * static_cast<double>(h[k]));
        ASSERT_NEAR(out.left[2 * kDelayFrames + k], 0.25f * line, 1e-9) << k;
    }
    EXPECT_EQ(firstAbove(out.left, 1e-9f, 1), 2 * kDelayFrames);
}

TEST_F(Effect, ThirdAndFourthEchoesHaveTheExpectedSignsAndGains) {
    plugin->prepare(kRate, 512);
    const auto out = render(*plugin, leftImpulse(5 * kDelayFrames));
    // Echoes alternate right, left, right, left with signs -, -, +, +.
    auto peak = [](const std::vector<float>& x, int from) {
        float best = 0;
        for (int i = from; i < from + 4000; ++i)
            if (std::fabs(x[i]) > std::fabs(best)) best = x[i];
        return best;
    };
    const float first = peak(out.right, kDelayFrames);
    const float second = peak(out.left, 2 * kDelayFrames);
    const float third = peak(out.right, 3 * kDelayFrames);
    const float fourth = peak(out.left, 4 * kDelayFrames);
    EXPECT_LT(first, 0.0f);
    EXPECT_LT(second, 0.0f);
    EXPECT_GT(third, 0.0f);
    EXPECT_GT(fourth, 0.0f);
    // Each pass halves the gain and band-passes once more, which lowers the
    // peak of the broadened echo a little further.
    for (float ratio : {second / first, -third / second, fourth / third}) {
        EXPECT_GT(ratio, 0.25f);
        EXPECT_LE(ratio, 0.5f);
    }
}

TEST_F(Effect, ZeroDelayAppliesTheWetMatrixToTheCurrentInput) {
    plugin->setParameter(4, 0.0f);
    plugin->prepare(kRate, 64);
    StereoBuffer in(256);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    for (auto& s : in.left) s = u(rng);
    const auto out = render(*plugin, in, 64);
    for (size_t i = 0; i < in.size(); ++i) {
        EXPECT_NEAR(out.right[i], -0.25f * in.left[i], 1e-7) << i;
        EXPECT_NEAR(out.left[i], in.left[i], 1e-7) << i;
    }
}

TEST_F(Effect, ModulationDeeperThanTheDelayFoldsAtZero) {
    plugin->setParameter(4, 0.0f);     // delay 0
    plugin->setParameter(5, 0.5f);     // depth 0.0625 s
    plugin->setParameter(6, 1.0f);     // 20 Hz
    plugin->prepare(kRate, 512);
    StereoBuffer in(44100);
    for (size_t i = 0; i < in.size(); ++i) in.left[i] = std::sin(0.05 * i) * 0.5f;
    const auto out = render(*plugin, in);
    EXPECT_TRUE(allFinite(out));
    float peak = 0;
    for (float s : out.right) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.01f);
    EXPECT_LT(peak, 2.0f);
}

// The first echo is the input swapped left/right, then mid/side (which
// negates the right channel), then turned by the feedback and wet rotations
// together, times the wet gain and negated when inverted. A swap or the
// inversion acts on the first echo when it is on in exactly one of the two
// paths, since the feedback path's options are already in what the wet path
// reads back.
TEST_F(Effect, FirstEchoIsTheInputSwappedTurnedAndInvertedAsSet) {
    BiquadCoeffs settled;
    const auto hLeft = firstPassResponse(1500.0f, 0.125f, kRate, 2000, &settled);  // during the glide
    const auto hRight = settledResponse(settled, 2000);                         // after it
    constexpr int kRightAt = 5000;
    StereoBuffer in(kDelayFrames + kRightAt + 2000);
    in.left[0] = 1.0f;
    in.right[kRightAt] = 1.0f;
    const double angle = (30.0 + 15.0) * 3.141592653589793 / 180.0;
    const double c = std::cos(angle), s = std::sin(angle);
    for (int bits = 0; bits < 64; ++bits) {
        const bool fbLR = bits & 1, fbMS = bits & 2, fbInvert = bits & 4;
        const bool wetLR = bits & 8, wetMS = bits & 16, wetInvert = bits & 32;
        hostkit::Host h;
        auto p = hostkit::Plugin::create(pluginLibrary(), h);
        p->prepare(kRate, 512);
        p->setParameter(18, fbLR), p->setParameter(19, fbMS), p->setParameter(20, fbInvert);
        p->setParameter(11, wetLR), p->setParameter(12, wetMS), p->setParameter(13, wetInvert);
        p->setParameter(21, 120.0f / 180.0f);  // feedback rotation 30 degrees
        p->setParameter(14, 105.0f / 180.0f);  // wet rotation 15 degrees
        p->setParameter(9, 0.0f);              // no dry signal
        const auto out = render(*p, in);

        // Columns: where a left and a right input go.
        double m[2][2] = {{1, 0}, {0, 1}};
        if (fbLR != wetLR) m[0][0] = 0, m[0][1] = 1, m[1][0] = 1, m[1][1] = 0;
        if (fbMS != wetMS) m[1][0] = -m[1][0], m[1][1] = -m[1][1];
        const double g = (fbInvert != wetInvert ? -0.25 : 0.25);
        double w[2][2];
        for (int col = 0; col < 2; ++col) {
            w[0][col] = g * (c * m[0][col] - s * m[1][col]);
            w[1][col] = g * (s * m[0][col] + c * m[1][col]);
        }
        SCOPED_TRACE(::testing::Message() << "fb LR " << fbLR << " MS " << fbMS << " invert " << fbInvert
                                          << ", wet LR " << wetLR << " MS " << wetMS << " invert " << wetInvert);
        for (int k = 0; k < 2000; ++k) {
            ASSERT_NEAR(out.left[kDelayFrames + k], w[0][0] * hLeft[k], 1e-6) << k;
            ASSERT_NEAR(out.right[kDelayFrames + k], w[1][0] * hLeft[k], 1e-6) << k;
            ASSERT_NEAR(out.left[kDelayFrames + kRightAt + k], w[0][1] * hRight[k], 1e-6) << k;
            ASSERT_NEAR(out.right[kDelayFrames + kRightAt + k], w[1][1] * hRight[k], 1e-6) << k;
        }
    }
}

// With the square shape the read position sits the depth before the delay
// for the first half of each cycle and the depth after it for the second.
// At 0.25 Hz a half cycle is 88203 frames: an impulse at frame 0 is heard
// 22050 - 441 frames later, one at frame 70000 (heard after the half cycle)
// 22050 + 441 frames later. A change of the depth alone, or of the rate
// alone, made once the first block has taken the settings, is taken whether
// or not the delay follows the tempo.
TEST_F(Effect, ModulationMovesTheEchoByTheDepthAtTheLfoRate) {
    constexpr int kDepthFrames = 441;                                  // 10 ms
    const float depthKnob = std::pow(0.01f, 0.25f);                    // 4th-root mapping over 0..1 s
    const float rateKnob = std::log(0.25f * 60.0f) / std::log(1200.0f);  // log mapping over 1/60..20 Hz
    struct Case {
        const char* what;
        std::string state;
        int index;
        float knob;
    };
    const Case cases[] = {
        {"depth, free",
         stateWith({{"lfoWaveform", "square"}, {"delayModRate", "0.25"}, {"fbGain", "0"}, {"dryGain", "0"}}),
         5, depthKnob},
        {"depth, synced",
         stateWith({{"lfoWaveform", "square"}, {"delayModRate", "0.25"}, {"fbGain", "0"}, {"dryGain", "0"},
                    {"tempoSync", "true"}}),
         5, depthKnob},
        {"rate, free",
         stateWith({{"lfoWaveform", "square"}, {"delayModDepth", "0.01"}, {"fbGain", "0"}, {"dryGain", "0"}}),
         6, rateKnob},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        hostkit::Host h;
        auto p = hostkit::Plugin::create(pluginLibrary(), h);
        p->prepare(kRate, 4096);
        ASSERT_EQ(p->setChunk(c.state, true), 1);
        p->processBlock(nullptr, nullptr, nullptr, nullptr, 0);  // takes the state
        p->setParameter(c.index, c.knob);
        StereoBuffer in(100000);
        in.left[0] = in.left[70000] = 1.0f;
        const auto out = render(*p, in, 4096);
        EXPECT_EQ(firstHeard(out, 0), kDelayFrames - kDepthFrames);
        EXPECT_EQ(firstHeard(out, 70000), 70000 + kDelayFrames + kDepthFrames);
    }
}

TEST_F(Effect, TempoSyncFourBeatsThreeEchoes) {
    plugin->setParameter(3, 1.0f);
    plugin->setParameter(2, intKnob(4));
    plugin->setParameter(1, intKnob(3));
    plugin->prepare(kRate, 512);
    const auto out = render(*plugin, leftImpulse(30000));
    EXPECT_EQ(firstAbove(out.right, 1e-9f), 29400);  // 4/120*60/3 s
}

TEST_F(Effect, HostTempoIsFollowedClampedAndIgnoredWithoutTheValidFlag) {
    StereoBuffer block(16);
    host.setTempo(90.0, 0);
    render(*plugin, block);
    EXPECT_EQ(plugin->paramDisplay(0), "120");
    host.setTempo(1200.0, kVstTempoValid);
    render(*plugin, block);
    EXPECT_EQ(plugin->paramDisplay(0), "1000");
    host.setTempo(std::numeric_limits<double>::quiet_NaN(), kVstTempoValid);
    render(*plugin, block);
    EXPECT_EQ(plugin->paramDisplay(0), "1000");
    host.setTimeInfoAvailable(false);
    render(*plugin, block);
    EXPECT_EQ(plugin->paramDisplay(0), "1000");
    EXPECT_EQ(host.lastTimeFilter(), kVstTempoValid);
    // One time query per block, zero-length blocks included.
    const auto before = host.callCount(audioMasterGetTime);
    plugin->processBlock(nullptr, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(host.callCount(audioMasterGetTime), before + 1);
}

TEST_F(Effect, SyncedEchoFollowsTheHostTempo) {
    plugin->setParameter(3, 1.0f);  // 4 beats over 4 echoes: one beat
    host.setTempo(100.0, kVstTempoValid);
    plugin->prepare(kRate, 512);
    const auto out = render(*plugin, leftImpulse(30000));
    EXPECT_EQ(firstAbove(out.right, 1e-9f), 26460);  // 0.6 s
}

TEST_F(Effect, ProcessAddsAndReplacingOverwritesWithTheSameState) {
    hostkit::Host otherHost;
    auto other = hostkit::Plugin::create(pluginLibrary(), otherHost);
    plugin->prepare(kRate, 512);
    other->prepare(kRate, 512);
    auto in = leftImpulse(30000);
    StereoBuffer replaced(in.size()), added(in.size());
    for (auto& s : added.left) s = 1.0f;
    for (auto& s : added.right) s = -1.0f;
    for (size_t start = 0; start < in.size(); start += 500) {
        const int n = static_cast<int>(std::min<size_t>(500, in.size() - start));
        plugin->processBlock(&in.left[start], &in.right[start], &replaced.left[start],
                             &replaced.right[start], n, true);
        other->processBlock(&in.left[start], &in.right[start], &added.left[start],
                            &added.right[start], n, false);
    }
    for (size_t i = 0; i < in.size(); ++i) {
        ASSERT_FLOAT_EQ(added.left[i], 1.0f + replaced.left[i]) << i;
        ASSERT_FLOAT_EQ(added.right[i], -1.0f + replaced.right[i]) << i;
    }
    EXPECT_EQ(plugin->getChunk(false), other->getChunk(false));
    // The engines hold the same state: a further replacing block is identical.
    StereoBuffer a(512), b(512), silence(512);
    plugin->processBlock(silence.left.data(), silence.right.data(), a.left.data(), a.right.data(), 512);
    other->processBlock(silence.left.data(), silence.right.data(), b.left.data(), b.right.data(), 512);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
}

TEST_F(Effect, StateRoundTripsInBothForms) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (bool preset : {true, false}) {
        for (int i = 0; i < 22; ++i) plugin->setParameter(i, u(rng));
        const std::string chunk = plugin->getChunk(preset);
        hostkit::Host otherHost;
        auto other = hostkit::Plugin::create(pluginLibrary(), otherHost);
        EXPECT_EQ(other->setChunk(chunk, preset), 1);
        EXPECT_EQ(other->getChunk(preset), chunk);
        for (int i = 0; i < 22; ++i) EXPECT_EQ(other->paramDisplay(i), plugin->paramDisplay(i)) << i;
        // The other form is refused and changes nothing.
        EXPECT_EQ(other->setChunk(plugin->getChunk(!preset), preset), 0);
        EXPECT_EQ(other->getChunk(preset), chunk);
    }
    // A second chunk request replaces the text of the first.
    void* first = nullptr;
    plugin->dispatch(effGetChunk, 1, 0, &first);
    const std::string firstText(static_cast<const char*>(first));
    plugin->setParameter(4, 0.1f);
    void* second = nullptr;
    plugin->dispatch(effGetChunk, 1, 0, &second);
    EXPECT_NE(std::string(static_cast<const char*>(second)), firstText);
}

// ---- mended faults ----

TEST_F(Effect, DelaysLongerThanTheLineArriveAtTheLongestDelayNeverWrapped) {
    plugin->setParameter(3, 1.0f);           // tempo sync
    plugin->setParameter(0, 0.0f);           // 20 bpm
    plugin->setParameter(2, 1.0f);           // 16 beats
    plugin->setParameter(1, 0.0f);           // 1 echo: 48 s
    plugin->prepare(kRate, 4096);
    const auto out = render(*plugin, leftImpulse(393216 + 100), 4096);
    EXPECT_EQ(firstAbove(out.right, 1e-9f), 393216 - 4);
}

// A rate set after processing, through either opcode that sets it, ends up
// sounding as the same rate set from the start: the delay in frames, and the
// feedback filter once its 20 ms glide is over.
TEST_F(Effect, SampleRateChangesReachEveryRateDependentValue) {
    for (bool withBlockSize : {false, true}) {
        SCOPED_TRACE(withBlockSize ? "effSetBlockSizeAndSampleRate" : "effSetSampleRate");
        hostkit::Host changedHost, freshHost;
        auto changed = hostkit::Plugin::create(pluginLibrary(), changedHost);
        auto fresh = hostkit::Plugin::create(pluginLibrary(), freshHost);
        changed->prepare(kRate, 512);
        render(*changed, StereoBuffer(512));
        if (withBlockSize)
            changed->dispatch(effSetBlockSizeAndSampleRate, 0, 512, nullptr, 96000.0f);
        else
            changed->prepare(96000.0f, 512);
        fresh->prepare(96000.0f, 512);
        StereoBuffer in(4096 + 50000);
        in.left[4096] = 1.0f;
        const auto a = render(*changed, in);
        const auto b = render(*fresh, in);
        EXPECT_EQ(firstAbove(a.right, 1e-9f), 4096 + 48000);
        EXPECT_EQ(firstAbove(b.right, 1e-9f), 4096 + 48000);
        // The glides end within a few steps of the design, from different starts.
        for (size_t i = 4096 + 48000; i < a.size(); ++i) ASSERT_NEAR(a.right[i], b.right[i], 1e-4) << i;
    }
}

TEST_F(Effect, UnusableSampleRatesKeepThePreviousRate) {
    const float bad[] = {0.0f, -48000.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    plugin->prepare(kRate, 512);
    for (float rate : bad) {
        plugin->setSampleRate(rate);
        plugin->dispatch(effSetBlockSizeAndSampleRate, 0, 512, nullptr, rate);
    }
    const auto out = render(*plugin, leftImpulse(23000));
    EXPECT_TRUE(allFinite(out));
    EXPECT_EQ(firstAbove(out.right, 1e-9f), kDelayFrames);
}

TEST_F(Effect, ExtremeButValidSampleRatesStayFinite) {
    for (float rate : {1.0f, 1e-30f, 1e9f}) {
        hostkit::Host h;
        auto p = hostkit::Plugin::create(pluginLibrary(), h);
        p->setParameter(5, 1.0f);
        p->setParameter(6, 1.0f);
        p->prepare(rate, 256);
        auto in = leftImpulse(4096);
        EXPECT_TRUE(allFinite(render(*p, in, 256))) << rate;
    }
}

TEST_F(Effect, NonFiniteInputIsSilenceAndDoesNotPoisonTheLoop) {
    plugin->prepare(kRate, 512);
    StereoBuffer bad(512);
    bad.left[3] = std::numeric_limits<float>::quiet_NaN();
    bad.right[7] = std::numeric_limits<float>::infinity();
    bad.left[9] = -std::numeric_limits<float>::infinity();
    const auto first = render(*plugin, bad);
    EXPECT_TRUE(allFinite(first));
    const auto out = render(*plugin, leftImpulse(23000));
    EXPECT_TRUE(allFinite(out));
    EXPECT_EQ(firstAbove(out.right, 1e-9f), kDelayFrames);
}

// A delay swept faster than one sample per sample, with full feedback, grows
// without bound. The loop must level off at its limit instead of reaching
// infinity (and not-a-number for good), and decay once the feedback is off.
TEST_F(Effect, RunawayFeedbackBendsBelowTheCeilingAndRecovers) {
    plugin->prepare(48000.0f, 128);
    const float knobs[] = {0.66558f, 0.466667f, 0.133333f, 0, 0, 0.112012f, 0.666173f, 0.8f,
                           0.941549f, 0.152237f, 1, 1, 1, 1, 0.718235f, 1, 0.873482f,
                           0.0247662f, 1, 0, 0, 1};
    for (int32_t i = 0; i < 22; ++i) plugin->setParameter(i, knobs[i]);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    StereoBuffer in(48000 * 8);
    for (size_t i = 0; i < in.size(); ++i) in.left[i] = noise(rng), in.right[i] = noise(rng);
    const auto loud = render(*plugin, in, 128);
    ASSERT_TRUE(allFinite(loud));
    // The loop runs into the bend above +6 dBFS, and what it writes back
    // stays below +12 dBFS: a read of four such frames (weights summing to
    // at most 1.25 in magnitude) through the wet matrix, plus the dry input.
    EXPECT_GT(peakOf(loud), 2.0f);
    EXPECT_LT(peakOf(loud), 4.0f * 1.25f * std::sqrt(2.0f) + 0.5f);

    plugin->setParameter(15, 0.0f);  // no feedback
    const auto quiet = render(*plugin, StereoBuffer(48000), 128);
    ASSERT_TRUE(allFinite(quiet));
    for (size_t i = 24000; i < quiet.size(); ++i) {
        ASSERT_LT(std::fabs(quiet.left[i]), 1e-6f) << i;
        ASSERT_LT(std::fabs(quiet.right[i]), 1e-6f) << i;
    }
}

TEST_F(Effect, FlangerAtFullFeedbackStaysBelowFifteenDecibelsOverFullScale) {
    // Full feedback, a very narrow band-pass and a delay swept faster than a
    // sample per sample: the loop gain exceeds one. Without a bound on what
    // is written back this reached about +49 dBFS.
    plugin->prepare(48000.0f, 512);
    ASSERT_EQ(setValues(*plugin, {{"fbGain", "1"}, {"fbQ", "0.0023"}, {"delayTime", "0"},
                                  {"delayModDepth", "0.0002"}, {"delayModRate", "2"},
                                  {"lfoWaveform", "snow 3"}, {"fbRotation", "90"}, {"wetGain", "1"}}),
              1);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    StereoBuffer in(48000 * 6);
    for (size_t i = 0; i < in.size(); ++i) in.left[i] = noise(rng), in.right[i] = noise(rng);
    // Bursts with silence between, as drums give, then steady noise.
    for (size_t i = 0; i < in.size() / 2; ++i)
        if (i % 24000 > 2400) in.left[i] = in.right[i] = 0.0f;
    const auto out = render(*plugin, in, 512);
    ASSERT_TRUE(allFinite(out));
    EXPECT_LT(20.0f * std::log10(peakOf(out)), 15.0f);
}

TEST_F(Effect, EveryDelayIsReachableAtHighSampleRates) {
    // 3 s and 4 s plus a second of depth at 192 kHz, 4 s at 96 kHz: beyond
    // the shortest line, so the line must grow with the rate.
    struct Case {
        float rate;
        const char* delay;
        int32_t frames;
    };
    for (const Case& c : {Case{192000.0f, "3", 576000}, Case{192000.0f, "4", 768000}, Case{96000.0f, "4", 384000}}) {
        hostkit::Host h;
        auto p = hostkit::Plugin::create(pluginLibrary(), h);
        p->prepare(c.rate, 4096);
        ASSERT_EQ(setValues(*p, {{"delayTime", c.delay}, {"dryGain", "0"}, {"wetGain", "1"}, {"fbGain", "0"}}), 1);
        const auto out = render(*p, leftImpulse(static_cast<size_t>(c.frames) + 8192), 4096);
        EXPECT_EQ(firstAbove(out.right, 0.1f), c.frames) << c.delay << " s at " << c.rate;
    }
    // The deepest modulation on top of the longest delay reads up to 5 s
    // back: the ramp down starts at +1 and falls by 1/30 a second at the
    // slowest rate, so the echo comes where 5 - t / 30 = t, at 4.84 s.
    hostkit::Host h;
    auto p = hostkit::Plugin::create(pluginLibrary(), h);
    p->prepare(192000.0f, 4096);
    ASSERT_EQ(setValues(*p, {{"delayTime", "4"}, {"delayModDepth", "1"}, {"lfoWaveform", "ramp down"},
                             {"delayModRate", "0.0166667"}, {"dryGain", "0"}, {"wetGain", "1"}, {"fbGain", "0"}}),
              1);
    const auto out = render(*p, leftImpulse(960000 + 8192), 4096);
    const int first = firstAbove(out.right, 0.01f);
    EXPECT_NEAR(first, 929032, 200);
}

TEST_F(Effect, LineGrownForAHigherRateKeepsItsHistory) {
    // An impulse half a second old at 48 kHz is still there after the rate
    // goes to 192 kHz and the line grows: with a delay of 3 s (now 576000
    // frames, more than the shortest line holds) it comes out 576000 - 24000
    // frames later.
    plugin->prepare(48000.0f, 512);
    ASSERT_EQ(setValues(*plugin, {{"delayTime", "3"}, {"dryGain", "0"}, {"wetGain", "1"}, {"fbGain", "0"}}), 1);
    const auto first = render(*plugin, leftImpulse(24000), 500);
    EXPECT_EQ(firstAbove(first.right, 0.01f), -1);
    plugin->setSampleRate(192000.0f);
    const auto later = render(*plugin, StereoBuffer(560000), 4000);
    EXPECT_EQ(firstAbove(later.right, 0.1f), 576000 - 24000);
}

TEST_F(Effect, InPlaceBuffersAndNullChannels) {
    hostkit::Host otherHost;
    auto other = hostkit::Plugin::create(pluginLibrary(), otherHost);
    plugin->setParameter(4, 0.0f);
    other->setParameter(4, 0.0f);
    StereoBuffer in(256);
    for (size_t i = 0; i < in.size(); ++i) in.left[i] = in.right[i] = 0.001f * i;
    in.right[5] = 0.7f;
    const auto expected = render(*other, in, 256);
    StereoBuffer shared = in;
    plugin->processBlock(shared.left.data(), shared.right.data(), shared.left.data(),
                         shared.right.data(), 256);
    EXPECT_EQ(shared.left, expected.left);
    EXPECT_EQ(shared.right, expected.right);

    // Null input channels are silence, null outputs are skipped.
    StereoBuffer out(64);
    float* inputs[2] = {nullptr, nullptr};
    float* outputs[2] = {out.left.data(), nullptr};
    effect()->processReplacing(effect(), inputs, outputs, 64);
    effect()->process(effect(), nullptr, nullptr, 64);
    for (float s : out.left) EXPECT_TRUE(std::isfinite(s));
}
