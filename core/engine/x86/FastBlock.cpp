// The fast (x86) form of the engine's block: a loop of its own for each known
// shape (see EngineLoop.h), SSE2 or AVX2 passes as engine_form::chosen() says.
#include "EngineBlock.h"
#include "EngineForm.h"
#include "EngineLoop.h"
#include "KnownShapes.h"

static_assert(engine_form::kX86Forms, "core/*/x86 is built for x86-64 targets only");

void fastEngineBlock(DelayEngine& e, uint32_t& noiseSeed, const BlockIo& io, engine_loop::ChunkData& scratch) {
    withKnownShape(
        e.lfoShape, [&] { runEngineBlock(e, noiseSeed, SineRun{}, io, scratch); },
        [&](auto shape) { runEngineBlock(e, noiseSeed, ShapeRun{shape}, io, scratch); });
}
