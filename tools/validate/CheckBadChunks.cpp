// Malformed and random chunks never crash or hang the plug-in and leave it
// usable: finite output, knob positions in 0..1, and a good chunk still loads.
#include <chrono>
#include <cmath>
#include <limits>

#include "Validator.h"

namespace {

std::vector<std::string> corpus(Validator& v, const std::string& preset, const std::string& bank) {
    const std::string head = "Name\n\tunnamed\nParameterList\n";
    std::vector<std::string> c = {
        "", std::string(1, '\0'), "\n", "\t", "\t\t\t\n\n\t", "Preset", "Preset\n", "ParameterList",
        "ParameterList\n", "Name\r\n\tunnamed\r\nParameterList\r\n\tdelayTime\r\n\t\t1\r\n",
        std::string(100000, '\t'), std::string(100000, '\n'), "Preset\n\tPreset\n\t\tPreset\n",
        head + "\t" + std::string(5000, 'x') + "\n\t\t1",
    };
    // Value texts a parser may trip over, for every parameter.
    const char* values[] = {"nan", "-nan", "NaN", "inf", "-inf", "infinity", "1e400", "-1e400", "1e-400",
                            "0x1p3", "-0", "", " ", "abc", "99999999999999999999999", "-99999999999999999999",
                            "2147483648", "-2147483649", "1.#INF", "0,5", "1e", "--1", "+", ".",
                            "snow 9", "true sine\tx", "on\r", "1\0x"};
    const char* keys[] = {"tempo", "numEchoes", "numBeats", "tempoSync", "delayTime", "delayModDepth",
                          "delayModRate", "lfoWaveform", "lfoCutoff", "dryGain", "wetGain", "wetSwapLR",
                          "wetSwapMS", "wetInvertPhase", "wetRotation", "fbGain", "fbCenterFreq", "fbQ",
                          "fbSwapLR", "fbSwapMS", "fbInvertPhase", "fbRotation"};
    for (const char* key : keys)
        for (const char* value : values) c.push_back(head + "\t" + key + "\n\t\t" + value);
    std::string all = head;
    for (const char* key : keys) all += std::string("\t") + key + "\n\t\tnan\n";
    c.push_back(all);
    // Every prefix of real chunks, and bit flips.
    for (size_t n = 0; n < preset.size(); n += 3) c.push_back(preset.substr(0, n));
    for (size_t n = 0; n < bank.size(); n += 5) c.push_back(bank.substr(0, n));
    std::mt19937_64& rng = v.rng();
    const int flips = v.scaled(400);
    for (int i = 0; i < flips; ++i) {
        std::string s = (i % 2) ? preset : bank;
        const int count = 1 + static_cast<int>(rng() % 8);
        for (int k = 0; k < count; ++k) s[rng() % s.size()] ^= static_cast<char>(1u << (rng() % 8));
        c.push_back(s);
    }
    const int randoms = v.scaled(200);
    for (int i = 0; i < randoms; ++i) {
        std::string s(rng() % 2048, '\0');
        for (char& ch : s) ch = static_cast<char>(rng() % 4 ? "\t\nab.0e-"[rng() % 8] : rng());
        c.push_back(s);
    }
    return c;
}

// Finite output, knobs in range; then a good chunk loads and sticks.
void expectUsable(Findings& f, hostkit::Plugin& p, const std::string& good, const std::string& what) {
    for (int32_t i = 0; i < kNumParams; ++i) {
        const float k = p.getParameter(i);
        if (!(k >= 0.0f && k <= 1.0f)) {
            f.add(what + format(": param %d knob %g (display \"%s\")", i, k, p.paramDisplay(i).c_str()));
            break;
        }
    }
    Stereo in(256, 0.25f), out(256);
    for (int b = 0; b < 4; ++b) run(p, in, out, 256);
    if (firstNonFinite(out, 256) >= 0) f.add(what + ": non-finite output afterwards");
    if (p.setChunk(good, true) != 1 || p.getChunk(true) != good) f.add(what + ": a good chunk no longer loads");
}

std::string printable(const std::string& s) {
    std::string out;
    for (char ch : s.substr(0, 60)) out += (ch == '\n') ? "\\n" : (ch == '\t') ? "\\t" : (ch < 32 ? "?" : std::string(1, ch));
    return "\"" + out + (s.size() > 60 ? "...\"" : "\"") + format(" (%zu bytes)", s.size());
}

}  // namespace

void checkBadChunks(Validator& v) {
    Findings f, slow;
    hostkit::Host host;
    auto p = v.open(host);
    p->prepare(44100.0f, 256);
    auto reference = v.open(host);
    for (int32_t i = 0; i < kNumParams; ++i) reference->setParameter(i, 0.3f);
    const std::string preset = reference->getChunk(true), bank = reference->getChunk(false);
    const auto chunks = corpus(v, preset, bank);
    double worst = 0.0;
    for (size_t n = 0; n < chunks.size(); ++n) {
        for (bool isPreset : {true, false}) {
            const auto start = std::chrono::steady_clock::now();
            p->setChunk(chunks[n], isPreset);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            worst = std::fmax(worst, seconds);
            if (seconds > 0.5) slow.add(format("chunk %zu took %.2f s", n, seconds));
            expectUsable(f, *p, preset, format("chunk %zu %s as %s", n, printable(chunks[n]).c_str(),
                                               isPreset ? "preset" : "bank"));
        }
    }
    // A null pointer with a zero size.
    p->dispatch(effSetChunk, 1, 0, nullptr);
    p->dispatch(effSetChunk, 0, 0, nullptr);
    expectUsable(f, *p, preset, "null chunk of size 0");
    v.result(format("badchunks: %zu malformed chunks in both forms leave the effect usable", chunks.size()), f);
    v.result("badchunks: no chunk takes long to load", slow, format("slowest %.3f s", worst));
}

void checkNegativeChunkSize(Validator& v) {
    // Outside the interface's contract, but a host bug must not crash the effect.
    Findings f;
    hostkit::Host host;
    auto p = v.open(host);
    char text[] = "Name\n\tunnamed\nParameterList\n";
    for (intptr_t size : {intptr_t{-1}, intptr_t{-1000}, intptr_t{INT32_MIN}}) {
        p->dispatch(effSetChunk, 1, size, text);
        p->dispatch(effSetChunk, 0, size, text);
    }
    auto reference = v.open(host);
    expectUsable(f, *p, reference->getChunk(true), "after negative sizes");
    v.result("negative-chunk-size: a negative byte count is refused", f);
}
