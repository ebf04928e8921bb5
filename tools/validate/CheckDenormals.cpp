// After a loud passage and a long silence the feedback loop holds tiny numbers;
// processing them must not become much slower (denormal arithmetic).
#include <algorithm>
#include <chrono>

#include "Validator.h"

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

void checkDenormals(Validator& v) {
    const std::string name = "denormals: silence after a loud passage costs at most 3x";
    if (BW_VALIDATE_SANITIZED) {
        v.skip(name, "timing means nothing under a sanitizer");
        return;
    }
    Findings f;
    hostkit::Host host;
    auto p = v.open(host);
    constexpr int32_t kBlock = 256;
    p->prepare(48000.0f, kBlock);
    p->setParameter(kDelayTime, delayKnob(0.02));
    p->setParameter(kFbGain, 0.9f);
    p->setParameter(kDelayModDepth, 0.2f);
    Stereo in(kBlock), silent(kBlock), out(kBlock);
    using Clock = std::chrono::steady_clock;
    auto timeBlock = [&](const Stereo& input) {
        const auto start = Clock::now();
        run(*p, input, out, kBlock);
        return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    };
    std::vector<double> loud, quiet;
    for (int i = 0; i < 400; ++i) {
        fillNoise(in, v.rng(), 0.9f);
        loud.push_back(timeBlock(in));
    }
    // About 30 s of silence: long enough for every echo to sink far below the
    // smallest normal float; time the last part.
    const int silentBlocks = v.scaled(6000);
    for (int i = 0; i < silentBlocks; ++i) {
        const double t = timeBlock(silent);
        if (i >= silentBlocks - 400) quiet.push_back(t);
    }
    const double loudMedian = median(loud), quietMedian = median(quiet);
    if (quietMedian > 3.0 * loudMedian)
        f.add(format("median block %.1f us in silence against %.1f us while loud", quietMedian, loudMedian));
    v.result(name, f, format("loud %.1f us, silent %.1f us per %d-frame block", loudMedian, quietMedian, kBlock));
}
