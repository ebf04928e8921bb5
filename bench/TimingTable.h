// The timing runs shared by the peer-timing programs: a subject renders the
// same noise block by block, the runs go round all subjects in turn, and the
// table gives each one's median ns per frame against the first subject.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace timing {

inline constexpr float kRate = 48000.0f;

// The clock that times the runs: by default the CPU time of the timing thread,
// which a loaded machine's other processes do not add to, else elapsed time.
inline bool useWallClock = false;

inline double nowNs() {
    if (useWallClock)
        return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now().time_since_epoch()).count();
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

inline const char* clockName() { return useWallClock ? "elapsed time" : "the timing thread's CPU time"; }

// Something that processes blocks of audio and can be timed.
class Subject {
public:
    explicit Subject(int block) : block_(block) {}
    virtual ~Subject() = default;
    virtual const std::string& name() const = 0;

    // Seconds of audio through the plug-in; returns ns per frame.
    double time(double seconds) {
        const long blocks = static_cast<long>(seconds * kRate / block_);
        const double start = nowNs();
        for (long b = 0; b < blocks; ++b) step();
        return (nowNs() - start) / (static_cast<double>(blocks) * block_);
    }

protected:
    // One block, as the host's audio callback would do it.
    virtual void step() = 0;
    const int block_;
};

// Four seconds of noise for each channel, read block by block round and round.
inline std::vector<std::vector<float>> noise(size_t channels) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    std::vector<std::vector<float>> result(channels);
    for (auto& channel : result) {
        channel.resize(static_cast<size_t>(kRate) * 4);
        for (float& x : channel) x = uniform(rng);
    }
    return result;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

inline std::vector<int> parseList(const std::string& text) {
    std::vector<int> values;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) values.push_back(std::stoi(item));
    return values;
}

// Warms every subject up, then times runs interleaved, so that a busy moment
// of the machine hits every subject alike, and prints the table.
inline void printTable(int block, const std::vector<std::unique_ptr<Subject>>& subjects, int runs,
                       double seconds) {
    for (auto& s : subjects) s->time(0.5);  // caches and first-block work
    std::vector<std::vector<double>> samples(subjects.size());
    for (int run = 0; run < runs; ++run)
        for (size_t k = 0; k < subjects.size(); ++k) samples[k].push_back(subjects[k]->time(seconds));
    std::printf("\n%d-frame blocks\n%-28s %10s %10s %10s\n", block, "plug-in", "ns/frame", "first/it", "it/first");
    const double reference = median(samples[0]);
    for (size_t k = 0; k < subjects.size(); ++k) {
        const double m = median(samples[k]);
        std::printf("%-28s %10.2f %10.2f %10.2f\n", subjects[k]->name().c_str(), m, reference / m, m / reference);
    }
}

}  // namespace timing
