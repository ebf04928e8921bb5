// The LV2 plug-in renders bit for bit what the VST 2 build renders with the
// same settings: defaults, every LFO shape, the host's tempo (time:Position
// against the VST 2 host tempo), the matrices, a filter glide and changes
// between blocks, at block sizes from 1 to 4096 with zero-frame runs between;
// and lv2file, run as a user runs it, renders what the test host renders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Lv2TestHost.h"

extern char** environ;

using namespace lv2test;

namespace {

constexpr float kRate = 48000.0f;
constexpr size_t kFrames = 36000;

// Settings (and the host's tempo) that change before the block starting at
// or after `at`.
struct Change {
    size_t at;
    Settings values;
    std::optional<double> bpm = {};
    bool bpmAsDouble = false;
};

struct Scenario {
    Settings initial;
    std::optional<double> bpm;
    std::vector<Change> changes;
    bool spreadPorts = false;  // every control port in a buffer of its own
};

struct Renders {
    Stereo lv2, vst2;
};

// Both plug-ins through the same blocks; every other block is preceded by a
// zero-frame run, and changes go in before whichever run comes next.
Renders renderBoth(const Scenario& s, uint32_t block, const Stereo& in) {
    Renders r{Stereo(in.size()), Stereo(in.size())};
    auto lv2 = Instance::create(kRate);
    Vst2 vst2(kRate);
    if (!lv2 || !vst2.plugin) {
        ADD_FAILURE() << "no instance";
        return r;
    }
    if (s.spreadPorts) lv2->spreadControls();
    const auto apply = [&](const Settings& values, std::optional<double> bpm, bool asDouble) {
        lv2->set(values);
        vst2.set(values);
        if (bpm) {
            lv2->queueTempo(*bpm, asDouble);
            vst2.host.setTempo(asDouble ? *bpm : static_cast<double>(static_cast<float>(*bpm)));
        }
    };
    apply(s.initial, s.bpm, false);
    size_t next = 0, index = 0;
    for (size_t pos = 0; pos < in.size(); ++index) {
        for (; next < s.changes.size() && s.changes[next].at <= pos; ++next)
            apply(s.changes[next].values, s.changes[next].bpm, s.changes[next].bpmAsDouble);
        if (index % 2 == 1) {
            float scratch[4] = {};
            lv2->process(&in.left[pos], &in.right[pos], scratch, scratch + 1, 0);
            vst2.process(&in.left[pos], &in.right[pos], scratch + 2, scratch + 3, 0);
        }
        const auto n = static_cast<uint32_t>(std::min<size_t>(block, in.size() - pos));
        lv2->process(&in.left[pos], &in.right[pos], &r.lv2.left[pos], &r.lv2.right[pos], n);
        vst2.process(&in.left[pos], &in.right[pos], &r.vst2.left[pos], &r.vst2.right[pos], static_cast<int32_t>(n));
        pos += n;
    }
    return r;
}

// Renders both and checks them bit for bit; also that echoes came out, so
// that two silent renders do not pass.
Stereo expectSame(const Scenario& s, uint32_t block) {
    static const Stereo input = testInput(kFrames, kRate);
    const Renders r = renderBoth(s, block, input);
    const long at = firstDifference(r.lv2, r.vst2);
    EXPECT_EQ(at, -1) << "block " << block << ": LV2 " << (at >= 0 ? r.lv2.left[at] : 0.0f) << " / "
                      << (at >= 0 ? r.lv2.right[at] : 0.0f) << ", VST 2 " << (at >= 0 ? r.vst2.left[at] : 0.0f) << " / "
                      << (at >= 0 ? r.vst2.right[at] : 0.0f);
    EXPECT_TRUE(allFinite(r.lv2));
    EXPECT_GT(peakOf(r.lv2, 8000), 1e-3f) << "no echoes after the input";
    return r.lv2;
}

class Lv2MatchesVst2 : public ::testing::TestWithParam<uint32_t> {};

}  // namespace

TEST_P(Lv2MatchesVst2, AtTheDefaults) { expectSame({}, GetParam()); }

TEST_P(Lv2MatchesVst2, EveryLfoShapeWithModulationDepth) {
    std::vector<Stereo> outputs;
    for (int shape = 0; shape <= 10; ++shape) {
        SCOPED_TRACE("shape " + std::to_string(shape));
        outputs.push_back(expectSame({{{"lfoWaveform", float(shape)},
                                       {"delayModDepth", 0.004f},
                                       {"delayModRate", 3.7f},
                                       {"delayTime", 0.09f},
                                       {"fbGain", 0.7f}},
                                      {},
                                      {}},
                                     GetParam()));
        if (shape > 0) {
            EXPECT_NE(firstDifference(outputs[0], outputs.back()), -1) << "same as the sine";
        }
    }
    // The smoothing of the steps, on the square and a snowflake.
    for (float shape : {5.0f, 8.0f})
        expectSame({{{"lfoWaveform", shape},
                     {"delayModDepth", 0.006f},
                     {"delayModRate", 1.3f},
                     {"lfoCutoff", 7.5f},
                     {"delayTime", 0.05f}},
                    {},
                    {}},
                   GetParam());
}

TEST_P(Lv2MatchesVst2, TempoSyncFollowsTheHostsTempo) {
    // The port's tempo is overridden by the host's from its first report on.
    expectSame({{{"tempoSync", 1.0f},
                 {"numEchoes", 3.0f},
                 {"numBeats", 2.0f},
                 {"tempo", 60.0f},
                 {"delayModDepth", 0.002f},
                 {"lfoWaveform", 2.0f}},
                137.5,
                {{12000, {}, 90.25, true}, {24000, {{"numEchoes", 5.0f}}, 171.3}}},
               GetParam());
}

TEST_P(Lv2MatchesVst2, MatrixSwitchesAndRotations) {
    expectSame({{{"wetSwapLR", 1.0f},
                 {"wetInvertPhase", 1.0f},
                 {"wetRotation", 33.3f},
                 {"fbSwapLR", 0.0f},
                 {"fbInvertPhase", 1.0f},
                 {"fbRotation", -47.5f},
                 {"fbGain", 0.7f},
                 {"delayTime", 0.07f}},
                {},
                {{15000,
                  {{"wetSwapMS", 1.0f},
                   {"wetRotation", -90.0f},
                   {"fbSwapLR", 1.0f},
                   {"fbSwapMS", 0.0f},
                   {"fbRotation", 12.25f},
                   {"fbGain", 0.9f}}},
                 {25000, {{"wetSwapLR", 0.0f}, {"wetInvertPhase", 0.0f}, {"fbRotation", 90.0f}}}}},
               GetParam());
}

TEST_P(Lv2MatchesVst2, FilterGlide) {
    expectSame({{{"fbGain", 0.85f}, {"delayTime", 0.04f}, {"fbQ", 0.5f}},
                {},
                {{9000, {{"fbCenterFreq", 300.0f}}},
                 {18000, {{"fbCenterFreq", 6000.0f}, {"fbQ", 1.7f}}},
                 {27000, {{"fbCenterFreq", 20000.0f}}}}},
               GetParam());
}

TEST_P(Lv2MatchesVst2, ParameterChangesBetweenBlocks) {
    expectSame({{{"delayTime", 0.11f}},
                {},
                {{4000, {{"delayTime", 0.03f}}},
                 {8000, {{"wetGain", 0.6f}, {"dryGain", 0.3f}}},
                 {12000, {{"lfoWaveform", 8.0f}, {"delayModDepth", 0.01f}, {"delayModRate", 0.4f}}},
                 {16000, {{"tempoSync", 1.0f}, {"numBeats", 1.0f}, {"numEchoes", 8.0f}}},
                 {20000, {{"tempo", 95.5f}}},
                 {24000, {{"tempoSync", 0.0f}, {"delayTime", 0.3f}, {"lfoCutoff", 5.0f}}},
                 {28000, {{"fbSwapLR", 0.0f}, {"fbInvertPhase", 1.0f}, {"wetRotation", -20.0f}}},
                 {32000, {{"dryGain", 1.0f}, {"lfoWaveform", 5.0f}, {"fbGain", 0.95f}}}}},
               GetParam());
}

// The same changes where the host keeps each port's value apart from the
// others' (the plug-in then checks the ports one by one).
TEST_P(Lv2MatchesVst2, ParameterChangesBetweenBlocksWithPortsApart) {
    expectSame({{{"delayTime", 0.11f}},
                {},
                {{4000, {{"delayTime", 0.03f}}},
                 {8000, {{"wetGain", 0.6f}, {"dryGain", 0.3f}}},
                 {12000, {{"lfoWaveform", 8.0f}, {"delayModDepth", 0.01f}, {"delayModRate", 0.4f}}},
                 {20000, {{"fbRotation", 95.5f}}},
                 {28000, {{"fbSwapLR", 0.0f}, {"fbInvertPhase", 1.0f}, {"wetRotation", -20.0f}}}},
                true},
               GetParam());
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, Lv2MatchesVst2, ::testing::Values(1u, 7u, 64u, 512u, 4096u));

// ---- lv2file ----

namespace {

bool writeWav(const std::filesystem::path& path, const Stereo& s, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    std::vector<float> frames(2 * s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        frames[2 * i] = s.left[i];
        frames[2 * i + 1] = s.right[i];
    }
    const sf_count_t written = sf_writef_float(f, frames.data(), static_cast<sf_count_t>(s.size()));
    sf_close(f);
    return written == static_cast<sf_count_t>(s.size());
}

std::optional<Stereo> readWav(const std::filesystem::path& path, SF_INFO* info) {
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
    if (!f) return std::nullopt;
    if (info->channels != 2) {
        sf_close(f);
        return std::nullopt;
    }
    std::vector<float> frames(2 * static_cast<size_t>(info->frames));
    const sf_count_t read = sf_readf_float(f, frames.data(), info->frames);
    sf_close(f);
    Stereo s(static_cast<size_t>(read));
    for (size_t i = 0; i < s.size(); ++i) {
        s.left[i] = frames[2 * i];
        s.right[i] = frames[2 * i + 1];
    }
    return s;
}

// Runs a program with extra environment variables, its output into `log`;
// returns its exit status (-1 when it could not start or did not exit).
int runProgram(const std::vector<std::string>& args, const std::vector<std::string>& env,
               const std::filesystem::path& log) {
    std::vector<std::string> environment = env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e, name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& mine : env) replaced = replaced || mine.rfind(name, 0) == 0;
        if (!replaced) environment.push_back(entry);
    }
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(Lv2File, RendersAsTheTestHostDoesAtTheDefaults) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("bw-lv2file-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const Stereo input = testInput(30000, kRate);
    ASSERT_TRUE(writeWav(dir / "in.wav", input, 48000));

    // The bundle's folder as the only LV2 path, as a user installing it would have it.
    std::vector<std::string> env = {std::string("LV2_PATH=") + BW_LV2_PATH};
#ifdef BW_ASAN_RUNTIME
    // lv2file is not built with the sanitizer that the plug-in needs.
    env.push_back(std::string("LD_PRELOAD=") + BW_ASAN_RUNTIME);
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
#endif
    const int status = runProgram({"lv2file", "-i", (dir / "in.wav").string(), "-o", (dir / "out.wav").string(), "-b",
                                   "512", lv2_ports::kPluginUri},
                                  env, dir / "log.txt");
    ASSERT_EQ(status, 0) << slurp(dir / "log.txt");
    SF_INFO info{};
    const auto output = readWav(dir / "out.wav", &info);
    ASSERT_TRUE(output) << "no stereo output";
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    ASSERT_EQ(output->size(), input.size());

    auto lv2 = Instance::create(kRate);
    ASSERT_TRUE(lv2);
    Stereo expected(input.size());
    for (size_t pos = 0; pos < input.size(); pos += 512) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(512, input.size() - pos));
        lv2->process(&input.left[pos], &input.right[pos], &expected.left[pos], &expected.right[pos], n);
    }
    EXPECT_EQ(firstDifference(*output, expected), -1);
    EXPECT_GT(peakOf(*output, 24000), 1e-3f) << "no echo";
    fs::remove_all(dir);
}
