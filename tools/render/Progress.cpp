#include "Progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

bool progressWanted() { return isatty(STDERR_FILENO) == 1; }

Progress::Progress(bool enabled, int64_t expectedFrames, double sampleRate)
    : enabled_(enabled), expected_(expectedFrames), rate_(sampleRate), start_(Clock::now()),
      lastDraw_(start_) {}

Progress::~Progress() { finish(); }

void Progress::update(int64_t framesDone, bool inTail) {
    if (!enabled_) return;
    auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1)) return;
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    drawn_ = true;
    const double done = framesDone / rate_;
    constexpr int kWidth = 30;
    std::string bar;
    if (expected_ > 0) {
        double fraction = std::min(1.0, static_cast<double>(framesDone) / expected_);
        int filled = static_cast<int>(fraction * kWidth);
        bar = "[" + std::string(filled, '#') + std::string(kWidth - filled, '-') + "]";
        std::fprintf(stderr, "\r%s %3d%%  %.1f of %.1f s%s\033[K", bar.c_str(),
                     static_cast<int>(fraction * 100), done, expected_ / rate_,
                     inTail ? " (tail)" : "");
    } else {
        std::fprintf(stderr, "\rrendering %.1f s%s\033[K", done, inTail ? " (tail)" : "");
    }
    std::fflush(stderr);
}

void Progress::finish() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}
