// The built-in input: four short plucked notes with silence between them,
// panned across the stereo field so that the turning echoes can be heard.
// Deterministic: the same samples for the same rate on every run.
#pragma once

#include <cstddef>
#include <vector>

struct StereoBuffer {
    std::vector<float> left;
    std::vector<float> right;
    size_t frames() const { return left.size(); }
};

constexpr double kDemoSeconds = 2.0;
StereoBuffer demoPhrase(int sampleRate);

// A single full-scale sample on the left input at time zero.
StereoBuffer unitImpulse();
