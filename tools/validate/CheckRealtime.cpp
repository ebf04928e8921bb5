// No heap allocation and no lock inside process or processReplacing after the
// first block, whatever the parameters and the host tempo do between blocks.
#include <cstdlib>

#include "AudioCalls.h"
#include "Validator.h"

void checkRealtime(Validator& v) {
    const std::string name = "realtime: no allocation or lock inside process calls";
    if (!audioCallCountingAvailable()) {
        v.skip(name, audioCallCountingMissing());
        return;
    }
    Findings f;
    {
        // The counter must see an allocation made on purpose.
        const AudioCallCounts before = audioCallCounts();
        setInAudioCall(true);
        void* (*volatile allocate)(size_t) = std::malloc;
        std::free(allocate(64));
        setInAudioCall(false);
        if (audioCallCounts().allocations == before.allocations) f.add("the allocation counter does not count");
    }
    hostkit::Host host;
    auto p = v.open(host);
    p->prepare(44100.0f, 512);
    Stereo in(8192), out(8192);
    fillNoise(in, v.rng(), 0.5f);
    run(*p, in, out, 512);  // the first block may set things up
    std::uniform_real_distribution<float> knob(0.0f, 1.0f);
    const int blocks = v.scaled(600);
    const int32_t sizes[] = {512, 1, 0, 64, 8192, 333};
    for (int block = 0; block < blocks; ++block) {
        // Moves outside the audio call force recomputation inside it.
        const int32_t param = block % kNumParams;
        p->setParameter(param, knob(v.rng()));
        if (block % 50 == 0) host.setTempo(60.0 + block % 300, (block / 50) % 2 ? kVstTempoValid : 0);
        if (block % 200 == 100) p->prepare(block % 400 == 100 ? 96000.0f : 44100.0f, 512);
        const AudioCallCounts before = audioCallCounts();
        setInAudioCall(true);
        run(*p, in, out, sizes[block % std::size(sizes)], block % 3 != 0);
        setInAudioCall(false);
        const AudioCallCounts after = audioCallCounts();
        if (after.allocations != before.allocations || after.frees != before.frees || after.locks != before.locks)
            f.add(format("block %d after moving parameter %d: %ld allocations, %ld frees, %ld mutex locks", block,
                         param, after.allocations - before.allocations, after.frees - before.frees,
                         after.locks - before.locks));
    }
    v.result(name, f, format("%d blocks counted", blocks));
}
