#include "EchoAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

void scanChannel(const std::vector<float>& x, int channel, double rate, double threshold,
                 size_t gap, std::vector<EchoEvent>& events) {
    bool open = false;
    size_t start = 0, peak = 0, lastLoud = 0;
    auto close = [&] {
        events.push_back({channel, start / rate, peak / rate, static_cast<double>(x[peak])});
        open = false;
    };
    for (size_t i = 0; i < x.size(); ++i) {
        double magnitude = std::fabs(x[i]);
        if (magnitude >= threshold) {
            if (open && i - lastLoud > gap) close();
            if (!open) {
                open = true;
                start = peak = i;
            }
            if (magnitude > std::fabs(x[peak])) peak = i;
            lastLoud = i;
        }
    }
    if (open) close();
}

}  // namespace

std::vector<EchoEvent> findEchoes(const StereoBuffer& response, double sampleRate,
                                  const EchoSearch& search) {
    double peak = 0;
    for (const auto* channel : {&response.left, &response.right})
        for (float v : *channel) peak = std::max(peak, static_cast<double>(std::fabs(v)));
    std::vector<EchoEvent> events;
    if (peak == 0) return events;
    const double threshold = peak * std::pow(10.0, search.relativeThresholdDb / 20);
    const size_t gap = static_cast<size_t>(search.minimumGapSeconds * sampleRate);
    scanChannel(response.left, 0, sampleRate, threshold, gap, events);
    scanChannel(response.right, 1, sampleRate, threshold, gap, events);
    std::stable_sort(events.begin(), events.end(), [](const EchoEvent& a, const EchoEvent& b) {
        return a.startSeconds < b.startSeconds;
    });
    return events;
}

std::string formatEchoTable(const std::vector<EchoEvent>& events, double sampleRate) {
    std::string text;
    char line[160];
    std::snprintf(line, sizeof line,
                  "impulse response at %g Hz (unit impulse on the left input): %zu events\n",
                  sampleRate, events.size());
    text += line;
    text += "channel   start ms    peak ms   gain dB        gain\n";
    for (const EchoEvent& e : events) {
        double db = 20 * std::log10(std::fabs(e.gain));
        std::snprintf(line, sizeof line, "%-7s %10.3f %10.3f %9.2f %+11.6f\n",
                      e.channel == 0 ? "L" : "R", e.startSeconds * 1000, e.peakSeconds * 1000,
                      db, e.gain);
        text += line;
    }
    return text;
}
