// Opening and closing instances: cold loads, long runs of open and close, and
// many instances alive at once that must not share state.
#include <set>

#include "Validator.h"

namespace {

void expectRecord(Findings& f, const AEffect* e, const std::string& where) {
    if (e->magic != kEffectMagic) f.add(where + ": magic is not VstP");
    if (e->numParams != kNumParams) f.add(where + format(": numParams %d", e->numParams));
    if (e->numInputs != 2 || e->numOutputs != 2)
        f.add(where + format(": %d inputs, %d outputs", e->numInputs, e->numOutputs));
}

}  // namespace

void checkLifecycle(Validator& v) {
    {
        // Cold: the library itself is loaded and unloaded around each instance.
        Findings f;
        for (int round = 0; round < 3; ++round) {
            std::string error;
            auto library = hostkit::Library::open(v.options().pluginPath, &error);
            if (!library) {
                f.add("load: " + error);
                break;
            }
            hostkit::Host host;
            auto p = hostkit::Plugin::create(*library, host, &error);
            if (!p) {
                f.add("create: " + error);
                continue;
            }
            expectRecord(f, p->effect(), format("round %d", round));
            if (p->close() != 1) f.add("effClose did not answer 1");
        }
        v.result("lifecycle: cold load, create, close, unload (3 rounds)", f);
    }
    {
        Findings f;
        hostkit::Host host;
        const int n = v.scaled(300);
        Stereo in(64), out(64);
        fillNoise(in, v.rng(), 0.5f);
        for (int i = 0; i < n; ++i) {
            auto p = v.open(host);
            expectRecord(f, p->effect(), format("instance %d", i));
            if (i % 3 == 0) {
                p->prepare(48000.0f, 64);
                run(*p, in, out, 64);
            }
            if (p->close() != 1) f.add(format("instance %d: effClose did not answer 1", i));
        }
        v.result(format("lifecycle: warm, %d instances opened and closed in a row", n), f);
    }
    {
        // 64 alive at once: distinct records, own parameter values, own delay lines.
        Findings f;
        hostkit::Host host;
        constexpr int kAlive = 64;
        std::vector<std::unique_ptr<hostkit::Plugin>> all;
        std::set<void*> objects;
        for (int i = 0; i < kAlive; ++i) {
            all.push_back(v.open(host));
            objects.insert(all.back()->effect()->object);
            all.back()->prepare(44100.0f, 256);
            all.back()->setParameter(kDelayTime, static_cast<float>(i) / kAlive);
        }
        if (objects.size() != kAlive) f.add(format("%zu distinct objects for %d instances", objects.size(), kAlive));
        // Only instance 0 hears a signal; the others must stay silent.
        Stereo loud(256), silent(256), out(256);
        fillNoise(loud, v.rng(), 0.8f);
        for (int block = 0; block < 20; ++block)
            for (int i = 0; i < kAlive; ++i) {
                run(*all[i], i == 0 ? loud : silent, out, 256);
                if (i > 0 && peak(out, 256) > 1e-6f)
                    f.add(format("instance %d outputs %g with silent input while instance 0 plays",
                                 i, peak(out, 256)));
            }
        for (int i = 0; i < kAlive; ++i) {
            const float knob = all[i]->getParameter(kDelayTime);
            const float want = static_cast<float>(i) / kAlive;
            if (std::abs(knob - want) > 1e-6f)
                f.add(format("instance %d: Delay knob %g, set %g", i, knob, want));
        }
        v.result("lifecycle: 64 instances alive at once are independent", f);
    }
}
