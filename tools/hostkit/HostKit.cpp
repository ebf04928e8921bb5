#include "HostKit.h"

#include <cstring>

#include "SharedLibrary.h"

namespace hostkit {

namespace {
// The entry point calls back before the record exists, so the host being
// asked is passed through this slot for the duration of that call.
thread_local Host* hostInCreation = nullptr;
}  // namespace

std::unique_ptr<Library> Library::open(const std::string& path, std::string* error) {
    void* handle = platform::openLibrary(path, error);
    if (!handle) return nullptr;
    return std::unique_ptr<Library>(new Library(handle, path));
}

Library::~Library() { platform::closeLibrary(handle_); }

EntryFunction Library::symbol(const char* name) const {
    return reinterpret_cast<EntryFunction>(platform::librarySymbol(handle_, name));
}

EntryFunction Library::entry() const {
    if (auto f = symbol("VSTPluginMain")) return f;
    return symbol("main");
}

Host::Host() {
    timeInfo_.sampleRate = 44100.0;
    timeInfo_.timeSigNumerator = 4;
    timeInfo_.timeSigDenominator = 4;
}

void Host::setTempo(double bpm, int32_t flags) {
    tempo_.store(bpm);
    flags_.store(flags);
}

int64_t Host::callCount(int32_t opcode) const {
    if (opcode < 0 || opcode >= kCountedOpcodes) return counts_[kCountedOpcodes].load();
    return counts_[opcode].load();
}

int64_t Host::totalCalls() const {
    int64_t total = 0;
    for (auto& c : counts_) total += c.load();
    return total;
}

void Host::resetCounts() {
    for (auto& c : counts_) c.store(0);
}

intptr_t Host::answer(int32_t opcode, intptr_t value) {
    const int slot = (opcode >= 0 && opcode < kCountedOpcodes) ? opcode : kCountedOpcodes;
    counts_[slot].fetch_add(1, std::memory_order_relaxed);
    switch (opcode) {
        case audioMasterVersion: return versionAnswer.load();
        case audioMasterGetTime:
            lastTimeFilter_.store(value);
            if (!timeAvailable_.load()) return 0;
            timeInfo_.tempo = tempo_.load();
            timeInfo_.flags = flags_.load();
            return reinterpret_cast<intptr_t>(&timeInfo_);
        default: return 0;
    }
}

intptr_t Host::callback(AEffect* effect, int32_t opcode, int32_t, intptr_t value, void*, float) {
    Host* host = effect ? static_cast<Host*>(effect->user) : hostInCreation;
    if (!host) return 0;
    return host->answer(opcode, value);
}

std::unique_ptr<Plugin> Plugin::create(const Library& library, Host& host, std::string* error) {
    EntryFunction entry = library.entry();
    if (!entry) {
        if (error) *error = library.path() + ": no VSTPluginMain or main entry point";
        return nullptr;
    }
    return create(entry, host, error);
}

std::unique_ptr<Plugin> Plugin::create(EntryFunction entry, Host& host, std::string* error) {
    hostInCreation = &host;
    AEffect* effect = entry(&Host::callback);
    hostInCreation = nullptr;
    if (!effect) {
        if (error) *error = "the entry point returned no effect";
        return nullptr;
    }
    if (effect->magic != kEffectMagic) {
        if (error) *error = "the entry point returned a record without the VstP magic";
        return nullptr;
    }
    effect->user = &host;
    return std::unique_ptr<Plugin>(new Plugin(effect, host));
}

Plugin::~Plugin() {
    if (effect_) close();
}

intptr_t Plugin::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

intptr_t Plugin::close() {
    intptr_t result = dispatch(effClose);
    effect_ = nullptr;
    return result;
}

void Plugin::setParameter(int32_t index, float knob) { effect_->setParameter(effect_, index, knob); }
float Plugin::getParameter(int32_t index) { return effect_->getParameter(effect_, index); }

std::string Plugin::readText(int32_t opcode, int32_t index) {
    // Generous buffer, zero-filled, so an over-long text is still terminated.
    char buffer[256] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[sizeof buffer - 1] = 0;
    return buffer;
}

std::string Plugin::paramName(int32_t index) { return readText(effGetParamName, index); }
std::string Plugin::paramLabel(int32_t index) { return readText(effGetParamLabel, index); }
std::string Plugin::paramDisplay(int32_t index) { return readText(effGetParamDisplay, index); }
std::string Plugin::effectName() { return readText(effGetEffectName, 0); }
std::string Plugin::vendorString() { return readText(effGetVendorString, 0); }
std::string Plugin::productString() { return readText(effGetProductString, 0); }

intptr_t Plugin::canDo(const std::string& capability) {
    std::vector<char> text(capability.begin(), capability.end());
    text.push_back(0);
    return dispatch(effCanDo, 0, 0, text.data());
}

std::string Plugin::getChunk(bool isPreset) {
    void* data = nullptr;
    intptr_t size = dispatch(effGetChunk, isPreset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

intptr_t Plugin::setChunk(const std::string& bytes, bool isPreset) {
    // The plug-in may not keep the host's buffer, so hand it a private copy.
    std::vector<char> copy(bytes.begin(), bytes.end());
    return dispatch(effSetChunk, isPreset ? 1 : 0, static_cast<intptr_t>(copy.size()),
                    copy.empty() ? nullptr : copy.data());
}

void Plugin::setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
void Plugin::setBlockSize(int32_t size) { dispatch(effSetBlockSize, 0, size); }
void Plugin::suspend() { dispatch(effMainsChanged, 0, 0); }
void Plugin::resume() { dispatch(effMainsChanged, 0, 1); }

void Plugin::prepare(float rate, int32_t blockSize) {
    suspend();
    setSampleRate(rate);
    setBlockSize(blockSize);
    resume();
}

void Plugin::processBlock(const float* inL, const float* inR, float* outL, float* outR,
                          int32_t frames, bool replace) {
    float* inputs[2] = {const_cast<float*>(inL), const_cast<float*>(inR)};
    float* outputs[2] = {outL, outR};
    if (replace)
        effect_->processReplacing(effect_, inputs, outputs, frames);
    else
        effect_->process(effect_, inputs, outputs, frames);
}

}  // namespace hostkit
