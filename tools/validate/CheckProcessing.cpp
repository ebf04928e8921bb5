// The processing matrix: sample rates by block sizes in the host's usual
// sequence, rate changes while running, both process calls, blocks larger than
// announced and zero-length blocks; outputs finite and the tail never growing.
#include <cmath>

#include "Validator.h"

namespace {

constexpr float kRates[] = {22050, 44100, 48000, 88200, 96000, 176400, 192000};
constexpr int32_t kBlocks[] = {1, 7, 32, 64, 511, 512, 4096, 8192};
constexpr double kEchoSeconds = 0.05;

// Plays `loudSeconds` of noise, then silence, and checks the tail in windows of
// two echo periods: finite everywhere, never growing (fbGain below 1, which must
// also end near silence) or staying bounded (fbGain 1).
void playAndWatchTail(Findings& f, hostkit::Plugin& p, std::mt19937_64& rng, float rate,
                      int32_t block, bool unityFeedback, const std::string& where) {
    Stereo in(block), out(block), silent(block);
    const long loudFrames = static_cast<long>(rate * 0.2);
    const long tailFrames = static_cast<long>(rate * (unityFeedback ? 1.0 : 1.6));
    const long window = static_cast<long>(rate * kEchoSeconds * 2);
    float loudPeak = 0.0f, windowPeak = 0.0f, previousPeak = -1.0f, lastPeak = 0.0f;
    long done = 0, windowFill = 0;
    bool replace = true;
    while (done < loudFrames + tailFrames) {
        const bool loud = done < loudFrames;
        if (loud) fillNoise(in, rng, 0.5f);
        if (!replace) fillValue(out, 0.0f);  // accumulate into zeroed buffers
        run(p, loud ? in : silent, out, block, replace);
        replace = !replace;
        const long bad = firstNonFinite(out, block);
        if (bad >= 0) {
            f.add(where + format(": non-finite output at frame %ld", done + bad));
            return;
        }
        done += block;
        if (loud) {
            loudPeak = std::fmax(loudPeak, peak(out, block));
            continue;
        }
        windowPeak = std::fmax(windowPeak, peak(out, block));
        windowFill += block;
        if (windowFill >= window) {
            // The first window after the input stops still holds the last loud echoes.
            if (previousPeak >= 0.0f && !unityFeedback && windowPeak > previousPeak * 1.05f + 1e-7f)
                f.add(where + format(": tail grows from %g to %g", previousPeak, windowPeak));
            if (unityFeedback && windowPeak > 4.0f * loudPeak + 1e-3f)
                f.add(where + format(": tail %g above 4x the loud output %g", windowPeak, loudPeak));
            previousPeak = windowPeak;
            lastPeak = windowPeak;
            windowPeak = 0.0f;
            windowFill = 0;
        }
    }
    if (!unityFeedback && lastPeak > 1e-4f)
        f.add(where + format(": tail still at %g after %.1f s of silence", lastPeak, tailFrames / rate));
}

}  // namespace

void checkProcessing(Validator& v) {
    {
        Findings f;
        int combos = 0;
        for (float rate : kRates)
            for (int32_t block : kBlocks) {
                hostkit::Host host;
                auto p = v.open(host);
                p->prepare(rate, block);
                p->setParameter(kDelayTime, delayKnob(kEchoSeconds));
                playAndWatchTail(f, *p, v.rng(), rate, block, false, format("%g Hz, block %d", rate, block));
                ++combos;
            }
        v.result(format("processing: %d rate x block combinations, tail decays (fbGain 0.5)", combos), f);
    }
    {
        Findings f;
        for (float rate : kRates) {
            hostkit::Host host;
            auto p = v.open(host);
            p->prepare(rate, 512);
            p->setParameter(kDelayTime, delayKnob(kEchoSeconds));
            p->setParameter(kFbGain, 1.0f);
            playAndWatchTail(f, *p, v.rng(), rate, 512, true, format("%g Hz", rate));
        }
        v.result("processing: tail stays bounded with fbGain 1", f);
    }
    {
        // Rate changes while running, with parameter moves so that the new rate is used.
        Findings f;
        hostkit::Host host;
        auto p = v.open(host);
        Stereo in(512), out(512);
        const int rounds = v.scaled(4);
        for (int round = 0; round < rounds; ++round)
            for (float rate : kRates) {
                p->suspend();
                p->setSampleRate(rate);
                p->setBlockSize(512);
                p->resume();
                p->setParameter(kDelayTime, std::uniform_real_distribution<float>(0, 1)(v.rng()));
                p->setParameter(kFbCenterFreq, std::uniform_real_distribution<float>(0, 1)(v.rng()));
                for (int b = 0; b < 20; ++b) {
                    fillNoise(in, v.rng(), 0.5f);
                    if (b % 2 == 1) fillValue(out, 0.0f);  // process adds to the buffer
                    run(*p, in, out, 512, b % 2 == 0);
                    if (firstNonFinite(out, 512) >= 0) f.add(format("non-finite output at %g Hz", rate));
                    if (peak(out, 512) > outputCeiling(0.5f))
                        f.add(format("output %g at %g Hz, above %g", peak(out, 512), rate, outputCeiling(0.5f)));
                }
            }
        // Rate changes without suspend, as some hosts do.
        for (float rate : kRates) {
            p->dispatch(effSetBlockSizeAndSampleRate, 0, 256, nullptr, rate);
            p->setParameter(kFbQ, std::uniform_real_distribution<float>(0, 1)(v.rng()));
            run(*p, in, out, 256);
            if (firstNonFinite(out, 256) >= 0) f.add(format("non-finite output after a live change to %g Hz", rate));
        }
        v.result("processing: sample-rate changes while running", f);
    }
    {
        // process adds to the outputs, processReplacing overwrites them: two fresh
        // instances fed the same input must differ by exactly the prefilled value.
        Findings f;
        hostkit::Host host;
        auto a = v.open(host);
        auto b = v.open(host);
        a->prepare(44100.0f, 256);
        b->prepare(44100.0f, 256);
        Stereo in(256), outA(256), outB(256);
        for (int block = 0; block < 200; ++block) {
            fillNoise(in, v.rng(), 0.5f);
            fillValue(outA, 123.0f);
            fillValue(outB, 0.25f);
            run(*a, in, outA, 256, true);
            run(*b, in, outB, 256, false);
            for (int i = 0; i < 256; ++i) {
                const float want = 0.25f + outA.l[i];
                if (std::fabs(outB.l[i] - want) > 1e-6f || std::fabs(outB.r[i] - 0.25f - outA.r[i]) > 1e-6f) {
                    f.add(format("block %d frame %d: process gave %g, replacing %g + 0.25", block, i,
                                 outB.l[i], outA.l[i]));
                    break;
                }
            }
        }
        v.result("processing: process accumulates, processReplacing overwrites", f);
    }
    {
        // Blocks larger than announced, zero and negative lengths, null channels.
        Findings f;
        hostkit::Host host;
        auto p = v.open(host);
        p->prepare(48000.0f, 64);
        Stereo in(16384), out(16384);
        fillNoise(in, v.rng(), 0.5f);
        for (int32_t frames : {8192, 16384, 65, 4096}) {
            run(*p, in, out, frames, frames != 65);
            if (firstNonFinite(out, frames) >= 0) f.add(format("non-finite output in a %d-frame block", frames));
        }
        for (int32_t frames : {0, -1, -512}) {
            fillValue(out, 7.0f);
            run(*p, in, out, frames, true);
            run(*p, in, out, frames, false);
            if (out.l[0] != 7.0f || out.r[0] != 7.0f || out.l[1] != 7.0f)
                f.add(format("a %d-frame block wrote samples", frames));
        }
        float* inputs[2] = {nullptr, in.r.data()};
        float* outputs[2] = {out.l.data(), nullptr};
        p->effect()->processReplacing(p->effect(), inputs, outputs, 256);
        if (firstNonFinite(out, 256) >= 0) f.add("non-finite output with a null input channel");
        p->effect()->process(p->effect(), inputs, outputs, 256);
        run(*p, in, out, 256);
        if (firstNonFinite(out, 256) >= 0) f.add("non-finite output after null channels");
        v.result("processing: oversized, zero-length and negative blocks, null channels", f);
    }
}
