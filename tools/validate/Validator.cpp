#include "Validator.h"

#include "ClassicNumbers.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>

void Findings::add(const std::string& text) {
    ++count_;
    if (texts_.size() < 4) texts_.push_back(text);
}

std::string Findings::describe() const {
    std::string out;
    for (const std::string& t : texts_) out += (out.empty() ? "" : "; ") + t;
    if (count_ > static_cast<int>(texts_.size()))
        out += format("; ... %d problems in all", count_);
    return out;
}

Validator::Validator(const Options& options) : options_(options), rng_(options.seed) {}

hostkit::Library& Validator::library() {
    if (!library_) {
        std::string error;
        library_ = hostkit::Library::open(options_.pluginPath, &error);
        if (!library_) throw std::runtime_error("cannot load the plug-in: " + error);
    }
    return *library_;
}

std::unique_ptr<hostkit::Plugin> Validator::open(hostkit::Host& host) {
    std::string error;
    auto plugin = hostkit::Plugin::create(library(), host, &error);
    if (!plugin) throw std::runtime_error("cannot create an instance: " + error);
    return plugin;
}

int Validator::scaled(int base) const {
    const long n = static_cast<long>(base) * options_.strictness / 3;
    return n < 1 ? 1 : static_cast<int>(n);
}

double Validator::scaledSeconds(double base) const { return base * options_.strictness / 3.0; }

void Validator::result(const std::string& name, const Findings& findings, const std::string& note) {
    if (findings.ok()) {
        ++passed_;
        std::printf("PASS  %s%s%s\n", name.c_str(), note.empty() ? "" : ": ", note.c_str());
    } else {
        ++failed_;
        std::printf("FAIL  %s: %s\n", name.c_str(), findings.describe().c_str());
    }
    std::fflush(stdout);
}

void Validator::skip(const std::string& name, const std::string& why) {
    ++passed_;
    std::printf("SKIP  %s: %s\n", name.c_str(), why.c_str());
    std::fflush(stdout);
}

void fillNoise(Stereo& s, std::mt19937_64& rng, float amplitude) {
    std::uniform_real_distribution<float> d(-amplitude, amplitude);
    for (size_t i = 0; i < s.size(); ++i) {
        s.l[i] = d(rng);
        s.r[i] = d(rng);
    }
}

void fillValue(Stereo& s, float value) {
    std::fill(s.l.begin(), s.l.end(), value);
    std::fill(s.r.begin(), s.r.end(), value);
}

long firstNonFinite(const Stereo& s, size_t frames) {
    for (size_t i = 0; i < frames && i < s.size(); ++i)
        if (!std::isfinite(s.l[i]) || !std::isfinite(s.r[i])) return static_cast<long>(i);
    return -1;
}

float peak(const Stereo& s, size_t frames) {
    float p = 0.0f;
    for (size_t i = 0; i < frames && i < s.size(); ++i)
        p = std::fmax(p, std::fmax(std::fabs(s.l[i]), std::fabs(s.r[i])));
    return p;
}

void run(hostkit::Plugin& p, const Stereo& in, Stereo& out, int32_t frames, bool replace) {
    p.processBlock(in.l.data(), in.r.data(), out.l.data(), out.r.data(), frames, replace);
}

std::string format(const char* fmt, ...) {
    // The validator's texts keep full stops whatever locale a check sets.
    const platform::ClassicNumbers classic;
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

float delayKnob(double seconds) { return static_cast<float>(std::pow(seconds / 4.0, 0.25)); }
