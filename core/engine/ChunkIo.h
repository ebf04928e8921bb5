// The block loop's traffic with the host's buffers, a chunk of frames at a
// time: the inputs with the noise added, as the line stores them, and the dry
// plus wet outputs. Written once over vector lanes and built for the baseline
// and for AVX2 (chosen when the library loads); both give the same values.
// The functions are built for x86-64 targets only (x86/ChunkIo.cpp); the
// portable engine does the same frame by frame.
#pragma once

#include <cstdint>

#include "DelayEngine.h"

struct BlockIo {
    const float* inL;  // null: silence
    const float* inR;
    float* outL;  // null: skipped
    float* outR;
    int32_t frameCount;
    bool replace;
    double dryGain;
};

// The noise generator: seed' = seed * kNoiseA + kNoiseC (mod 2^32); a frame's
// noise is the signed seed before its update times kNoiseScale.
constexpr uint32_t kNoiseA = 1664525u, kNoiseC = 1013904223u;
constexpr float kNoiseScale = 4.656612889969227e-25f;

// Frames start..start+count-1 of the host's inputs (non-finite samples count
// as silence) plus the noise, rounded to single precision. Returns the seed
// after the last frame.
uint32_t prepareInputs(const BlockIo& io, int32_t start, int32_t count, uint32_t seed,
                       StereoFrame* inputs);

// outputs = dryGain * input + wet, with wet the wet sums (left, right per
// frame) rounded to single precision, into frames start..start+count-1:
// written when replacing, added otherwise; null channels are skipped.
void writeOutputs(const BlockIo& io, int32_t start, int32_t count, const StereoFrame* inputs,
                  const double* wetSums);

namespace chunk_io {
// The forms behind the two functions above, for tests.
uint32_t prepareBaseline(const BlockIo&, int32_t, int32_t, uint32_t, StereoFrame*);
uint32_t prepareAvx2(const BlockIo&, int32_t, int32_t, uint32_t, StereoFrame*);
void writeBaseline(const BlockIo&, int32_t, int32_t, const StereoFrame*, const double*);
void writeAvx2(const BlockIo&, int32_t, int32_t, const StereoFrame*, const double*);
}  // namespace chunk_io
