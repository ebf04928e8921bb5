// Audio files through libsndfile: reading any format it knows as stereo
// float frames, writing in the format that the output's extension names.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>

class AudioReader {
public:
    // Throws RenderFailure for a missing, unreadable or unsupported file and
    // for more than two channels.
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int sampleRate() const { return info_.samplerate; }
    int channels() const { return info_.channels; }
    // The frames there are to read, -1 when the format does not say (a
    // stream without a known end).
    int64_t frames() const { return frames_; }
    // The frames that the file's header announces: more than frames() for
    // a WAV or AIFF file cut short, which libsndfile reads as far as it goes.
    int64_t announcedFrames() const { return announced_; }
    // Up to `count` frames; a mono file feeds both channels. 0 at the end.
    int read(float* left, float* right, int count);
    int64_t framesRead() const { return framesRead_; }

private:
    std::string path_;
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    int64_t frames_ = -1;
    int64_t announced_ = -1;
    float buffer_[2 * 4096];
    int64_t framesRead_ = 0;
};

// The libsndfile format for a file name, e.g. WAV + FLOAT for "x.wav".
// `encoding` is "" (the format's default), "float", "pcm16", "pcm24" or
// "pcm32". Throws UsageError for an unknown extension or a combination the
// format cannot hold.
int outputFormatFor(const std::string& path, const std::string& encoding);
std::string supportedOutputExtensions();
// True when the format keeps samples beyond full scale (float, Vorbis);
// false for integer samples, which are clipped there.
bool keepsOverFullScale(int format);

class AudioWriter {
public:
    // Writes stereo frames to `path` (normally a temporary name) in `format`,
    // with nothing in the file that differs between two runs: no PEAK chunk,
    // whose time stamp libsndfile would add to float files, and a fixed
    // serial number for an Ogg stream instead of a random one.
    AudioWriter(const std::string& path, const std::string& shownName, int format,
                int sampleRate);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const float* left, const float* right, int count);
    // Flushes and closes; throws RenderFailure when the data did not all land.
    void close();

private:
    std::string path_;
    std::string shownName_;  // the destination, for messages
    int format_;
    SNDFILE* file_ = nullptr;
    float buffer_[2 * 4096];
};
