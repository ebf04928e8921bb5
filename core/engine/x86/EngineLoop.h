// The engine's frame loop for one block, in chunks (see ChunkData.h). What
// does not depend on the feedback (shape values, noise and inputs, the taps of
// a moving delay) is done a chunk at a time in vector passes. When the delay
// is at least a few frames long, the chunk then runs through the read-ahead
// loop (DelayedReads.h), which with a steady delay also works out the sine
// and, given both output channels, writes the outputs. A shorter delay runs
// through SerialLoop below, which reads the line frame by frame; its outputs
// follow in a pass of their own, as they do when a channel is missing. The
// filter recursion runs left and right side by side in the two lanes of SSE2
// double registers, with the running state in registers. Every value is formed
// by exactly the operations of DelayEngine::processSample in the same order, so
// the output is bit-identical to running that function frame by frame (with
// phaseSine as the sine, see PhaseSine.h).
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "ChunkData.h"
#include "ChunkIo.h"
#include "DelayEngine.h"
#include "DelayTaps.h"
#include "DelayedReads.h"
#include "FilterLanes.h"
#include "LineLanes.h"
#include "PhaseSine.h"


namespace engine_loop {

using line_lanes::loadFrame;
using line_lanes::storeFrame;

}  // namespace engine_loop

// A shape's values for a run of phases first, first + increment, ...; the
// block loop asks for one chunk at a time, ahead of the audio.
template <typename Shape>
struct ShapeRun {
    Shape shape;
    void operator()(uint32_t first, uint32_t increment, int32_t count, double* out) const {
        uint32_t p = first;
        int32_t i = 0;
        // Four at a time, which the compiler can put in vector registers.
        for (; i + 4 <= count; i += 4, p += 4 * increment)
            for (uint32_t k = 0; k < 4; ++k) out[i + k] = shape(p + k * increment);
        for (; i < count; ++i, p += increment) out[i] = shape(p);
    }
};
template <typename Shape>
ShapeRun(Shape) -> ShapeRun<Shape>;

// The sine evaluated a vector at a time (see PhaseSine.h).
struct SineRun {
    void operator()(uint32_t first, uint32_t increment, int32_t count, double* out) const {
        phaseSines(first, increment, count, out);
    }
};

namespace engine_loop {

// The interpolated read of ages T-1..T+2 of the frame that wrote writePos in
// a line of N frames, rounded to single precision.
inline __m128d readTap(const StereoFrame* line, int32_t N, int32_t writePos, int32_t T, double w0, double w1,
                       double w2, double w3) {
    return line_lanes::readFrame(line, N, DelayEngine::wrapIn(writePos + T - 1, N), _mm_set1_pd(w0),
                                 _mm_set1_pd(w1), _mm_set1_pd(w2), _mm_set1_pd(w3));
}
inline __m128d readTap(const StereoFrame* line, int32_t N, int32_t writePos, const Tap& tap) {
    return readTap(line, N, writePos, tap.T, tap.w[0], tap.w[1], tap.w[2], tap.w[3]);
}


// The serial part: everything that depends on the feedback loop. The LFO
// smoothing recursion runs alongside it, where it overlaps the filter's: with
// a fixed tap over the chunk's own shape values (the smoothing feeds nothing
// here), with a moving delay over the next chunk's, whose taps are then
// worked out after the loop; this chunk's taps come from the chunk data.
template <DelayMode Mode>
struct SerialLoop {
    static constexpr bool kFixedTap = Mode != DelayMode::Moving;
    DelayEngine& e;
    const Tap steadyTap;
    const double lfoCoef;
    double smoothed;
    int32_t writePos;
    __m128d w1, w2;

    SerialLoop(DelayEngine& engine, const Tap& tap)
        : e(engine), steadyTap(tap), lfoCoef(engine.lfoCoef), smoothed(engine.lfoSmoothed),
          writePos(engine.writePos),
          w1(_mm_set_pd(engine.filterStateR[1], engine.filterStateL[1])),
          w2(_mm_set_pd(engine.filterStateR[0], engine.filterStateL[0])) {}
    void finish() {
        e.lfoSmoothed = smoothed;
        e.writePos = writePos;
        e.filterStateL[1] = _mm_cvtsd_f64(w1);
        e.filterStateR[1] = _mm_cvtsd_f64(_mm_unpackhi_pd(w1, w1));
        e.filterStateL[0] = _mm_cvtsd_f64(w2);
        e.filterStateR[0] = _mm_cvtsd_f64(_mm_unpackhi_pd(w2, w2));
    }

    // Smooths smoothCount values (count of them with a fixed tap) from
    // smoothValues; with a moving delay the results go to smoothedOut.
    void run(ChunkData& data, int32_t count, const double* smoothValues, int32_t smoothCount,
             double* smoothedOut) {
        // The running state in locals, so that stores to the line and the
        // chunk data cannot be taken to alias it and it stays in registers.
        const int32_t N = e.lineFrames();
        StereoFrame* const line = e.line.data();
        const Tap fixedTap = steadyTap;
        const double coef = lfoCoef;
        const MatrixLanes m = matrixLanes(e);  // see MatrixLanes
        const __m128d wetS = _mm_loadu_pd(m.wetStraight), wetC = _mm_loadu_pd(m.wetCrossed);
        const __m128d fbS = _mm_loadu_pd(m.fbStraight), fbC = _mm_loadu_pd(m.fbCrossed);
        double smoothed = this->smoothed;
        int32_t writePos = this->writePos;
        __m128d w1 = this->w1, w2 = this->w2;
        FilterLanes f(e.coeffs);
        int32_t rampLeft = e.ramp.count;  // only the glide's own step changes it
        for (int32_t j = 0; j < count; ++j) {
            if constexpr (kFixedTap) {
                smoothed += (smoothValues[j] - smoothed) * coef;
            } else if (j < smoothCount) {
                smoothed += (smoothValues[j] - smoothed) * coef;
                smoothedOut[j] = smoothed;
            }

            // Write the input twice (the next write position too).
            writePos = writePos == 0 ? N - 1 : writePos - 1;
            line[writePos] = data.inputs[j];
            line[writePos == 0 ? N - 1 : writePos - 1] = data.inputs[j];
            const __m128d x = loadFrame(data.inputs[j]);

            __m128d r;
            if constexpr (Mode == DelayMode::Whole) {
                // The three zero weights add signed zeros, so the sum is the
                // frame at age T itself unless that frame holds a zero.
                r = loadFrame(line[DelayEngine::wrapIn(writePos + fixedTap.T, N)]);
                if (_mm_movemask_pd(_mm_cmpneq_pd(r, _mm_setzero_pd())) != 3) [[unlikely]]
                    r = readTap(line, N, writePos, fixedTap);
            } else if constexpr (Mode == DelayMode::Steady) {
                r = readTap(line, N, writePos, fixedTap);
            } else {
                const TapRun& taps = data.taps;
                r = readTap(line, N, writePos, taps.ages[j], taps.weights[0][j], taps.weights[1][j],
                            taps.weights[2][j], taps.weights[3][j]);
            }
            const __m128d rSwapped = _mm_shuffle_pd(r, r, 1);
            _mm_storeu_pd(data.wetSums + 2 * j, _mm_add_pd(_mm_mul_pd(wetS, r), _mm_mul_pd(wetC, rSwapped)));

            // Coefficient glide, then the feedback through the band-pass.
            if (rampLeft > 0) [[unlikely]] {
                e.ramp.step(e.coeffs);
                rampLeft = e.ramp.count;
                f.load(e.coeffs);
            }
            const __m128d u = _mm_add_pd(_mm_add_pd(_mm_mul_pd(fbS, r), _mm_mul_pd(fbC, rSwapped)), x);
            storeFrame(line[writePos], limitLine(f.step(u, w1, w2)));
        }
        this->smoothed = smoothed;
        this->writePos = writePos;
        this->w1 = w1;
        this->w2 = w2;
    }
};

}  // namespace engine_loop




// The block's chunks; firstTap is the tap of the block's first frame (the
// block's only one unless the delay moves).
template <engine_loop::DelayMode Mode, typename Run>
void runEngineChunks(DelayEngine& e, uint32_t& noiseSeed, Run shapeRun, const BlockIo& io,
                     engine_loop::ChunkData& data, const Tap& firstTap) {
    using namespace engine_loop;
    constexpr int32_t kFrames = chunkFrames(Mode);
    uint32_t phase = e.lfoPhase;
    const uint32_t increment = e.lfoIncrement;
    const double modDepth = e.modDepth;
    const double baseDelay = e.baseDelay;
    const int32_t lineFrames = e.lineFrames();
    uint32_t seed = noiseSeed;
    SerialLoop<Mode> loop(e, firstTap);

    // Work that does not depend on the loop's feedback is done a chunk at a
    // time around the chunk's loop: the LFO values (unless the loop works them
    // out), the noise and the inputs before it, the host's buffers after it
    // (unless the loop writes them). All inputs of a chunk are read before any
    // output of it is written, which keeps in-place processing right.
    const auto nextShapeValues = [&](int32_t count, double* out) {
        shapeRun(phase + increment, increment, count, out);
        phase += static_cast<uint32_t>(count) * increment;
    };
    if constexpr (Mode == DelayMode::Moving) {
        // The first chunk's smoothing and taps come first; later chunks' are
        // worked out during the chunk before them.
        // The first chunk's smoothing may have been worked out by the block
        // before (see ChunkData::SmoothedAhead).
        const int32_t first = std::min(io.frameCount, kFrames);
        if (first > 0 && data.ahead.holdsFor(phase, increment, e.lfoShape, loop.lfoCoef, loop.smoothed, first)) {
            phase += static_cast<uint32_t>(first) * increment;
            loop.smoothed = data.ahead.values[first - 1];
            tapsFromSmoothed(data.ahead.values, first, modDepth, baseDelay, loop.writePos, lineFrames, data.taps);
        } else if (first > 0) {
            nextShapeValues(first, data.shapeValues);
            loop.smoothed = computeTaps(data.shapeValues, first, loop.lfoCoef, loop.smoothed,
                                        modDepth, baseDelay, loop.writePos, lineFrames, data.taps);
        }
        data.ahead.count = 0;
    }
    const MatrixLanes matrices = matrixLanes(e);
    // Runs the chunk through the read-ahead loop (see DelayedReads.h).
    // With both output channels there, the loop writes the outputs itself;
    // it reads both channels of a frame before writing either, so not when
    // they are one buffer (the frame by frame engine adds left, then right).
    const bool loopWrites = io.outL && io.outR && io.outL != io.outR;
    const auto readAhead = [&](int32_t chunkStart, int32_t count, auto loopFunction, const auto& taps,
                               const Smoothing& smoothing) {
        FilterCarry carry{loop.w1, loop.w2, loop.smoothed, loop.writePos};
        // Every member given, so that the compiler does not clear the whole
        // record first (a string store, slow to start, once per chunk).
        const DelayedReads chunk{e.line.data(),
                                 lineFrames,
                                 count,
                                 data.inputs,
                                 matrices,
                                 data.wetSums,
                                 data.feed,
                                 loopWrites ? io.outL + chunkStart : nullptr,
                                 loopWrites ? io.outR + chunkStart : nullptr,
                                 loopWrites ? io.replace : true,
                                 loopWrites ? io.dryGain : 0.0};
        loopFunction(e, carry, chunk, taps, smoothing);
        loop.w1 = carry.w1, loop.w2 = carry.w2, loop.smoothed = carry.smoothed, loop.writePos = carry.writePos;
    };
    for (int32_t chunkStart = 0; chunkStart < io.frameCount; chunkStart += kFrames) {
        const int32_t count = std::min(io.frameCount - chunkStart, kFrames);
        seed = prepareInputs(io, chunkStart, count, seed, data.inputs);
        if constexpr (Mode == DelayMode::Moving) {
            const int32_t nextCount = std::min(io.frameCount - chunkStart - count, kFrames);
            if (nextCount > 0) nextShapeValues(nextCount, data.nextValues);
            const bool ahead = data.taps.youngest >= delayed_reads::kMinAge;
            if (ahead && nextCount == 0) {
                // The last chunk: its loop smooths the next block's first
                // values instead, from the phase and value this block ends with.
                const double blockEnd = loop.smoothed;
                shapeRun(phase + increment, increment, count, data.nextValues);
                readAhead(chunkStart, count, loopMoving, data.taps,
                          Smoothing{data.nextValues, count, data.ahead.values, loop.lfoCoef});
                loop.smoothed = blockEnd;
                data.ahead.keep(count, phase, increment, e.lfoShape, loop.lfoCoef, blockEnd);
            } else if (ahead)
                readAhead(chunkStart, count, loopMoving, data.taps,
                          Smoothing{data.nextValues, nextCount, data.nextSmoothed, loop.lfoCoef});
            else
                loop.run(data, count, data.nextValues, nextCount, data.nextSmoothed);
            if (!ahead || !loopWrites) writeOutputs(io, chunkStart, count, data.inputs, data.wetSums);
            if (nextCount > 0)
                tapsFromSmoothed(data.nextSmoothed, nextCount, modDepth, baseDelay, loop.writePos, lineFrames,
                                 data.taps);
        } else {
            const bool ahead = loop.steadyTap.T >= delayed_reads::kMinAge;
            if (ahead) {
                Smoothing smoothing{data.shapeValues, count, nullptr, loop.lfoCoef};
                if constexpr (std::is_same_v<Run, SineRun>) {
                    // The loop works the sine out itself, overlapped with the filter.
                    smoothing.sine = true, smoothing.sinePhase = phase, smoothing.sineIncrement = increment;
                    phase += static_cast<uint32_t>(count) * increment;
                } else {
                    nextShapeValues(count, data.shapeValues);
                }
                readAhead(chunkStart, count, loopSteady, loop.steadyTap, smoothing);
            } else {
                nextShapeValues(count, data.shapeValues);
                loop.run(data, count, data.shapeValues, count, nullptr);
            }
            if (!ahead || !loopWrites) writeOutputs(io, chunkStart, count, data.inputs, data.wetSums);
        }
    }
    loop.finish();
    e.lfoPhase = phase;
    noiseSeed = seed;
}

// One block: the shape values come from `shapeRun`, a ShapeRun or SineRun;
// `scratch` is the chunks' working storage.
template <typename Run>
void runEngineBlock(DelayEngine& e, uint32_t& noiseSeed, Run shapeRun, const BlockIo& io,
                    engine_loop::ChunkData& scratch) {
    // Without modulation depth the delay is |smoothed * 0 + baseDelay|, the
    // same every frame as long as the smoothed value stays finite. With a
    // coefficient in 0..2 (|1 - coef| <= 1) and shape values in -1..1 it grows
    // by at most 2 a frame, so starting within 1e300 it stays finite.
    const bool steady = e.modDepth == 0.0 && e.lfoCoef >= 0.0f && e.lfoCoef <= 2.0f &&
                        std::fabs(e.lfoSmoothed) <= 1e300;
    const Tap tap = tapFor(std::fabs(e.lfoSmoothed * e.modDepth + e.baseDelay), e.maxDelay());
    const bool whole = tap.w[0] == 0.0 && tap.w[1] == 1.0 && tap.w[2] == 0.0 && tap.w[3] == 0.0;
    if (!steady)
        runEngineChunks<engine_loop::DelayMode::Moving>(e, noiseSeed, shapeRun, io, scratch, tap);
    else if (whole)
        runEngineChunks<engine_loop::DelayMode::Whole>(e, noiseSeed, shapeRun, io, scratch, tap);
    else
        runEngineChunks<engine_loop::DelayMode::Steady>(e, noiseSeed, shapeRun, io, scratch, tap);
}
