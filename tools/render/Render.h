// Runs audio through a prepared plug-in instance block by block: the input
// first, then silence for the tail, checking that every sample is finite and
// measuring levels and speed on the way.
#pragma once

#include <cstdint>
#include <vector>

#include "AudioFile.h"
#include "DemoPhrase.h"
#include "HostKit.h"

class Source {
public:
    virtual ~Source() = default;
    // Up to `count` frames; fewer (0 at the end) when the input runs out.
    virtual int read(float* left, float* right, int count) = 0;
    virtual int64_t expectedFrames() const = 0;  // -1 when unknown
};

class MemorySource : public Source {
public:
    explicit MemorySource(const StereoBuffer& buffer) : buffer_(buffer) {}
    int read(float* left, float* right, int count) override;
    int64_t expectedFrames() const override { return static_cast<int64_t>(buffer_.frames()); }

private:
    const StereoBuffer& buffer_;
    size_t position_ = 0;
};

class FileSource : public Source {
public:
    explicit FileSource(AudioReader& reader) : reader_(reader) {}
    int read(float* left, float* right, int count) override {
        return reader_.read(left, right, count);
    }
    int64_t expectedFrames() const override { return reader_.frames(); }

private:
    AudioReader& reader_;
};

// The lowest and highest sample per stretch of frames and channel, for
// drawing. A stretch starts as one frame and doubles whenever the record
// grows long, so memory stays bounded for any length.
class Envelope {
public:
    void add(const float* left, const float* right, int count);
    int64_t framesPerBucket() const { return bucketFrames_; }
    const std::vector<float>& lows(int channel) const { return lows_[channel]; }
    const std::vector<float>& highs(int channel) const { return highs_[channel]; }
    int64_t frames() const { return frames_; }
    // The largest magnitude of either channel.
    float peak() const;

private:
    void compact();
    static constexpr size_t kMaxBuckets = 1 << 16;
    int64_t bucketFrames_ = 1;
    int64_t frames_ = 0;
    std::vector<float> lows_[2];
    std::vector<float> highs_[2];
};

struct TailSetting {
    bool automatic = true;
    double seconds = 0;  // for a fixed tail
};

struct RenderConfig {
    double sampleRate = 48000;
    int blockSize = 512;
    TailSetting tail;
    // The automatic tail ends once the output has stayed below -90 dBFS for
    // this long (at least a second, longer for long echo delays).
    double quietSeconds = 1.0;
    // Silence run through the plug-in before the source and left out of
    // everything the render returns or writes.
    int64_t leadInFrames = 0;
    bool keepOutput = false;  // keep every output frame in the result
    bool progress = false;
};

constexpr double kQuietLevel = 3.1622776601683795e-05;  // -90 dBFS
constexpr double kMaxTailSeconds = 60.0;

struct ChannelLevels {
    double peak = 0;
    double sumSquares = 0;
};

struct RenderResult {
    int64_t inputFrames = 0;
    int64_t frames = 0;
    bool tailCapped = false;
    double wallSeconds = 0;
    ChannelLevels levels[2];
    int64_t samplesOverFullScale = 0;  // output samples of magnitude above 1
    Envelope input;
    Envelope output;
    StereoBuffer kept;
};

// Throws RenderFailure on a non-finite sample.
RenderResult renderThrough(hostkit::Plugin& plugin, Source& source, AudioWriter* writer,
                           const RenderConfig& config);
