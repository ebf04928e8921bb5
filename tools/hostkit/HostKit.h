// A small VST 2 host for tests and tools: loads a plug-in library (platform/SharedLibrary.h),
// calls its entry point and drives the instance only through the C interface.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VstInterface.h"

namespace hostkit {

using EntryFunction = AEffect* (*)(audioMasterCallback);

// A loaded plug-in library; unloaded when destroyed.
class Library {
public:
    // Returns null and fills `error` when the file cannot be loaded.
    static std::unique_ptr<Library> open(const std::string& path, std::string* error = nullptr);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // "VSTPluginMain" first, then "main", as hosts look them up.
    EntryFunction entry() const;
    EntryFunction symbol(const char* name) const;
    const std::string& path() const { return path_; }

private:
    Library(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    void* handle_;
    std::string path_;
};

// The host side of one or more instances: answers the callback and counts it.
class Host {
public:
    Host();

    // Answer to audioMasterVersion (0 plays a host that is too old).
    std::atomic<intptr_t> versionAnswer{2400};
    // What audioMasterGetTime returns: the record with this tempo and these
    // flags, or null when timeInfoAvailable is false.
    void setTempo(double bpm, int32_t flags = kVstTempoValid);
    void setTimeInfoAvailable(bool available) { timeAvailable_.store(available); }

    int64_t callCount(int32_t opcode) const;
    int64_t totalCalls() const;
    void resetCounts();
    // Filter value of the last audioMasterGetTime call.
    intptr_t lastTimeFilter() const { return lastTimeFilter_.load(); }

    static intptr_t callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                             void* ptr, float opt);

private:
    intptr_t answer(int32_t opcode, intptr_t value);

    static constexpr int kCountedOpcodes = 64;
    std::array<std::atomic<int64_t>, kCountedOpcodes + 1> counts_{};
    std::atomic<double> tempo_{120.0};
    std::atomic<int32_t> flags_{0};
    std::atomic<bool> timeAvailable_{true};
    std::atomic<intptr_t> lastTimeFilter_{0};
    VstTimeInfo timeInfo_{};
};

// One plug-in instance.
class Plugin {
public:
    // Calls the library's entry point with `host`. Returns null (and an error
    // text) when the entry point is missing or answers null.
    static std::unique_ptr<Plugin> create(const Library& library, Host& host,
                                          std::string* error = nullptr);
    static std::unique_ptr<Plugin> create(EntryFunction entry, Host& host,
                                          std::string* error = nullptr);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    AEffect* effect() const { return effect_; }
    Host& host() const { return *host_; }

    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    // Sends effClose; the instance is gone afterwards. Returns its answer.
    intptr_t close();
    bool isOpen() const { return effect_ != nullptr; }

    void setParameter(int32_t index, float knob);
    float getParameter(int32_t index);
    std::string paramName(int32_t index);
    std::string paramLabel(int32_t index);
    std::string paramDisplay(int32_t index);
    std::string effectName();
    std::string vendorString();
    std::string productString();
    intptr_t canDo(const std::string& capability);

    // The chunk's bytes, copied out of the plug-in's buffer.
    std::string getChunk(bool isPreset);
    intptr_t setChunk(const std::string& bytes, bool isPreset);

    void setSampleRate(float rate);
    void setBlockSize(int32_t size);
    void suspend();
    void resume();
    // The usual start-up sequence: suspend, rate and block size, resume.
    void prepare(float rate, int32_t blockSize);

    // One block through processReplacing (replace) or process (accumulate).
    void processBlock(const float* inL, const float* inR, float* outL, float* outR,
                      int32_t frames, bool replace = true);

private:
    Plugin(AEffect* effect, Host& host) : effect_(effect), host_(&host) {}
    std::string readText(int32_t opcode, int32_t index);
    AEffect* effect_;
    Host* host_;
};

}  // namespace hostkit
