#include "AudioFile.h"

#include <ogg/ogg.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "Errors.h"

namespace {

std::string lowerExtension(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

struct Container {
    const char* extension;
    int major;
    int defaultSubtype;
    const char* name;
};

constexpr Container kContainers[] = {
    {"wav", SF_FORMAT_WAV, SF_FORMAT_FLOAT, "WAV"},
    {"aif", SF_FORMAT_AIFF, SF_FORMAT_FLOAT, "AIFF"},
    {"aiff", SF_FORMAT_AIFF, SF_FORMAT_FLOAT, "AIFF"},
    {"aifc", SF_FORMAT_AIFF, SF_FORMAT_FLOAT, "AIFF"},
    {"flac", SF_FORMAT_FLAC, SF_FORMAT_PCM_24, "FLAC"},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS, "Ogg Vorbis"},
    {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS, "Ogg Vorbis"},
};

// Bytes per frame of the uncompressed encodings, 0 for any other.
int bytesPerFrame(const SF_INFO& info) {
    int bytes = 0;
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8: case SF_FORMAT_PCM_U8: case SF_FORMAT_ULAW: case SF_FORMAT_ALAW:
            bytes = 1; break;
        case SF_FORMAT_PCM_16: bytes = 2; break;
        case SF_FORMAT_PCM_24: bytes = 3; break;
        case SF_FORMAT_PCM_32: case SF_FORMAT_FLOAT: bytes = 4; break;
        case SF_FORMAT_DOUBLE: bytes = 8; break;
        default: break;
    }
    return bytes * info.channels;
}

// The frames that a WAV or AIFF header announces, from libsndfile's log of
// the file: it notes a data chunk longer than the file as
// "data : 230400008 (should be 1999912)" ("SSND" for AIFF, whose chunk also
// holds 8 bytes of offset and block size). -1 when nothing is noted.
int64_t announcedByHeader(SNDFILE* file, const SF_INFO& info) {
    const int frameBytes = bytesPerFrame(info);
    if (frameBytes == 0) return -1;
    char log[16384] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
    for (const char* line = log; *line;) {
        long long declared = 0, present = 0;
        char chunk[8] = {};
        if (std::sscanf(line, "%4s : %lld (should be %lld)", chunk, &declared, &present) == 3 &&
            declared > present && declared < 0xFFFFFFFFLL) {
            if (std::strcmp(chunk, "data") == 0) return declared / frameBytes;
            if (std::strcmp(chunk, "SSND") == 0) return (declared - 8) / frameBytes;
        }
        const char* next = std::strchr(line, '\n');
        if (!next) break;
        line = next + 1;
    }
    return -1;
}

// libsndfile gives an Ogg stream a random serial number. Every page gets
// this one instead, with its checksum made anew; the pages keep their sizes.
constexpr uint32_t kOggSerial = 0x42570001;

bool fixOggSerial(const std::string& path) {
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        if (in.bad()) return false;
    }
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    std::memcpy(buffer, bytes.data(), bytes.size());
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    std::string fixed;
    ogg_page page;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        for (int i = 0; i < 4; ++i)
            page.header[14 + i] = static_cast<unsigned char>(kOggSerial >> (8 * i));
        ogg_page_checksum_set(&page);
        fixed.append(reinterpret_cast<const char*>(page.header), page.header_len);
        fixed.append(reinterpret_cast<const char*>(page.body), page.body_len);
    }
    ogg_sync_clear(&sync);
    if (fixed.size() != bytes.size()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(fixed.data(), static_cast<std::streamsize>(fixed.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

AudioReader::AudioReader(const std::string& path) : path_(path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw RenderFailure("cannot read " + path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw RenderFailure("cannot read " + path + ": it is a directory");
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (!file_)
        throw RenderFailure("cannot read " + path + " as audio: " + sf_strerror(nullptr));
    // A file opened but refused is closed before the error leaves the constructor.
    const auto refuse = [this](const std::string& why) {
        sf_close(file_);
        file_ = nullptr;
        throw RenderFailure(why);
    };
    if (info_.channels < 1 || info_.channels > 2)
        refuse(path + " has " + std::to_string(info_.channels) +
               " channels; only mono and stereo input is supported");
    if (info_.samplerate < 1000 || info_.samplerate > 768000)
        refuse(path + " has an unsupported sample rate of " + std::to_string(info_.samplerate) + " Hz");
    // A stream of unknown length reports the largest count there is.
    if (info_.frames >= 0 && info_.frames != SF_COUNT_MAX) frames_ = info_.frames;
    announced_ = std::max(frames_, announcedByHeader(file_, info_));
}

AudioReader::~AudioReader() {
    if (file_) sf_close(file_);
}

int AudioReader::read(float* left, float* right, int count) {
    const int channels = info_.channels;
    const int maxFrames = static_cast<int>(sizeof buffer_ / sizeof buffer_[0]) / channels;
    int total = 0;
    while (total < count) {
        int want = std::min(count - total, maxFrames);
        sf_count_t got = sf_readf_float(file_, buffer_, want);
        if (got <= 0) {
            if (sf_error(file_) != SF_ERR_NO_ERROR)
                throw RenderFailure("error reading " + path_ + ": " + sf_strerror(file_));
            break;
        }
        for (sf_count_t i = 0; i < got; ++i) {
            left[total + i] = buffer_[i * channels];
            right[total + i] = buffer_[i * channels + channels - 1];
        }
        total += static_cast<int>(got);
        if (got < want) break;
    }
    framesRead_ += total;
    return total;
}

std::string supportedOutputExtensions() {
    std::string list;
    for (const Container& c : kContainers)
        list += (list.empty() ? "." : ", .") + std::string(c.extension);
    return list;
}

bool keepsOverFullScale(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_FLOAT: case SF_FORMAT_DOUBLE: case SF_FORMAT_VORBIS: case SF_FORMAT_OPUS:
            return true;
        default:
            return false;
    }
}

int outputFormatFor(const std::string& path, const std::string& encoding) {
    const std::string ext = lowerExtension(path);
    const Container* container = nullptr;
    for (const Container& c : kContainers)
        if (ext == c.extension) container = &c;
    if (!container)
        throw UsageError("cannot tell the output format of " + path + " (use " +
                         supportedOutputExtensions() + ")");
    int subtype = container->defaultSubtype;
    if (encoding == "float") subtype = SF_FORMAT_FLOAT;
    else if (encoding == "pcm16") subtype = SF_FORMAT_PCM_16;
    else if (encoding == "pcm24") subtype = SF_FORMAT_PCM_24;
    else if (encoding == "pcm32") subtype = SF_FORMAT_PCM_32;
    else if (!encoding.empty()) throw UsageError("unknown encoding \"" + encoding + "\"");
    if (container->major == SF_FORMAT_OGG) {
        if (!encoding.empty())
            throw UsageError("Ogg Vorbis output takes no --encoding");
        subtype = SF_FORMAT_VORBIS;
    }
    SF_INFO probe{};
    probe.samplerate = 48000;
    probe.channels = 2;
    probe.format = container->major | subtype;
    if (!sf_format_check(&probe))
        throw UsageError(std::string(container->name) + " cannot hold " + encoding + " samples");
    return probe.format;
}

AudioWriter::AudioWriter(const std::string& path, const std::string& shownName, int format,
                         int sampleRate)
    : path_(path), shownName_(shownName), format_(format) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = format;
    if (!sf_format_check(&info))
        throw RenderFailure("this output format cannot be written at " +
                            std::to_string(sampleRate) + " Hz");
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_) throw RenderFailure("cannot write " + shownName_ + ": " + sf_strerror(nullptr));
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    // Integer formats clip instead of wrapping around.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (file_) sf_close(file_);
}

void AudioWriter::write(const float* left, const float* right, int count) {
    const int maxFrames = static_cast<int>(sizeof buffer_ / sizeof buffer_[0]) / 2;
    for (int done = 0; done < count;) {
        int n = std::min(count - done, maxFrames);
        for (int i = 0; i < n; ++i) {
            buffer_[2 * i] = left[done + i];
            buffer_[2 * i + 1] = right[done + i];
        }
        if (sf_writef_float(file_, buffer_, n) != n)
            throw RenderFailure("cannot write " + shownName_ + ": " + sf_strerror(file_));
        done += n;
    }
}

void AudioWriter::close() {
    SNDFILE* file = file_;
    file_ = nullptr;
    sf_write_sync(file);
    if (sf_close(file) != 0) throw RenderFailure("cannot finish writing " + shownName_);
    if ((format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG && !fixOggSerial(path_))
        throw RenderFailure("cannot finish writing " + shownName_);
}
