// One thread processing, one moving parameters, one saving and loading state,
// all at once for a while. Run under ThreadSanitizer in CI for race reports.
#include <atomic>
#include <chrono>
#include <thread>

#include "Validator.h"

void checkThreads(Validator& v) {
    Findings f;
    hostkit::Host host;
    host.setTempo(128.0, kVstTempoValid);
    auto p = v.open(host);
    p->prepare(48000.0f, 256);
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0}, badBlocks{0}, moves{0}, loads{0}, refused{0};
    const uint64_t seed = v.options().seed;

    std::thread audio([&] {
        std::mt19937_64 rng(seed + 1);
        Stereo in(256), out(256);
        while (!stop.load()) {
            fillNoise(in, rng, 0.5f);
            // process adds to the buffer: start it from silence, as a host does.
            const bool replace = rng() & 1;
            if (!replace) fillValue(out, 0.0f);
            run(*p, in, out, 256, replace);
            if (firstNonFinite(out, 256) >= 0 || peak(out, 256) > outputCeiling(0.5f)) badBlocks.fetch_add(1);
            blocks.fetch_add(1);
        }
    });
    std::thread knobs([&] {
        std::mt19937_64 rng(seed + 2);
        std::uniform_real_distribution<float> knob(0.0f, 1.0f);
        while (!stop.load()) {
            const int32_t i = static_cast<int32_t>(rng() % kNumParams);
            p->setParameter(i, knob(rng));
            p->getParameter(static_cast<int32_t>(rng() % kNumParams));
            moves.fetch_add(1);
        }
    });
    std::thread state([&] {
        while (!stop.load()) {
            const bool preset = loads.load() % 2 == 0;
            const std::string chunk = p->getChunk(preset);
            if (p->setChunk(chunk, preset) != 1) refused.fetch_add(1);
            loads.fetch_add(1);
        }
    });
    std::this_thread::sleep_for(std::chrono::duration<double>(v.scaledSeconds(1.5)));
    stop.store(true);
    audio.join();
    knobs.join();
    state.join();
    if (badBlocks.load() > 0)
        f.add(format("%ld of %ld blocks with non-finite output or output above %g", badBlocks.load(),
                     blocks.load(), outputCeiling(0.5f)));
    if (refused.load() > 0) f.add(format("%ld of %ld state reloads refused", refused.load(), loads.load()));
    if (blocks.load() == 0 || loads.load() == 0) f.add("a thread made no progress");
    v.result(format("threads: audio, parameter and state threads for %.1f s", v.scaledSeconds(1.5)), f,
             format("%ld blocks, %ld moves, %ld state round trips", blocks.load(), moves.load(), loads.load()));
}
