// Shared pieces of the validator: options, findings, the per-check context and
// small signal helpers.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "HostKit.h"
#include "PrintfFormat.h"

// Sanitizer runtimes own malloc, so allocation counting and timing are skipped there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BW_VALIDATE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define BW_VALIDATE_SANITIZED 1
#endif
#endif
#ifndef BW_VALIDATE_SANITIZED
#define BW_VALIDATE_SANITIZED 0
#endif

struct Options {
    std::string pluginPath;
    int strictness = 3;
    uint64_t seed = 1;
};

// The problems one result line found; keeps the first few texts.
class Findings {
public:
    void add(const std::string& text);
    bool ok() const { return count_ == 0; }
    int count() const { return count_; }
    std::string describe() const;

private:
    int count_ = 0;
    std::vector<std::string> texts_;
};

// What a check works with: the plug-in library (loaded on first use, so each
// check process loads it cold), fresh instances, scaled counts and a seeded
// random generator. Result lines go to stdout as they are decided.
class Validator {
public:
    explicit Validator(const Options& options);

    hostkit::Library& library();
    // A fresh instance on `host`; throws when the plug-in refuses.
    std::unique_ptr<hostkit::Plugin> open(hostkit::Host& host);

    // `base` is the count at the default strictness 3.
    int scaled(int base) const;
    double scaledSeconds(double base) const;
    std::mt19937_64& rng() { return rng_; }
    const Options& options() const { return options_; }

    void result(const std::string& name, const Findings& findings, const std::string& note = {});
    void skip(const std::string& name, const std::string& why);
    int passed() const { return passed_; }
    int failed() const { return failed_; }

private:
    Options options_;
    std::unique_ptr<hostkit::Library> library_;
    std::mt19937_64 rng_;
    int passed_ = 0;
    int failed_ = 0;
};

// A stereo buffer pair.
struct Stereo {
    explicit Stereo(size_t frames, float value = 0.0f) : l(frames, value), r(frames, value) {}
    std::vector<float> l, r;
    size_t size() const { return l.size(); }
};

void fillNoise(Stereo& s, std::mt19937_64& rng, float amplitude);
void fillValue(Stereo& s, float value);
// Index of the first non-finite sample among the first `frames`, or -1.
long firstNonFinite(const Stereo& s, size_t frames);
float peak(const Stereo& s, size_t frames);
// One block of `frames` from `in` (at offset 0) into `out`.
void run(hostkit::Plugin& p, const Stereo& in, Stereo& out, int32_t frames, bool replace = true);
// printf into a string, in the C locale whatever the process has set.
std::string format(const char* fmt, ...) BW_PRINTF_FORMAT(1, 2);

// Host parameter indexes used by several checks.
enum ParamIndex : int32_t {
    kTempo = 0, kTempoSync = 3, kDelayTime = 4, kDelayModDepth = 5, kLfoWaveform = 7,
    kDryGain = 9, kWetGain = 10, kFbGain = 15, kFbCenterFreq = 16, kFbQ = 17,
    kNumParams = 22
};
// How far the output may stray from the dry input, per sample. The feedback
// loop writes back into the delay line unchanged while |v| <= 2 and bends
// smoothly towards a ceiling of 4 above that (a NaN becomes 0), so |line| <= 4.
// A read weighs four line values with cubic weights whose absolute sum is at
// most 1.25 (|read| <= 5), and a row of the wet matrix sums to at most
// gain * sqrt(2) <= sqrt(2) in absolute value: |wet| <= 5 * sqrt(2) = 7.0711.
// The dry gain is at most 1, so |output| <= |input| + 7.0711; 7.1 leaves a
// little room for rounding.
constexpr float kWetCeiling = 7.1f;
// The largest output a block may hold when its input peaks at `inputPeak`
// (processReplacing, or process into a zeroed buffer).
inline float outputCeiling(float inputPeak) { return inputPeak + kWetCeiling; }

// Knob position of the "Delay" parameter for a delay in seconds (fourth-root mapping).
float delayKnob(double seconds);

// The checks, each run in a process of its own.
void checkLifecycle(Validator& v);
void checkInfo(Validator& v);
void checkOpcodes(Validator& v);
void checkProcessing(Validator& v);
void checkParameterFuzz(Validator& v);
void checkState(Validator& v);
void checkThreads(Validator& v);
void checkRealtime(Validator& v);
void checkDenormals(Validator& v);
void checkLocale(Validator& v);
void checkBadChunks(Validator& v);
void checkNegativeChunkSize(Validator& v);
