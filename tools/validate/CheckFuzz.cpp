// Random knob positions on every parameter between blocks, including positions
// outside 0..1 and not-a-number ones, which must be ignored.
#include <cmath>
#include <limits>

#include "Validator.h"

namespace {
// Noise at this level in; even a runaway loop (a delay swept faster than real
// time with full feedback) keeps the output within outputCeiling of it.
constexpr float kInputPeak = 0.5f;
}  // namespace

void checkParameterFuzz(Validator& v) {
    Findings ignored, output;
    hostkit::Host host;
    auto p = v.open(host);
    p->prepare(48000.0f, 128);
    std::mt19937_64& rng = v.rng();
    std::uniform_real_distribution<float> knob(0.0f, 1.0f);
    std::uniform_int_distribution<int32_t> param(0, kNumParams - 1);
    const float invalid[] = {-0.001f, 1.001f, -1.0f, 2.0f, 1e30f, -1e30f,
                             std::numeric_limits<float>::quiet_NaN(),
                             -std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             std::nextafter(1.0f, 2.0f), -std::numeric_limits<float>::denorm_min()};
    Stereo in(128), out(128);
    const int blocks = v.scaled(4000);
    float maxPeak = 0.0f;
    const float rates[] = {48000.0f, 192000.0f, 22050.0f, 96000.0f};
    for (int block = 0; block < blocks; ++block) {
        // Every few hundred blocks another rate, so that long delays exceed the line at high rates.
        if (block % 500 == 250) p->prepare(rates[(block / 500) % std::size(rates)], 128);
        const int moves = static_cast<int>(rng() % 4);
        for (int m = 0; m < moves; ++m) {
            const int32_t i = param(rng);
            const unsigned kind = rng() % 8;
            if (kind < 5) {
                p->setParameter(i, knob(rng));
            } else if (kind == 5) {
                p->setParameter(i, (rng() & 1) ? 0.0f : 1.0f);
            } else {
                const float bad = invalid[rng() % std::size(invalid)];
                const float before = p->getParameter(i);
                p->setParameter(i, bad);
                const float after = p->getParameter(i);
                if (!(after == before))
                    ignored.add(format("param %d: knob %g changed the position from %g to %g", i, bad, before, after));
            }
        }
        if (block % 97 == 0) {
            // Settle on the extremes now and then: long delays, full feedback.
            p->setParameter(kFbGain, 1.0f);
            p->setParameter(kDelayModDepth, 1.0f);
        }
        fillNoise(in, rng, kInputPeak);
        // process adds to what the buffer holds; start it from silence, as a host does.
        const bool replace = rng() & 1;
        if (!replace) out = Stereo(128);
        run(*p, in, out, 128, replace);
        const long bad = firstNonFinite(out, 128);
        if (bad >= 0) {
            std::string knobs;
            for (int32_t i = 0; i < kNumParams; ++i) knobs += format(" %g", p->getParameter(i));
            output.add(format("block %d: non-finite output at frame %ld; knobs:%s", block, bad, knobs.c_str()));
            break;
        }
        maxPeak = std::fmax(maxPeak, peak(out, 128));
        if (peak(out, 128) > outputCeiling(kInputPeak)) {
            std::string knobs;
            for (int32_t i = 0; i < kNumParams; ++i) knobs += format(" %g", p->getParameter(i));
            output.add(format("block %d: output %g above %g; knobs:%s", block, peak(out, 128),
                              outputCeiling(kInputPeak), knobs.c_str()));
            break;
        }
    }
    // Whatever the fuzz left in the loop, it dies away once the delay is short
    // and the feedback off.
    p->setParameter(kTempoSync, 0.0f);
    p->setParameter(kDelayTime, 0.0f);
    p->setParameter(kDelayModDepth, 0.0f);
    p->setParameter(kFbGain, 0.0f);
    Stereo silence(128);
    for (int block = 0; block < 750 && output.ok(); ++block) {
        run(*p, silence, out, 128, true);
        if (firstNonFinite(out, 128) >= 0) output.add("non-finite output after the fuzz");
        else if (block >= 375 && peak(out, 128) > 1e-3f)
            output.add(format("output %g one second after the feedback was turned off", peak(out, 128)));
    }
    v.result("fuzz: out-of-range and NaN knob positions are ignored", ignored);
    v.result(format("fuzz: %d blocks with random knobs, outputs finite and bounded", blocks), output,
             format("peak %g", maxPeak));
}
