// Splits an impulse response into echo events: stretches above a threshold
// separated by near-silence. Each event is reported by its first sample
// above the threshold and its largest-magnitude sample, sign included.
#pragma once

#include <string>
#include <vector>

#include "DemoPhrase.h"

struct EchoEvent {
    int channel = 0;  // 0 left, 1 right
    double startSeconds = 0;
    double peakSeconds = 0;
    double gain = 0;  // the peak sample, signed
};

struct EchoSearch {
    double relativeThresholdDb = -80;  // below the response's overall peak
    double minimumGapSeconds = 0.010;  // near-silence that separates two events
};

// Events of both channels, ordered by start time (left first on a tie).
std::vector<EchoEvent> findEchoes(const StereoBuffer& response, double sampleRate,
                                  const EchoSearch& search = {});

std::string formatEchoTable(const std::vector<EchoEvent>& events, double sampleRate);
