// brindlewave-render as a user runs it: small generated files in, exit codes,
// printed echo tables and written files out.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Audio {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;  // interleaved
    size_t frames() const { return channels ? samples.size() / channels : 0; }
    float at(size_t frame, int channel) const { return samples[frame * channels + channel]; }
};

Audio readAudio(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << path;
    Audio a;
    if (!f) return a;
    a.rate = info.samplerate;
    a.channels = info.channels;
    a.samples.resize(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_float(f, a.samples.data(), info.frames);
    sf_close(f);
    return a;
}

void writeAudio(const fs::path& path, int rate, int channels, const std::vector<float>& samples,
                int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(f);
}

struct Echo {
    char channel;
    double startMs, peakMs, gain;
};

// The rows of the --impulse table.
std::vector<Echo> echoRows(const std::string& out) {
    std::vector<Echo> rows;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        Echo e{};
        double db = 0;
        if (std::sscanf(line.c_str(), " %c %lf %lf %lf %lf", &e.channel, &e.startMs, &e.peakMs,
                        &db, &e.gain) == 5 &&
            (e.channel == 'L' || e.channel == 'R'))
            rows.push_back(e);
    }
    return rows;
}

// The number after `marker` in `text`, NAN when the marker is missing.
double numberAfter(const std::string& text, const std::string& marker) {
    size_t at = text.find(marker);
    return at == std::string::npos ? NAN : std::strtod(text.c_str() + at + marker.size(), nullptr);
}

std::vector<float> stereoSine(size_t frames, double amplitude) {
    std::vector<float> samples(2 * frames);
    for (size_t i = 0; i < frames; ++i)
        samples[2 * i] = samples[2 * i + 1] = static_cast<float>(amplitude * std::sin(0.04 * i));
    return samples;
}

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "bw-render-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    ToolRun run(const std::vector<std::string>& args) { return runProgram(BW_RENDER_TOOL, args); }
    ToolRun runProgram(const std::string& program, const std::vector<std::string>& args) {
        std::string command = quoted(program);
        for (const std::string& a : args) command += " " + quoted(a);
        command += " >" + quoted((dir / "stdout").string()) + " 2>" +
                   quoted((dir / "stderr").string()) + " </dev/null";
        int status = std::system(command.c_str());
        ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
              slurp(dir / "stdout"), slurp(dir / "stderr")};
        fs::remove(dir / "stdout");
        fs::remove(dir / "stderr");
        return r;
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    // Names in the directory, to prove that no temporary file was left behind.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

// A failure is exactly one line on standard error.
void expectOneLine(const ToolRun& r) {
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

TEST_F(RenderTool, ImpulseResponseOfTheDefaultSettings) {
    ToolRun r = run({"--impulse"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<Echo> rows = echoRows(r.out);
    ASSERT_GE(rows.size(), 5u) << r.out;
    // Dry impulse, then the echo turning right, left, right, left with the
    // signs of the default matrices: -0.25, -0.125, +0.0625, +0.03125 before
    // the band-pass (1500 Hz, Q 0.125) takes its share.
    const struct {
        char channel;
        double ms;
        double minGain, maxGain;
    } expected[] = {
        {'L', 0, 1.0, 1.0},
        {'R', 500, -0.25, -0.1},
        {'L', 1000, -0.125, -0.03},
        {'R', 1500, 0.005, 0.0625},
        {'L', 2000, 0.001, 0.03125},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].channel, expected[i].channel);
        EXPECT_NEAR(rows[i].startMs, expected[i].ms, 0.0005);
        EXPECT_GE(rows[i].gain, expected[i].minGain);
        EXPECT_LE(rows[i].gain, expected[i].maxGain);
    }
    // Each pass loses at least the feedback gain of one half.
    for (size_t i = 2; i < rows.size(); ++i)
        EXPECT_LT(std::fabs(rows[i].gain), 0.5 * std::fabs(rows[i - 1].gain) + 1e-9);
}

TEST_F(RenderTool, FirstEchoArrivesAfterTheRoundedDelay) {
    // floor(delay x rate + 0.5) samples after the impulse.
    const struct {
        const char* rate;
        const char* delay;
        double samples;
    } cases[] = {
        {"48000", "0.5", 24000},
        {"44100", "0.3333", 14699},  // 14698.53 rounds up
        {"44100", "0.25001", 11025},  // 11025.44 rounds down
        {"96000", "1.2", 115200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delay);
        ToolRun r = run({"--impulse", "--rate", c.rate, "--set",
                         std::string("delayTime=") + c.delay, "--tail", "1.3"});
        ASSERT_EQ(r.code, 0) << r.err;
        std::vector<Echo> rows = echoRows(r.out);
        ASSERT_GE(rows.size(), 2u) << r.out;
        EXPECT_EQ(rows[1].channel, 'R');
        EXPECT_NEAR(rows[1].startMs, c.samples * 1000 / std::atof(c.rate), 0.0005);
    }
}

TEST_F(RenderTool, HostTempoDrivesTheSyncedDelay) {
    const struct {
        std::vector<std::string> args;
        double firstEchoMs;
        const char* tempoLine;
    } cases[] = {
        // 4 beats at the plug-in's own 120 bpm over 3 echoes: 0.6667 s.
        {{"--set", "tempoSync=on", "--set", "numEchoes=3"}, 666.667, ""},
        {{"--tempo", "60", "--set", "tempoSync=on", "--set", "numBeats=2"}, 500,
         "tempo = 60 (from the host)  [60 bpm]"},
        // A host tempo above the range is clamped to 1000 bpm: 4 / 1000 x 60 / 4.
        {{"--tempo", "1200", "--set", "tempoSync=on"}, 60, "tempo = 1000 (from the host)"},
        {{"--tempo", "90", "--set", "tempo=200", "--set", "tempoSync=on"}, 666.667,
         "tempo = 90 (asked for 200)"},
        // Without sync the tempo does not matter.
        {{"--tempo", "60"}, 500, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstEchoMs);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--impulse", "--tail", "1"});
        ToolRun r = run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        std::vector<Echo> rows = echoRows(r.out);
        ASSERT_GE(rows.size(), 2u) << r.out;
        EXPECT_NEAR(rows[1].startMs, c.firstEchoMs, 0.001);
        EXPECT_NE(r.out.find(c.tempoLine), std::string::npos) << r.out;
    }
}

TEST_F(RenderTool, OutputFormatFollowsTheExtension) {
    const struct {
        const char* name;
        const char* encoding;
        int format;
    } cases[] = {
        {"a.wav", "", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"b.WAV", "pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"c.aiff", "", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"d.aif", "pcm24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"e.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"f.flac", "pcm16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"g.ogg", "", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"--impulse", "--tail", "0.6", "-o", path(c.name)};
        if (*c.encoding) args.insert(args.end(), {"--encoding", c.encoding});
        ToolRun r = run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        SF_INFO info{};
        SNDFILE* f = sf_open(path(c.name).c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.samplerate, 48000);
        EXPECT_EQ(info.frames, 1 + 28800);
        sf_close(f);
    }
}

TEST_F(RenderTool, MonoInputFeedsBothChannels) {
    std::vector<float> mono(4800, 0.0f);
    for (size_t i = 0; i < 200; ++i) mono[i] = 0.5f * std::sin(0.1f * i);
    writeAudio(path("mono.wav"), 44100, 1, mono);
    ToolRun r = run({path("mono.wav"), "-o", path("out.wav"), "--tail", "0.25"});
    ASSERT_EQ(r.code, 0) << r.err;
    Audio out = readAudio(path("out.wav"));
    EXPECT_EQ(out.rate, 44100);
    ASSERT_EQ(out.channels, 2);
    EXPECT_EQ(out.frames(), 4800u + 11025u);
    // Before the first echo the output is the dry input on both sides.
    for (size_t i = 0; i < 4800; ++i) {
        ASSERT_NEAR(out.at(i, 0), mono[i], 1e-6) << i;
        ASSERT_NEAR(out.at(i, 1), mono[i], 1e-6) << i;
    }
}

TEST_F(RenderTool, OutputDoesNotDependOnTheBlockSize) {
    ToolRun a = run({"-o", path("a.wav"), "--block", "512"});
    ToolRun b = run({"-o", path("b.wav"), "--block", "37"});
    ASSERT_EQ(a.code, 0) << a.err;
    ASSERT_EQ(b.code, 0) << b.err;
    Audio x = readAudio(path("a.wav")), y = readAudio(path("b.wav"));
    ASSERT_EQ(x.samples.size(), y.samples.size());
    EXPECT_TRUE(x.samples == y.samples);
    // The automatic tail ends after a second below -90 dBFS.
    ASSERT_GT(x.frames(), 48000u);
    for (size_t i = x.frames() - 48000; i < x.frames(); ++i)
        for (int c = 0; c < 2; ++c) ASSERT_LT(std::fabs(x.at(i, c)), 3.17e-5f) << i;
    EXPECT_NE(a.out.find("a.wav: "), std::string::npos);
    EXPECT_NE(a.out.find("realtime"), std::string::npos);
}

TEST_F(RenderTool, SettingsShowTheirEffectiveValues) {
    ToolRun r = run({"--save-preset", path("p.txt"), "--set", "delayTime=0.375", "--set",
                 "lfoWaveform=snow 3", "--set", "fbRotation=45", "--set", "delayTime=10",
                 "--set", "wetGain=-1", "--set", "numEchoes=100", "--set", "tempoSync=on",
                 "--set", "fbQ=0.123456789"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* line : {"delayTime = 4 (asked for 10)  [4000 ms]\n",
                             "lfoWaveform = snow 3  [snowflake3]\n", "fbRotation = 45  [45 deg]\n",
                             "wetGain = 0 (asked for -1)", "numEchoes = 16 (asked for 100)  [16]\n",
                             "tempoSync = true  [on]\n", "fbQ = 0.123457  [0.123457]\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

TEST_F(RenderTool, BadSettingsAreUsageErrors) {
    const struct {
        std::string set;
        const char* message;
    } cases[] = {
        {"bogus=1", "unknown parameter \"bogus\"; valid keys: tempo, numEchoes, numBeats,"},
        {"Delay Times=1", "valid keys:"},
        {"lfoWaveform=snowflake",
         "\"ramp up\" (rampUp), \"ramp down\" (rampDown), \"square\", "
         "\"snow 1\" (snowflake1)"},
        // What hosts show for five shapes names none of them.
        {"lfoWaveform=snowflak", "not \"snowflak\""},
        {"lfoWaveform=", "lfoWaveform takes one of \"true sine\" (trueSine)"},
        {"delayTime=abc", "delayTime takes a number from 0 to 4, not \"abc\""},
        {"delayTime=0.3abc", "not \"0.3abc\""},
        {"delayTime=0x10", "not \"0x10\""},
        {"delayTime=nan", "not \"nan\""},
        {"tempoSync=yes", "tempoSync takes on/off"},
        {"tempoSync=1", "tempoSync takes on/off"},
        {"numEchoes=3.7", "numEchoes takes a whole number from 1 to 16"},
        {"ts echoes=2.5", "numEchoes takes a whole number from 1 to 16"},
        {"delayTime", "--set needs KEY=VALUE"},
        {"=3", "--set needs KEY=VALUE"},
    };
    spit(path("out.wav"), "precious");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        ToolRun r = run({"-o", path("out.wav"), "--set", c.set});
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        expectOneLine(r);
    }
    EXPECT_EQ(slurp(path("out.wav")), "precious");
    EXPECT_EQ(files(), std::vector<std::string>{"out.wav"});
}

TEST_F(RenderTool, CommandLineErrors) {
    const struct {
        std::vector<std::string> args;
        int code;
        const char* message;
    } cases[] = {
        {{}, 2, "nothing to do"},
        {{"--bogus"}, 2, "--bogus"},
        {{"-o", "x.mp3"}, 2, "cannot tell the output format of x.mp3"},
        {{"-o", "x.flac", "--encoding", "float"}, 2, "FLAC cannot hold float"},
        {{"-o", "x.wav", "--tail", "-1"}, 2, "--tail takes"},
        {{"-o", "x.wav", "--tail", "soon"}, 2, "--tail takes"},
        {{"-o", "x.wav", "--tempo", "0"}, 2, "--tempo takes a positive number"},
        {{"-o", "x.wav", "--block", "0"}, 2, "--block"},
        {{"-o", "x.wav", "--plot", "x.jpg"}, 2, "--plot takes a .png or .svg"},
        {{"in.wav", "--impulse"}, 2, "give no INPUT"},
        {{"in.wav", "-o", "x.wav", "--rate", "44100"}, 2, "brings its own sample rate"},
        {{"-o", "x.wav", "--plugin", "/nonexistent/Brindlewave.so"}, 1, "cannot load the plug-in"},
        {{"missing.wav", "-o", "x.wav"}, 1, "cannot read missing.wav"},
        {{"-o", "/nonexistent/x.wav"}, 1, "cannot create a file beside /nonexistent/x.wav"},
        {{"-o", "x.wav", "--preset", "missing.txt"}, 1, "cannot read preset missing.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ToolRun r = run(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        expectOneLine(r);
    }
    ToolRun help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage: brindlewave-render [OPTIONS] [INPUT]"), std::string::npos);
}

TEST_F(RenderTool, UnusableInputsFailCleanly) {
    std::vector<float> stereo(2 * 20000);
    for (size_t i = 0; i < stereo.size(); ++i) stereo[i] = 0.3f * std::sin(0.01f * i);
    writeAudio(path("good.flac"), 48000, 2, stereo, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::string flac = slurp(path("good.flac"));
    writeAudio(path("three.wav"), 48000, 3, std::vector<float>(300, 0.1f));
    std::vector<float> bad(200, 0.1f);
    bad[77] = std::nanf("");
    writeAudio(path("nan.wav"), 48000, 2, bad);
    writeAudio(path("wav.wav"), 48000, 2, stereo);
    std::string wav = slurp(path("wav.wav"));

    const struct {
        const char* name;
        std::string bytes;  // empty: already written
        const char* message;
    } cases[] = {
        {"empty.wav", "", "cannot read"},
        {"text.wav", "this is not audio\n", "cannot read"},
        {"header.wav", wav.substr(0, 40), "cannot read"},
        {"cut.flac", flac.substr(0, flac.size() / 3), "flac"},
        {"three.wav", "", "3 channels; only mono and stereo"},
        {"nan.wav", "", "the input holds a non-finite sample"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.bytes.empty() || std::string(c.name) == "empty.wav") spit(path(c.name), c.bytes);
        ToolRun r = run({path(c.name), "-o", path("out.wav")});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        expectOneLine(r);
        EXPECT_FALSE(fs::exists(path("out.wav")));
    }
    // A WAV cut short is read as far as it goes.
    spit(path("short.wav"), wav.substr(0, wav.size() / 2));
    ToolRun r = run({path("short.wav"), "-o", path("out.wav"), "--tail", "0"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NEAR(static_cast<double>(readAudio(path("out.wav")).frames()), 10000, 20);
}

TEST_F(RenderTool, OutputIsReplacedOnlyByACompleteRender) {
    std::vector<float> stereo(2 * 20000, 0.25f);
    writeAudio(path("in.flac"), 48000, 2, stereo, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::string flac = slurp(path("in.flac"));
    spit(path("cut.flac"), flac.substr(0, flac.size() / 2));
    spit(path("out.wav"), "precious");
    spit(path("plot.png"), "old plot");

    // A render that fails halfway through reading leaves everything as it was.
    ToolRun failed = run({path("cut.flac"), "-o", path("out.wav"), "--plot", path("plot.png")});
    EXPECT_EQ(failed.code, 1);
    EXPECT_EQ(slurp(path("out.wav")), "precious");
    EXPECT_EQ(slurp(path("plot.png")), "old plot");
    EXPECT_EQ(files(), (std::vector<std::string>{"cut.flac", "in.flac", "out.wav", "plot.png"}));

    // The input is never the output.
    ToolRun same = run({path("in.flac"), "-o", path("in.flac")});
    EXPECT_EQ(same.code, 2);
    EXPECT_EQ(slurp(path("in.flac")), flac);

    ToolRun ok = run({path("in.flac"), "-o", path("out.wav"), "--tail", "0.5"});
    ASSERT_EQ(ok.code, 0) << ok.err;
    EXPECT_EQ(readAudio(path("out.wav")).frames(), 20000u + 24000u);
    EXPECT_EQ(files(), (std::vector<std::string>{"cut.flac", "in.flac", "out.wav", "plot.png"}));
}

TEST_F(RenderTool, PresetRoundTrip) {
    ToolRun save = run({"--set", "delayTime=0.375", "--set", "lfoWaveform=snow 3", "--set",
                    "fbSwapMS=off", "--save-preset", path("a.txt")});
    ASSERT_EQ(save.code, 0) << save.err;
    std::string a = slurp(path("a.txt"));
    EXPECT_EQ(a.rfind("Name\n\tunnamed\nParameterList\n\ttempo\n\t\t120\n", 0), 0u) << a;
    for (const char* entry : {"\n\tdelayTime\n\t\t0.375\n", "\n\tlfoWaveform\n\t\tsnow 3\n",
                              "\n\tfbSwapMS\n\t\tfalse\n"})
        EXPECT_NE(a.find(entry), std::string::npos) << entry;

    // Loaded back unchanged, in preset form and in bank form.
    std::string bank = "Preset";
    for (size_t start = 0; start < a.size();) {
        size_t end = std::min(a.find('\n', start), a.size());
        bank += "\n\t" + a.substr(start, end - start);
        start = end + 1;
    }
    spit(path("bank.txt"), bank);
    for (const char* source : {"a.txt", "bank.txt"}) {
        SCOPED_TRACE(source);
        ToolRun load = run({"--preset", path(source), "--save-preset", path("b.txt")});
        ASSERT_EQ(load.code, 0) << load.err;
        EXPECT_EQ(slurp(path("b.txt")), a);
    }
    // --set applies on top of the loaded state.
    ToolRun edit = run({"--preset", path("a.txt"), "--set", "fbGain=0.25", "--save-preset",
                    path("c.txt")});
    ASSERT_EQ(edit.code, 0) << edit.err;
    std::string c = slurp(path("c.txt"));
    EXPECT_NE(c.find("\n\tfbGain\n\t\t0.25\n"), std::string::npos);
    EXPECT_NE(c.find("\n\tdelayTime\n\t\t0.375\n"), std::string::npos);

    const struct {
        const char* name;
        std::string text;
        const char* message;
    } broken[] = {
        {"junk.txt", "hello\n", "no ParameterList entry"},
        {"crlf.txt", "Name\r\n\tunnamed\r\nParameterList\r\n\tdelayTime\r\n\t\t1\r\n", "CR LF"},
    };
    for (const auto& b : broken) {
        spit(path(b.name), b.text);
        ToolRun r = run({"--preset", path(b.name), "--save-preset", path("d.txt")});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(b.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(path("d.txt")));
    }
}

TEST_F(RenderTool, FactoryPresetsLoadByNameAndRenderAudibly) {
    ToolRun list = run({"--list-presets"});
    ASSERT_EQ(list.code, 0) << list.err;
    std::vector<std::string> ids;
    for (size_t start = 0; start < list.out.size();) {
        const size_t end = list.out.find('\n', start);
        const std::string line = list.out.substr(start, end - start);
        ids.push_back(line.substr(line.rfind('(') + 1, line.size() - line.rfind('(') - 2));
        start = end + 1;
    }
    ASSERT_GE(ids.size(), 8u);
    ASSERT_LE(ids.size(), 12u);
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        ToolRun r = run({"--preset", id, "--tempo", "110", "-o", path("p.wav"), "--tail", "2"});
        ASSERT_EQ(r.code, 0) << r.err;
        const Audio out = readAudio(path("p.wav"));
        float peak = 0.0f;
        for (float v : out.samples) {
            ASSERT_TRUE(std::isfinite(v));
            peak = std::max(peak, std::fabs(v));
        }
        EXPECT_GT(peak, 0.01f);
    }
    // By its shown name in any letter case, to the same state as by its identifier.
    ASSERT_EQ(run({"--preset", "SLOW SPIN", "--save-preset", path("a.txt")}).code, 0);
    ASSERT_EQ(run({"--preset", "slow-spin", "--save-preset", path("b.txt")}).code, 0);
    EXPECT_EQ(slurp(path("a.txt")), slurp(path("b.txt")));
    EXPECT_NE(slurp(path("a.txt")).find("\n\tfbRotation\n\t\t30"), std::string::npos);
    // Neither a file nor a factory preset.
    ToolRun missing = run({"--preset", "no-such-preset", "--save-preset", path("c.txt")});
    EXPECT_EQ(missing.code, 1);
    expectOneLine(missing);
}

TEST_F(RenderTool, ListShowsEveryParameter) {
    ToolRun r = run({"--list", "--set", "delayTime=0.25"});
    ASSERT_EQ(r.code, 0) << r.err;
    int rows = 0;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) rows += !line.empty() && std::isdigit(line[0]);
    EXPECT_EQ(rows, 22);
    for (const char* text : {"tempo           Tempo                  20 .. 1000           120",
                             "delayTime       Delay                  0 .. 4               0.5"
                             "        250 ms",
                             "11 choices", "\"true sine\" (trueSine), \"fake sine\" (fakeSine)",
                             "\"triangle\", \"ramp up\" (rampUp)", "\"snow 5\" (snowflake5)\n",
                             "fbQ             Feedback Q             0.00195312 .. 2",
                             "fbSwapLR        Feedback swap LR       false .. true        true"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
}

TEST_F(RenderTool, PlotsArePicturesOfTheExpectedSize) {
    ToolRun r = run({"--impulse", "--plot", path("ir.png"), "--tail", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string png = slurp(path("ir.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    auto be32 = [&](size_t at) {
        return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
               (uint32_t(uint8_t(png[at + 2])) << 8) | uint32_t(uint8_t(png[at + 3]));
    };
    EXPECT_EQ(be32(16), 1200u);
    EXPECT_EQ(be32(20), 900u);

    ToolRun svg = run({"-o", path("demo.wav"), "--plot", path("demo.svg")});
    ASSERT_EQ(svg.code, 0) << svg.err;
    std::string text = slurp(path("demo.svg"));
    EXPECT_EQ(text.rfind("<?xml", 0), 0u);
    EXPECT_NE(text.find("width=\"1200pt\" height=\"900pt\""), std::string::npos);
}

TEST_F(RenderTool, ImpulseTableAgreesWithAnImpulseInsideAFile) {
    // The echoes of a plug-in that has run a while: an impulse half a second
    // into a file meets the feedback filter long after its start-up glide.
    const struct {
        int rate;
        std::vector<std::string> sets;
    } cases[] = {
        {48000, {}},
        {44100, {"--set", "fbCenterFreq=400", "--set", "fbQ=0.7"}},
        {96000, {"--set", "fbRotation=30", "--set", "delayTime=0.25"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        std::vector<std::string> args = c.sets;
        args.insert(args.end(), {"--impulse", "--rate", std::to_string(c.rate)});
        ToolRun table = run(args);
        ASSERT_EQ(table.code, 0) << table.err;
        std::vector<Echo> rows = echoRows(table.out);
        ASSERT_GE(rows.size(), 6u) << table.out;

        const size_t at = static_cast<size_t>(c.rate / 2);
        std::vector<float> input(2 * (at + 1), 0.0f);
        input[2 * at] = 1.0f;
        writeAudio(path("impulse.wav"), c.rate, 2, input);
        args = c.sets;
        args.insert(args.end(), {path("impulse.wav"), "-o", path("out.wav")});
        ToolRun file = run(args);
        ASSERT_EQ(file.code, 0) << file.err;
        Audio out = readAudio(path("out.wav"));
        for (const Echo& e : rows) {
            SCOPED_TRACE(e.peakMs);
            size_t frame = at + static_cast<size_t>(std::llround(e.peakMs * c.rate / 1000));
            ASSERT_LT(frame, out.frames());
            const double inFile = out.at(frame, e.channel == 'L' ? 0 : 1);
            EXPECT_NEAR(e.gain, inFile, 1e-6 + 1e-4 * std::fabs(inFile));
        }
    }
}

TEST_F(RenderTool, SetTakesEveryValueThePluginTakes) {
    const struct {
        std::vector<std::string> sets;
        const char* line;   // printed
        const char* saved;  // in the saved state
    } cases[] = {
        {{"fbRotation=12.5"}, "fbRotation = 12.5  [12.5 deg]\n", "\tfbRotation\n\t\t12.5"},
        {{"wetRotation=-45.25"},
         "wetRotation = -45.25  [-45.25 deg]\n",
         "\twetRotation\n\t\t-45.25"},
        {{"FBROTATION=-7.5"}, "fbRotation = -7.5  [-7.5 deg]\n", "\tfbRotation\n\t\t-7.5"},
        {{"Feedback rotation=80.125"}, "fbRotation = 80.125", "\tfbRotation\n\t\t80.125"},
        {{"lfoWaveform=snowflake3"}, "lfoWaveform = snow 3  [snowflake3]\n", "\t\tsnow 3\n"},
        {{"lfoWaveform=rampDown"}, "lfoWaveform = ramp down  [rampDown]\n", "\t\tramp down\n"},
        {{"lfoWaveform=Snow 3"}, "lfoWaveform = snow 3  [snowflake3]\n", "\t\tsnow 3\n"},
        {{"lfoWaveform=SNOW 3"}, "lfoWaveform = snow 3", "\t\tsnow 3\n"},
        {{"lfoWaveform=snowflake5"}, "lfoWaveform = snow 5  [snowflake5]\n", "\t\tsnow 5\n"},
        {{"lfo shape=Fake Sine"}, "lfoWaveform = fake sine  [fakeSine]\n", "\t\tfake sine\n"},
        {{"LFOWAVEFORM=triangle"}, "lfoWaveform = triangle  [triangle]\n", "\t\ttriangle\n"},
        {{"tempoSync=ON"}, "tempoSync = true  [on]\n", "\ttempoSync\n\t\ttrue\n"},
        {{"Feedback swap LR=False"}, "fbSwapLR = false  [off]\n", "\tfbSwapLR\n\t\tfalse\n"},
        {{"ts echoes=5"}, "numEchoes = 5  [5]\n", "\tnumEchoes\n\t\t5\n"},
        {{"numBeats=7.0"}, "numBeats = 7  [7]\n", "\tnumBeats\n\t\t7\n"},
        // The same parameter by two names: the later one wins.
        {{"delayTime=1", "Delay=0.75"}, "delayTime = 0.75  [750 ms]\n", "\tdelayTime\n\t\t0.75\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sets.front());
        std::vector<std::string> args = {"--save-preset", path("p.txt")};
        for (const std::string& set : c.sets) args.insert(args.end(), {"--set", set});
        ToolRun r = run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_NE(slurp(path("p.txt")).find(c.saved), std::string::npos) << slurp(path("p.txt"));
    }
}

TEST_F(RenderTool, PresetValuesAreCheckedLikeSetValues) {
    auto preset = [&](const std::string& name, const std::string& entries) {
        spit(path(name), "Name\n\tunnamed\nParameterList\n" + entries);
        return path(name);
    };
    const struct {
        const char* name;
        std::string entries;
        const char* message;
    } bad[] = {
        {"unknown.txt", "\tbogus\n\t\t1\n\tdelayTime\n\t\t1",
         "unknown.txt: unknown parameter \"bogus\"; valid keys: tempo,"},
        {"number.txt", "\tdelayTime\n\t\tabc",
         "number.txt: delayTime takes a number from 0 to 4, not \"abc\""},
        {"whole.txt", "\tnumEchoes\n\t\t2.5",
         "whole.txt: numEchoes takes a whole number from 1 to 16"},
        {"choice.txt", "\tlfoWaveform\n\t\twobble",
         "choice.txt: lfoWaveform takes one of \"true sine\""},
        {"switch.txt", "\ttempoSync\n\t\tmaybe", "switch.txt: tempoSync takes on/off"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.name);
        ToolRun r = run({"--preset", preset(b.name, b.entries), "--save-preset", path("out.txt")});
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(b.message), std::string::npos) << r.err;
        expectOneLine(r);
        EXPECT_FALSE(fs::exists(path("out.txt")));
    }

    // Values out of range are clamped and said so; the others are not listed.
    const std::string hot =
        preset("hot.txt",
               "\tdelayTime\n\t\t10\n\tnumEchoes\n\t\t100\n\tfbGain\n\t\t0.25\n\twetGain\n\t\t-1");
    ToolRun r = run({"--preset", hot, "--save-preset", path("out.txt")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "delayTime = 4 (asked for 10)  [4000 ms]\n"
              "numEchoes = 16 (asked for 100)  [16]\n"
              "wetGain = 0 (asked for -1)  [-oo dB]\n");
    const std::string saved = slurp(path("out.txt"));
    EXPECT_NE(saved.find("\tnumEchoes\n\t\t16\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\tfbGain\n\t\t0.25\n"), std::string::npos) << saved;

    // A value given again by --set replaces the preset's, which then is not reported.
    ToolRun over = run({"--preset", hot, "--set", "delayTime=1", "--save-preset", path("out.txt")});
    ASSERT_EQ(over.code, 0) << over.err;
    EXPECT_EQ(over.out,
              "numEchoes = 16 (asked for 100)  [16]\n"
              "wetGain = 0 (asked for -1)  [-oo dB]\n"
              "delayTime = 1  [1000 ms]\n");
}

TEST_F(RenderTool, DirectoriesAreNoFiles) {
    fs::create_directory(path("dir"));
    fs::create_directory(path("dir.wav"));
    fs::create_directory(path("dir.png"));
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--save-preset", path("dir")}, "cannot write " + path("dir") + ": it is a directory"},
        {{"--preset", path("dir"), "-o", path("x.wav")},
         "cannot read preset " + path("dir") + ": it is a directory"},
        {{"-o", path("dir.wav")}, "cannot write " + path("dir.wav") + ": it is a directory"},
        {{"--impulse", "--plot", path("dir.png")},
         "cannot write " + path("dir.png") + ": it is a directory"},
        {{path("dir"), "-o", path("x.wav")}, "cannot read " + path("dir") + ": it is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ToolRun r = run(c.args);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        expectOneLine(r);
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"dir", "dir.png", "dir.wav"}));
}

TEST_F(RenderTool, OutputOverFullScaleIsReported) {
    writeAudio(path("hot.wav"), 48000, 2, stereoSine(24000, 0.8));
    const std::vector<std::string> loud = {path("hot.wav"), "--set", "wetGain=1", "--set",
                                           "delayTime=0.01", "--tail", "0.2"};
    auto render = [&](const std::string& name, const std::string& encoding) {
        std::vector<std::string> args = loud;
        args.insert(args.end(), {"-o", path(name)});
        if (!encoding.empty()) args.insert(args.end(), {"--encoding", encoding});
        return run(args);
    };

    // Float output keeps the samples and says how far over they go.
    ToolRun flt = render("float.wav", "");
    ASSERT_EQ(flt.code, 0) << flt.err;
    Audio out = readAudio(path("float.wav"));
    float peak = 0;
    long over = 0;
    for (float v : out.samples) {
        peak = std::max(peak, std::fabs(v));
        over += std::fabs(v) > 1.0f;
    }
    ASSERT_GT(peak, 1.2f);
    EXPECT_NE(flt.err.find("float.wav goes over full scale: its peak is +"), std::string::npos)
        << flt.err;
    EXPECT_NEAR(numberAfter(flt.err, "its peak is "), 20 * std::log10(peak), 0.006) << flt.err;
    expectOneLine(flt);

    // Integer output counts the samples it clipped.
    for (const auto& [name, encoding] : {std::pair<std::string, std::string>{"int.wav", "pcm16"},
                                         {"int.flac", ""},
                                         {"int.aiff", "pcm24"}}) {
        SCOPED_TRACE(name);
        ToolRun r = render(name, encoding);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.err.find(name + ": " + std::to_string(over) +
                             " samples over full scale were clipped (the peak was +"),
                  std::string::npos)
            << r.err;
        expectOneLine(r);
        Audio clipped = readAudio(path(name));
        float top = 0;
        for (float v : clipped.samples) top = std::max(top, std::fabs(v));
        EXPECT_LE(top, 1.0f);
        EXPECT_GT(top, 0.999f);
    }

    // Below full scale, nothing is said.
    ToolRun quiet = run({path("hot.wav"), "-o", path("quiet.wav"), "--encoding", "pcm16"});
    ASSERT_EQ(quiet.code, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
}

TEST_F(RenderTool, RepeatedRendersGiveTheSameBytes) {
    // A second apart, so that a time stamp would show.
    const struct {
        const char* name;
        const char* encoding;
    } formats[] = {{"float.wav", ""},  {"int16.wav", "pcm16"}, {"int24.wav", "pcm24"},
                   {"float.aiff", ""}, {"int.flac", ""},       {"vorbis.ogg", ""}};
    auto renderAll = [&](const std::string& prefix) {
        for (const auto& f : formats) {
            std::vector<std::string> args = {"-o", path(prefix + f.name), "--tail", "1"};
            if (*f.encoding) args.insert(args.end(), {"--encoding", f.encoding});
            ToolRun r = run(args);
            ASSERT_EQ(r.code, 0) << r.err;
        }
        ToolRun plot = run({"--impulse", "--plot", path(prefix + "plot.png"), "--tail", "1"});
        ASSERT_EQ(plot.code, 0) << plot.err;
    };
    renderAll("a-");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    renderAll("b-");
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        const std::string a = slurp(path(std::string("a-") + f.name));
        ASSERT_GT(a.size(), 1000u);
        EXPECT_TRUE(a == slurp(path(std::string("b-") + f.name)));
    }
    EXPECT_TRUE(slurp(path("a-plot.png")) == slurp(path("b-plot.png")));
    EXPECT_EQ(slurp(path("a-float.wav")).find("PEAK"), std::string::npos);
}

TEST_F(RenderTool, InputsCutShortAreRenderedAndReported) {
    std::vector<float> stereo(2 * 48000);
    uint32_t noise = 1;  // noise, so that FLAC frames stay large
    for (float& v : stereo) {
        noise = noise * 1664525u + 1013904223u;
        v = 0.3f * static_cast<float>(static_cast<int32_t>(noise)) / 2147483648.0f;
    }
    writeAudio(path("w.wav"), 48000, 2, stereo, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    writeAudio(path("a.aiff"), 48000, 2, stereo, SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
    writeAudio(path("f.flac"), 48000, 2, stereo, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string wav = slurp(path("w.wav")), aiff = slurp(path("a.aiff")),
                      flac = slurp(path("f.flac"));
    // A FLAC file cut just before a frame's sync code decodes cleanly, only shorter.
    size_t sync = flac.find("\xff\xf8", flac.size() / 2);
    ASSERT_NE(sync, std::string::npos);
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {{"cut.wav", wav.substr(0, wav.size() / 2)},
                 {"cut.aiff", aiff.substr(0, aiff.size() / 3)},
                 {"cut.flac", flac.substr(0, sync)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        spit(path(c.name), c.bytes);
        ToolRun r = run({path(c.name), "-o", path("out.wav"), "--tail", "0"});
        EXPECT_EQ(r.code, 0) << r.err;
        const size_t frames = readAudio(path("out.wav")).frames();
        EXPECT_GT(frames, 1000u);
        EXPECT_LT(frames, 40000u);
        EXPECT_NE(r.err.find(path(c.name) + " is cut short: it ended after " +
                             std::to_string(frames) + " of the 48000 frames its header announces"),
                  std::string::npos)
            << r.err;
        expectOneLine(r);
    }
    // A whole file is not.
    ToolRun whole = run({path("w.wav"), "-o", path("out.wav"), "--tail", "0"});
    EXPECT_EQ(whole.code, 0);
    EXPECT_EQ(whole.err, "");
}

// The tool as a child process that a test can signal.
pid_t startTool(const std::vector<std::string>& args, const fs::path& log) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
    FILE* out = std::freopen(log.c_str(), "w", stderr);
    if (!out || !std::freopen("/dev/null", "w", stdout)) _exit(126);
    std::vector<char*> argv = {const_cast<char*>(BW_RENDER_TOOL)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(BW_RENDER_TOOL, argv.data());
    _exit(127);
}

TEST_F(RenderTool, SignalsEndTheRunAndLeaveNoTemporaryFile) {
    const fs::path log = fs::temp_directory_path() / ("bw-render-log-" + std::to_string(getpid()));
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGALRM}) {
        SCOPED_TRACE(strsignal(sig));
        spit(path("out.wav"), "precious");
        pid_t pid =
            startTool({"-o", path("out.wav"), "--plot", path("out.png"), "--tail", "3600"}, log);
        ASSERT_GT(pid, 0);
        // Signalled once the output's temporary file is there.
        bool pending = false;
        for (int i = 0; i < 2000 && !pending; ++i) {
            for (const std::string& name : files())
                pending = pending || name.rfind(".out.wav.tmp-", 0) == 0;
            if (!pending) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(pending);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        // Ended by the signal: the shell's status is 128 + its number.
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), sig);
        const int shellStatus = 128 + WTERMSIG(status);
        if (sig == SIGINT) {
            EXPECT_EQ(shellStatus, 130);
        } else if (sig == SIGTERM) {
            EXPECT_EQ(shellStatus, 143);
        }
        EXPECT_EQ(files(), std::vector<std::string>{"out.wav"});
        EXPECT_EQ(slurp(path("out.wav")), "precious");
        EXPECT_NE(slurp(log).find("stopped by a signal; the unfinished output is removed"),
                  std::string::npos)
            << slurp(log);
    }
    fs::remove(log);
}

TEST_F(RenderTool, InstalledToolsFindTheInstalledPlugin) {
    // The build tree's renderer takes the build tree's plug-in.
    ToolRun here = run({"--list"});
    ASSERT_EQ(here.code, 0) << here.err;
    EXPECT_EQ(here.out.rfind("the plug-in " + fs::canonical(BW_PLUGIN_PATH).string() + ";", 0), 0u)
        << here.out;

    ToolRun install =
        runProgram(BW_CMAKE_COMMAND, {"--install", BW_BUILD_DIR, "--prefix", path("prefix")});
    ASSERT_EQ(install.code, 0) << install.out << install.err;
    for (const char* installed :
         {"bin/brindlewave-render", "bin/brindlewave-validate", "lib/vst/Brindlewave.so"})
        EXPECT_TRUE(fs::is_regular_file(path("prefix/") + installed)) << installed;
    // Moved elsewhere, the installed renderer still finds its own plug-in.
    fs::rename(path("prefix"), path("moved"));
    const std::string tool = path("moved/bin/brindlewave-render");
    ToolRun list = runProgram(tool, {"--list"});
    ASSERT_EQ(list.code, 0) << list.err;
    EXPECT_EQ(list.out.rfind("the plug-in " + path("moved/lib/vst/Brindlewave.so") + ";", 0), 0u)
        << list.out;
    ToolRun impulse = runProgram(tool, {"--impulse", "--tail", "1"});
    ASSERT_EQ(impulse.code, 0) << impulse.err;
    EXPECT_GE(echoRows(impulse.out).size(), 2u);
    ToolRun validate = runProgram(path("moved/bin/brindlewave-validate"),
                                  {path("moved/lib/vst/Brindlewave.so"), "--only", "info"});
    EXPECT_EQ(validate.code, 0) << validate.out << validate.err;
    EXPECT_NE(validate.out.find(" 0 failed"), std::string::npos) << validate.out;
    // Without it, there is no other to fall back on.
    fs::remove(path("moved/lib/vst/Brindlewave.so"));
    ToolRun none = runProgram(tool, {"--list"});
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("cannot find the plug-in (there is no " + path("moved/bin") +
                            "/../lib/vst/Brindlewave.so or "),
              std::string::npos)
        << none.err;
    expectOneLine(none);
}

}  // namespace
