// The timing runs shared by the peer-timing programs: a subject renders the
// same noise block by block, the runs go round all subjects in turn, and the
// table gives each one's median ns per frame against the first subject.
#pragma once

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace timing {

inline constexpr float kRate = 48000.0f;

// Something that processes blocks of audio and can be timed.
class Subject {
public:
    virtual ~Subject() = default;
    virtual const std::string& name() const = 0;
    // Seconds of audio through the plug-in; returns ns per frame.
    virtual double time(double seconds) = 0;
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
