// One block of the engine in the form engine_form::chosen() picked: the
// fast x86 loops (core/engine/x86) or the portable frame-by-frame loop.
#pragma once

#include <cstdint>

#include "ChunkData.h"
#include "ChunkIo.h"
#include "DelayEngine.h"

// The block `io` through the engine with its current shape. `scratch` is the
// fast loops' working storage. Allocates nothing, takes no lock.
void processEngineBlock(DelayEngine& e, uint32_t& noiseSeed, const BlockIo& io, engine_loop::ChunkData& scratch);

// The portable form: DelayEngine::processSample frame by frame, with the
// noise, the dry mix and replacing or adding as the fast loops do them, and
// phaseSine as the sine.
void portableEngineBlock(DelayEngine& e, uint32_t& noiseSeed, const BlockIo& io);

// The x86 forms (SSE2 or AVX2, as chosen); built for x86-64 targets only.
void fastEngineBlock(DelayEngine& e, uint32_t& noiseSeed, const BlockIo& io, engine_loop::ChunkData& scratch);
