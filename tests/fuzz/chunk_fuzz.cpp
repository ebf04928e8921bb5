// Feeds arbitrary bytes to ParamList::setChunk, in preset or bank form, and
// checks what must hold after any load: nothing crashes or reads out of
// bounds, every value is within its range, and the state saved afterwards
// loads back and settles on one text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Diagnostics.h"
#include "Display.h"
#include "Mapping.h"
#include "Param.h"
#include "ParamList.h"

namespace {

void quietSink(const AssertReport&, void*) {}

// A cut-down copy of the effect's parameter set, one of each kind, plus two
// parameters that share a key.
struct Effect {
    ParamList list;
    ContinuousParam tempo{&list, "tempo", "Tempo", "bpm", 120.0, 20.0, 1000.0, &logMapping(), &plainDisplay()};
    IntParam numEchoes{&list, "numEchoes", "Ts echoes", "", 4, 1, 16};
    OnOffParam tempoSync{&list, "tempoSync", "Tempo sync", false};
    TimeParam delayTime{&list, "delayTime", "Delay", 0.5, 0.0, 4.0};
    FrequencyParam delayModRate{&list, "delayModRate", "Mod rate", 1.0, 1.0 / 60.0, 20.0};
    ChoiceParam lfoWaveform{&list, "lfoWaveform", "Lfo shape", ""};
    GainParam wetGain{&list, "wetGain", "Wet gain", 0.25, 0.0, 1.0};
    AngleParam wetRotation{&list, "wetRotation", "Wet rotation", 0.0, -90.0, 90.0};
    LogParam fbQ{&list, "fbQ", "Feedback Q", 0.125, 0.001953125, 2.0};
    BoolParam twinA{&list, "twin", "Twin A", false};
    BoolParam twinB{&list, "twin", "Twin B", true};

    Effect() {
        lfoWaveform.addChoice(1, "true sine", "trueSine");
        lfoWaveform.addChoice(2, "triangle", "triangle");
        lfoWaveform.addChoice(3, "snow 1", "snowflake1");
    }
};

void require(bool condition) {
    if (!condition) std::abort();
}

template <typename P>
void requireRange(P& param, double minValue, double maxValue) {
    const double v = param.getValue();
    require(minValue <= v && v <= maxValue);
}

std::string saved(ParamList& list, bool isPreset) {
    void* data = nullptr;
    const int32_t size = list.getChunk(&data, isPreset);
    require(size >= 0 && data != nullptr && static_cast<const char*>(data)[size] == '\0');
    return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    setDiagnosticSink(&quietSink, nullptr);
    if (size == 0 || size > (16u << 20)) return 0;
    const bool isPreset = (data[0] & 1) != 0;

    Effect effect;
    // An exact-size heap copy, so that a read past the end is caught.
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const int32_t result = effect.list.setChunk(bytes.data(), static_cast<int32_t>(bytes.size()), isPreset);
    require(result == 0 || result == 1);

    requireRange(effect.tempo, 20.0, 1000.0);
    requireRange(effect.numEchoes, 1, 16);
    requireRange(effect.delayTime, 0.0, 4.0);
    requireRange(effect.delayModRate, 1.0 / 60.0, 20.0);
    requireRange(effect.wetGain, 0.0, 1.0);
    requireRange(effect.wetRotation, -90.0, 90.0);
    requireRange(effect.fbQ, 0.001953125, 2.0);
    const ChoiceId shape = effect.lfoWaveform.getValue();
    require(shape >= 1 && shape <= 3);
    // Both twins take every "twin" entry; otherwise they keep their defaults.
    const bool a = effect.twinA.getValue();
    const bool b = effect.twinB.getValue();
    require(a == b || (!a && b));

    // Whatever was loaded, the state now saves to text that loads again, and
    // from the second save on the text is a fixed point. (The first reload may
    // still change it: the twins save two values under one key and each takes
    // the later one.)
    const std::string first = saved(effect.list, isPreset);
    Effect copy;
    require(copy.list.setChunk(first.data(), static_cast<int32_t>(first.size()), isPreset) == 1);
    const std::string second = saved(copy.list, isPreset);
    require(copy.list.setChunk(second.data(), static_cast<int32_t>(second.size()), isPreset) == 1);
    require(saved(copy.list, isPreset) == second);
    return 0;
}
