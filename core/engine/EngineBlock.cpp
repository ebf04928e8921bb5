// The block entry and the portable form of the engine's block loop.
#include "EngineBlock.h"

#include <cmath>

#include "EngineForm.h"
#include "KnownShapes.h"
#include "PhaseSine.h"

namespace {

// Chosen once, when the library loads, so the audio thread never decides.
const bool usePortable = engine_form::chosen() == engine_form::Form::Portable;

template <typename Shape>
void portableWith(DelayEngine& e, uint32_t& noiseSeed, const BlockIo& io, Shape shape) {
    uint32_t seed = noiseSeed;
    for (int32_t i = 0; i < io.frameCount; ++i) {
        const double noise = static_cast<double>(static_cast<int32_t>(seed)) * kNoiseScale;
        seed = seed * kNoiseA + kNoiseC;
        // Non-finite samples count as silence.
        float inL = io.inL ? io.inL[i] : 0.0f;
        float inR = io.inR ? io.inR[i] : 0.0f;
        if (!std::isfinite(inL)) inL = 0.0f;
        if (!std::isfinite(inR)) inR = 0.0f;
        const float xL = static_cast<float>(inL + noise);
        const float xR = static_cast<float>(inR + noise);
        const StereoFrame wet = e.processSampleWith(shape, xL, xR);
        const double yL = io.dryGain * xL + wet.left;
        const double yR = io.dryGain * xR + wet.right;
        if (io.replace) {
            if (io.outL) io.outL[i] = static_cast<float>(yL);
            if (io.outR) io.outR[i] = static_cast<float>(yR);
        } else {
            if (io.outL) io.outL[i] = static_cast<float>(io.outL[i] + yL);
            if (io.outR) io.outR[i] = static_cast<float>(io.outR[i] + yR);
        }
    }
    noiseSeed = seed;
}

}  // namespace

void portableEngineBlock(DelayEngine& e, uint32_t& noiseSeed, const BlockIo& io) {
    // The sine as the fast loops evaluate it.
    withKnownShape(
        e.lfoShape, [&] { portableWith(e, noiseSeed, io, [](uint32_t p) { return phaseSine(p); }); },
        [&](auto shape) { portableWith(e, noiseSeed, io, shape); });
}

void processEngineBlock(DelayEngine& e, uint32_t& noiseSeed, const BlockIo& io, engine_loop::ChunkData& scratch) {
    if constexpr (engine_form::kX86Forms) {
        if (!usePortable) return fastEngineBlock(e, noiseSeed, io, scratch);
    }
    portableEngineBlock(e, noiseSeed, io);
}
