// The block loop's chunk sizes and working storage.
#pragma once

#include <bit>
#include <cstdint>

#include "DelayEngine.h"
#include "DelayTaps.h"

namespace delayed_reads {
constexpr int32_t kLead = 4;  // frames the read-ahead loop (x86/DelayedReads.h) reads ahead of the filter
// The shortest delay T (the age of the second of the four taps) that loop
// works with: a frame read before the filter step of frame j is at most
// j + kLead + 5 (a moving delay's reads run two pairs of frames further ahead),
// and all its taps (ages T-1 .. T+2) must be older than frame j.
constexpr int32_t kMinAge = kLead + 7;
}  // namespace delayed_reads

namespace engine_loop {

// How the read position behaves for a block.
enum class DelayMode {
    Moving,  // modulated: a tap per frame, worked out ahead
    Steady,  // one tap for the whole block
    Whole,   // one tap a whole number of frames back (weights -0, 1, 0, -0)
};

// Frames per chunk. Longer chunks spread each chunk's fixed work over more
// frames; a moving delay's are shorter because its taps are worked out a
// chunk ahead (measured best at these sizes).
constexpr int32_t kMovingChunk = TapRun::kMaxFrames;
constexpr int32_t kSteadyChunk = 256;
constexpr int32_t kChunk = kSteadyChunk;  // the longest
// The read-ahead loop works the sine out four values at a time (see Smoothing).
static_assert(kChunk % 4 == 0);
constexpr int32_t chunkFrames(DelayMode mode) { return mode == DelayMode::Moving ? kMovingChunk : kSteadyChunk; }

// What one chunk's serial loop works from and leaves behind. It is the
// engine's scratch (about 21 KB), kept with the effect rather than on the
// audio thread's stack; only `ahead` carries over from one block to the next.
struct ChunkData {
    alignas(32) double shapeValues[kChunk];
    alignas(32) StereoFrame inputs[kChunk];  // input plus noise, as the line stores it
    TapRun taps;                             // per frame when the delay moves
    alignas(32) double wetSums[2 * kChunk];  // the wet matrix products (left, right), before rounding
    alignas(32) double feed[2 * kChunk];     // the filter inputs (left, right), when read ahead (see DelayedReads)
    // With a moving delay, the next chunk's shape values and their smoothing,
    // worked out one chunk ahead inside the chunk's loop.
    alignas(32) double nextValues[kMovingChunk];
    alignas(32) double nextSmoothed[kMovingChunk];

    // With a moving delay, the block's last chunk also smooths the first
    // values of the block after it, where the loop has room for them. They
    // depend only on the key below, so the next block takes them when every
    // part of the key still holds and works them out itself otherwise.
    struct SmoothedAhead {
        alignas(32) double values[kMovingChunk];
        int32_t count = 0;  // values kept; 0: none
        uint32_t phase = 0, increment = 0;  // the LFO phase before the first value, and its step
        LfoShape shape = nullptr;
        uint64_t coefBits = 0, startBits = 0;  // the smoothing coefficient and the value it starts from
        bool holdsFor(uint32_t p, uint32_t inc, LfoShape sh, double coef, double start, int32_t n) const {
            return n <= count && p == phase && inc == increment && sh == shape &&
                   std::bit_cast<uint64_t>(coef) == coefBits && std::bit_cast<uint64_t>(start) == startBits;
        }
        void keep(int32_t n, uint32_t p, uint32_t inc, LfoShape sh, double coef, double start) {
            count = n, phase = p, increment = inc, shape = sh;
            coefBits = std::bit_cast<uint64_t>(coef), startBits = std::bit_cast<uint64_t>(start);
        }
    } ahead;
};

}  // namespace engine_loop
