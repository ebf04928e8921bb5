// A progress bar on standard error, shown only when standard error is a
// terminal and the render has already taken about a second.
#pragma once

#include <chrono>
#include <cstdint>

class Progress {
public:
    // `expectedFrames` is -1 when the length is not known in advance.
    Progress(bool enabled, int64_t expectedFrames, double sampleRate);
    ~Progress();
    void update(int64_t framesDone, bool inTail);
    void finish();  // clears the bar's line

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    int64_t expected_;
    double rate_;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
    bool drawn_ = false;
};

// Whether a bar would be shown at all: standard error is a terminal.
bool progressWanted();
