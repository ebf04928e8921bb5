#include "DemoPhrase.h"

#include <cmath>

namespace {

struct Note {
    double start;      // seconds
    double frequency;  // hertz
    double pan;        // -1 left .. +1 right
};

// A, C sharp, E, then the A an octave up: one each left, right, centre, left.
constexpr Note kNotes[] = {
    {0.00, 440.00, -0.8},
    {0.45, 554.37, 0.8},
    {0.90, 659.26, 0.0},
    {1.35, 880.00, -0.5},
};
constexpr double kNoteSeconds = 0.3;
constexpr double kPi = 3.14159265358979323846;

// A plucked string: a few harmonics, the higher ones dying faster, with a
// 2 ms attack so the onset does not click.
double pluck(double t, double frequency) {
    double value = 0;
    for (int h = 1; h <= 5; ++h) {
        double decay = std::exp(-t * (20.0 + 10.0 * h));
        value += std::sin(2 * kPi * frequency * h * t) * decay / h;
    }
    double attack = t < 0.002 ? t / 0.002 : 1.0;
    return 0.5 * attack * value;
}

}  // namespace

StereoBuffer demoPhrase(int sampleRate) {
    const size_t frames = static_cast<size_t>(kDemoSeconds * sampleRate);
    StereoBuffer out{std::vector<float>(frames, 0.0f), std::vector<float>(frames, 0.0f)};
    for (const Note& note : kNotes) {
        // Constant-power pan.
        double angle = (note.pan + 1) * kPi / 4;
        double gainL = std::cos(angle), gainR = std::sin(angle);
        size_t first = static_cast<size_t>(note.start * sampleRate);
        size_t count = static_cast<size_t>(kNoteSeconds * sampleRate);
        for (size_t i = 0; i < count && first + i < frames; ++i) {
            double t = static_cast<double>(i) / sampleRate;
            double fade = i + 64 >= count ? static_cast<double>(count - i) / 64 : 1.0;
            double v = pluck(t, note.frequency) * fade;
            out.left[first + i] += static_cast<float>(v * gainL);
            out.right[first + i] += static_cast<float>(v * gainR);
        }
    }
    return out;
}

StereoBuffer unitImpulse() { return {{1.0f}, {0.0f}}; }
