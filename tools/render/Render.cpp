#include "Render.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "Errors.h"
#include "Progress.h"

namespace {

std::string timeText(int64_t frame, double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f s", frame / rate);
    return text;
}

void checkFinite(const float* samples, int count, int64_t firstFrame, double rate,
                 const char* what, const char* channel) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(samples[i]))
            throw RenderFailure(std::string(what) + " holds a non-finite sample (" +
                                std::to_string(samples[i]) + ") at " +
                                timeText(firstFrame + i, rate) + " on the " + channel +
                                " channel");
}

}  // namespace

int MemorySource::read(float* left, float* right, int count) {
    size_t n = std::min(static_cast<size_t>(count), buffer_.frames() - position_);
    std::copy_n(buffer_.left.begin() + position_, n, left);
    std::copy_n(buffer_.right.begin() + position_, n, right);
    position_ += n;
    return static_cast<int>(n);
}

void Envelope::add(const float* left, const float* right, int count) {
    const float* channels[2] = {left, right};
    for (int i = 0; i < count; ++i, ++frames_) {
        size_t bucket = static_cast<size_t>(frames_ / bucketFrames_);
        if (bucket >= lows_[0].size()) {
            if (bucket >= kMaxBuckets) {
                compact();
                bucket = static_cast<size_t>(frames_ / bucketFrames_);
            }
            if (bucket >= lows_[0].size()) {
                for (int c = 0; c < 2; ++c) {
                    lows_[c].push_back(channels[c][i]);
                    highs_[c].push_back(channels[c][i]);
                }
                continue;
            }
        }
        for (int c = 0; c < 2; ++c) {
            lows_[c][bucket] = std::min(lows_[c][bucket], channels[c][i]);
            highs_[c][bucket] = std::max(highs_[c][bucket], channels[c][i]);
        }
    }
}

void Envelope::compact() {
    for (int c = 0; c < 2; ++c) {
        std::vector<float>& lo = lows_[c];
        std::vector<float>& hi = highs_[c];
        for (size_t i = 0; 2 * i < lo.size(); ++i) {
            const size_t j = std::min(2 * i + 1, lo.size() - 1);
            lo[i] = std::min(lo[2 * i], lo[j]);
            hi[i] = std::max(hi[2 * i], hi[j]);
        }
        lo.resize((lo.size() + 1) / 2);
        hi.resize((hi.size() + 1) / 2);
    }
    bucketFrames_ *= 2;
}

float Envelope::peak() const {
    float peak = 0;
    for (int c = 0; c < 2; ++c) {
        for (float v : lows_[c]) peak = std::max(peak, std::fabs(v));
        for (float v : highs_[c]) peak = std::max(peak, std::fabs(v));
    }
    return peak;
}

RenderResult renderThrough(hostkit::Plugin& plugin, Source& source, AudioWriter* writer,
                           const RenderConfig& config) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const double rate = config.sampleRate;
    const int block = config.blockSize;
    std::vector<float> inL(block), inR(block), outL(block), outR(block);

    const int64_t tailLimit = config.tail.automatic
                                  ? static_cast<int64_t>(kMaxTailSeconds * rate)
                                  : std::llround(config.tail.seconds * rate);
    const int64_t quietNeeded =
        static_cast<int64_t>(std::ceil(std::max(1.0, config.quietSeconds) * rate));
    int64_t expected = source.expectedFrames();
    if (expected >= 0 && !config.tail.automatic) expected += tailLimit;
    Progress progress(config.progress, expected, rate);

    for (int64_t done = 0; done < config.leadInFrames;) {
        const int n = static_cast<int>(std::min<int64_t>(block, config.leadInFrames - done));
        std::fill_n(inL.begin(), n, 0.0f);
        std::fill_n(inR.begin(), n, 0.0f);
        plugin.processBlock(inL.data(), inR.data(), outL.data(), outR.data(), n, true);
        checkFinite(outL.data(), n, done, rate, "the plug-in's output", "left");
        checkFinite(outR.data(), n, done, rate, "the plug-in's output", "right");
        done += n;
    }

    RenderResult result;
    bool inputDone = false;
    int64_t tailDone = 0;
    int64_t quietRun = 0;
    bool finished = false;
    while (!finished) {
        int n = 0;
        if (!inputDone) {
            n = source.read(inL.data(), inR.data(), block);
            if (n == 0) inputDone = true;
            checkFinite(inL.data(), n, result.inputFrames, rate, "the input", "left");
            checkFinite(inR.data(), n, result.inputFrames, rate, "the input", "right");
            result.inputFrames += n;
        }
        if (inputDone) {
            n = static_cast<int>(std::min<int64_t>(block, tailLimit - tailDone));
            if (n <= 0) {
                result.tailCapped = config.tail.automatic;
                break;
            }
            std::fill_n(inL.begin(), n, 0.0f);
            std::fill_n(inR.begin(), n, 0.0f);
        }
        plugin.processBlock(inL.data(), inR.data(), outL.data(), outR.data(), n, true);
        checkFinite(outL.data(), n, result.frames, rate, "the plug-in's output", "left");
        checkFinite(outR.data(), n, result.frames, rate, "the plug-in's output", "right");

        // The automatic tail stops on the exact frame that completes the quiet
        // stretch, whatever the block size.
        int keep = n;
        for (int i = 0; i < n; ++i) {
            bool quiet = std::fabs(outL[i]) < kQuietLevel && std::fabs(outR[i]) < kQuietLevel;
            quietRun = quiet ? quietRun + 1 : 0;
            if (inputDone && config.tail.automatic && quietRun >= quietNeeded) {
                keep = i + 1;
                finished = true;
                break;
            }
        }
        if (inputDone) tailDone += keep;

        for (int i = 0; i < keep; ++i) {
            result.levels[0].peak = std::max<double>(result.levels[0].peak, std::fabs(outL[i]));
            result.levels[1].peak = std::max<double>(result.levels[1].peak, std::fabs(outR[i]));
            result.levels[0].sumSquares += static_cast<double>(outL[i]) * outL[i];
            result.levels[1].sumSquares += static_cast<double>(outR[i]) * outR[i];
            result.samplesOverFullScale +=
                (std::fabs(outL[i]) > 1.0f) + (std::fabs(outR[i]) > 1.0f);
        }
        result.input.add(inL.data(), inR.data(), keep);
        result.output.add(outL.data(), outR.data(), keep);
        if (writer) writer->write(outL.data(), outR.data(), keep);
        if (config.keepOutput) {
            result.kept.left.insert(result.kept.left.end(), outL.begin(), outL.begin() + keep);
            result.kept.right.insert(result.kept.right.end(), outR.begin(), outR.begin() + keep);
        }
        result.frames += keep;
        progress.update(result.frames, inputDone);
    }
    progress.finish();
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}
