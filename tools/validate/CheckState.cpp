// Saving and restoring random states in both chunk forms, loading state while
// another thread processes, and the lifetime of the chunk pointer.
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "Validator.h"

namespace {

void randomize(hostkit::Plugin& p, std::mt19937_64& rng) {
    std::uniform_real_distribution<float> knob(0.0f, 1.0f);
    for (int32_t i = 0; i < kNumParams; ++i) p.setParameter(i, (rng() % 6 == 0) ? float(rng() & 1) : knob(rng));
}

std::string knobs(hostkit::Plugin& p) {
    std::string s;
    for (int32_t i = 0; i < kNumParams; ++i) s += format("%s%.9g", i ? " " : "", p.getParameter(i));
    return s;
}

}  // namespace

void checkState(Validator& v) {
    {
        Findings f;
        hostkit::Host host;
        const int rounds = v.scaled(100);
        for (int round = 0; round < rounds; ++round) {
            const bool preset = round % 2 == 0;
            auto a = v.open(host);
            randomize(*a, v.rng());
            const std::string chunk = a->getChunk(preset);
            auto b = v.open(host);
            randomize(*b, v.rng());
            if (b->setChunk(chunk, preset) != 1) {
                f.add(format("round %d: setChunk(%s form) did not answer 1", round, preset ? "preset" : "bank"));
                continue;
            }
            // The value texts are 6 digits, so the restored position is close; once
            // restored, the text is a fixed point and a second trip is exact.
            for (int32_t i = 0; i < kNumParams; ++i) {
                const float ka = a->getParameter(i), kb = b->getParameter(i);
                if (!(std::fabs(ka - kb) <= 1e-4f))
                    f.add(format("round %d param %d: saved at %.7g, restored at %.7g", round, i, ka, kb));
            }
            const std::string again = b->getChunk(preset);
            if (again != chunk) f.add(format("round %d: the restored state saves differently", round));
            auto c = v.open(host);
            c->setChunk(again, preset);
            if (knobs(*c) != knobs(*b)) f.add(format("round %d: second round trip moved a knob", round));
            // The other form is refused and changes nothing.
            const std::string before = knobs(*c);
            if (c->setChunk(chunk, !preset) != 0) f.add(format("round %d: a chunk of the other form was taken", round));
            if (knobs(*c) != before) f.add(format("round %d: a refused chunk changed parameters", round));
        }
        v.result(format("state: %d random states round-trip in both chunk forms", rounds), f);
    }
    {
        Findings f;
        hostkit::Host host;
        auto p = v.open(host);
        auto q = v.open(host);
        randomize(*p, v.rng());
        void* data = nullptr;
        const intptr_t size = p->dispatch(effGetChunk, 1, 0, &data);
        if (size <= 0 || !data) {
            f.add("effGetChunk gave no data");
        } else {
            const std::string copy(static_cast<const char*>(data), static_cast<size_t>(size));
            // Everything but another chunk call on this instance keeps the pointer valid.
            p->prepare(44100.0f, 256);
            Stereo in(256), out(256);
            fillNoise(in, v.rng(), 0.5f);
            run(*p, in, out, 256);
            for (int32_t i = 0; i < kNumParams; ++i) {
                p->setParameter(i, 0.5f);
                p->paramDisplay(i);
                p->paramName(i);
            }
            run(*p, in, out, 256, false);
            q->getChunk(false);
            q->setChunk(copy, true);
            if (std::memcmp(data, copy.data(), copy.size()) != 0)
                f.add("the chunk's bytes changed before the next chunk call");
        }
        v.result("state: the chunk pointer stays valid until the next chunk call", f);
    }
    {
        // State loaded on one thread while another processes.
        Findings f;
        hostkit::Host host;
        auto p = v.open(host);
        p->prepare(48000.0f, 256);
        std::vector<std::string> states;
        for (int i = 0; i < 16; ++i) {
            auto s = v.open(host);
            randomize(*s, v.rng());
            states.push_back(s->getChunk(i % 2 == 0));
        }
        std::atomic<bool> stop{false};
        std::atomic<long> badBlocks{0};
        std::thread audio([&] {
            std::mt19937_64 rng(v.options().seed + 7);
            Stereo in(256), out(256);
            while (!stop.load()) {
                fillNoise(in, rng, 0.5f);
                run(*p, in, out, 256);
                if (firstNonFinite(out, 256) >= 0 || peak(out, 256) > outputCeiling(0.5f)) badBlocks.fetch_add(1);
            }
        });
        const int loads = v.scaled(300);
        for (int i = 0; i < loads; ++i)
            if (p->setChunk(states[i % states.size()], i % 2 == 0) != 1) f.add(format("load %d refused", i));
        stop.store(true);
        audio.join();
        if (badBlocks.load() > 0)
            f.add(format("%ld blocks with non-finite output or output above %g", badBlocks.load(),
                         outputCeiling(0.5f)));
        // After the last load the instance holds exactly that state.
        auto check = v.open(host);
        check->setChunk(states[(loads - 1) % states.size()], (loads - 1) % 2 == 0);
        if (knobs(*check) != knobs(*p)) f.add("the last state loaded is not the state held");
        v.result(format("state: %d loads while another thread processes", loads), f);
    }
}
