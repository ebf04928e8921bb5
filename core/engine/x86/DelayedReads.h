// The feedback loop of a chunk with the delayed frames read ahead of the
// filter. When every tap a frame reads is at least kMinAge frames old, the
// reads do not depend on the last few frames' feedback, so the reads, the wet
// products, the filter inputs and the outputs of frames j + kLead and on can
// be worked out in vector registers in the same round as the filter recursion
// of frame j: the recursion, the one serial part, overlaps the vector work.
// The values are formed by exactly the operations of DelayEngine::processSample.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "ChunkData.h"
#include "DelayEngine.h"
#include "DelayTaps.h"

// The matrices as lane pairs: out = straight * (L, R) + crossed * (R, L), so
// out.L = m0 L + m1 R and out.R = m3 R + m2 L (the same sum either way round).
struct MatrixLanes {
    double wetStraight[2], wetCrossed[2], fbStraight[2], fbCrossed[2];
};
inline MatrixLanes matrixLanes(const DelayEngine& e) {
    const float* wet = e.wetMatrix;
    const float* fb = e.fbMatrix;
    return {{wet[0], wet[3]}, {wet[1], wet[2]}, {fb[0], fb[3]}, {fb[1], fb[2]}};
}

// Without rotation each matrix is zero in one half, straight or crossed, and
// then one product gives what the two give: the zero product only adds a
// signed zero, which changes nothing but the sign of a zero sum. A zero wet
// sum's sign cannot reach an output while the dry part is never -0 (inputs
// never are, so a positive dry gain keeps it so), and a zero feedback sum
// has the input added, which is never -0 either.
struct HalfMatrices {
    bool apply = false;  // both matrices have a zero half and the dry gain is positive
    bool wetCrossed = false, fbCrossed = false;  // the half that is not zero
};
inline HalfMatrices halfMatrices(const MatrixLanes& m, double dryGain) {
    const auto zero = [](const double (&lr)[2]) { return lr[0] == 0.0 && lr[1] == 0.0; };
    const bool wetOne = zero(m.wetStraight) || zero(m.wetCrossed);
    const bool fbOne = zero(m.fbStraight) || zero(m.fbCrossed);
    return {wetOne && fbOne && dryGain > 0.0, zero(m.wetStraight), zero(m.fbStraight)};
}

// delayed_reads::kLead and kMinAge are in ChunkData.h.

// One chunk's traffic. Frame j of the chunk writes the line at
// carry.writePos - 1 - j (wrapped; see FilterCarry).
struct DelayedReads {
    StereoFrame* line;
    int32_t lineFrames;
    int32_t count;
    const StereoFrame* inputs;  // the chunk's inputs as the line stores them
    MatrixLanes matrices;
    double* wetSums;  // per frame (left, right): the wet matrix products, unrounded
    double* feed;     // scratch: the filter inputs (left, right) read ahead, times the
                      // filter's gain unless a glide runs
    // The host's outputs for the chunk's frames. With both channels there,
    // the loop writes dry * input + the wet sum rounded to single precision
    // itself (adds it unless replacing), as writeOutputs would; otherwise it
    // leaves the wet sums in wetSums for writeOutputs.
    float* outL = nullptr;
    float* outR = nullptr;
    bool replace = true;
    double dryGain = 0.0;
};

// What the loop carries from frame to frame.
struct FilterCarry {
    __m128d w1, w2;  // the filter's newer and older state, (left, right)
    double smoothed;
    int32_t writePos;  // the position the last frame wrote
};

// The LFO smoothing recursion, run alongside the filter's: values[0..count),
// each result also stored to `out` when it is not null. With `sine` the loop
// works the values out itself, a few frames ahead of the smoothing: frame j's
// is the sine shape at sinePhase + (j + 1) * sineIncrement (see PhaseSine.h),
// four at a time, so `values` must have room for count rounded up to a
// multiple of four.
struct Smoothing {
    double* values;
    int32_t count;
    double* out;
    double coef;
    bool sine = false;
    uint32_t sinePhase = 0, sineIncrement = 0;
};

// The chunk's frames through the loop with one tap for all of them, or a tap
// per frame; the glide steps the engine's coefficients. Every delay T must be
// at least delayed_reads::kMinAge.
void loopSteady(DelayEngine& e, FilterCarry& carry, const DelayedReads& chunk, const Tap& tap,
                const Smoothing& smoothing);
void loopMoving(DelayEngine& e, FilterCarry& carry, const DelayedReads& chunk, const TapRun& taps,
                const Smoothing& smoothing);

namespace delayed_reads {
// The forms behind the two functions above, for tests.
void steadyBaseline(DelayEngine&, FilterCarry&, const DelayedReads&, const Tap&, const Smoothing&);
void steadyAvx2(DelayEngine&, FilterCarry&, const DelayedReads&, const Tap&, const Smoothing&);
void movingBaseline(DelayEngine&, FilterCarry&, const DelayedReads&, const TapRun&, const Smoothing&);
void movingAvx2(DelayEngine&, FilterCarry&, const DelayedReads&, const TapRun&, const Smoothing&);
}  // namespace delayed_reads
