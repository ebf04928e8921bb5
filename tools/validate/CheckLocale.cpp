// With a decimal-comma locale set for the whole host process, the plug-in's
// texts and chunks still use a full stop and load correctly.
#include <clocale>
#include <cmath>
#include <locale>
#include <optional>
#include <stdexcept>

#include "Validator.h"

namespace {

const std::string kPresetHead = "Name\n\tunnamed\nParameterList\n";

std::string presetWith(const std::string& key, const std::string& value) {
    return kPresetHead + "\t" + key + "\n\t\t" + value;
}

// Sets a locale for the whole process (C++ and C) while it lives and puts back
// the one before, also when the check ends early, so that nothing after it
// runs or reports in that locale.
class ProcessLocale {
public:
    explicit ProcessLocale(const char* name)
        : previous_(std::locale()), previousC_(std::setlocale(LC_ALL, nullptr)) {
        std::locale::global(std::locale(name));  // throws when not installed
        std::setlocale(LC_ALL, name);
    }
    ~ProcessLocale() {
        std::locale::global(previous_);
        std::setlocale(LC_ALL, previousC_.c_str());
    }
    ProcessLocale(const ProcessLocale&) = delete;
    ProcessLocale& operator=(const ProcessLocale&) = delete;

private:
    std::locale previous_;
    std::string previousC_;
};

}  // namespace

void checkLocale(Validator& v) {
    const std::string name = "locale: de_DE.UTF-8 in the host keeps full stops";
    std::optional<ProcessLocale> german;
    try {
        german.emplace("de_DE.UTF-8");
    } catch (const std::runtime_error&) {
        v.skip(name, "locale de_DE.UTF-8 not available to the C++ library (on Debian: package locales-all)");
        return;
    }
    Findings f;
    char probe[32];
    std::snprintf(probe, sizeof probe, "%.2f", 0.5);
    if (std::string(probe) != "0,50") f.add(std::string("the locale did not take (printf gives ") + probe + ")");

    hostkit::Host host;
    auto p = v.open(host);
    // Defaults with fractional texts: "Wet gain" -12.0412 dB, "Feedback Q" 0.125.
    if (p->paramDisplay(kWetGain) != "-12.0412") f.add("Wet gain shows \"" + p->paramDisplay(kWetGain) + "\"");
    if (p->paramDisplay(kFbQ) != "0.125") f.add("Feedback Q shows \"" + p->paramDisplay(kFbQ) + "\"");
    for (int32_t i = 0; i < kNumParams; ++i) {
        p->setParameter(i, 0.37f);
        if (p->paramDisplay(i).find(',') != std::string::npos)
            f.add(format("param %d shows \"%s\"", i, p->paramDisplay(i).c_str()));
    }
    const std::string chunk = p->getChunk(true);
    if (chunk.find(',') != std::string::npos) f.add("the chunk contains a comma");
    auto q = v.open(host);
    if (q->setChunk(chunk, true) != 1 || q->getChunk(true) != chunk) f.add("the chunk does not reload to itself");
    // Reading: "0.25" s is knob 0.5 on "Delay"; "0,25" stops at the comma and reads 0.
    q->setChunk(presetWith("delayTime", "0.25"), true);
    if (std::fabs(q->getParameter(kDelayTime) - 0.5f) > 1e-6f)
        f.add(format("delayTime 0.25 loads as knob %g, want 0.5", q->getParameter(kDelayTime)));
    q->setChunk(presetWith("delayTime", "0,25"), true);
    if (q->getParameter(kDelayTime) != 0.0f)
        f.add(format("delayTime 0,25 loads as knob %g, want 0 (the comma ends the number)",
                     q->getParameter(kDelayTime)));
    q->setChunk(presetWith("fbQ", "0.5"), true);
    if (q->paramDisplay(kFbQ) != "0.5") f.add("fbQ 0.5 loads and shows \"" + q->paramDisplay(kFbQ) + "\"");
    german.reset();
    v.result(name, f);
}
