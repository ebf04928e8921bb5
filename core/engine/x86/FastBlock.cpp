// The fast (x86) form of the engine's block: a loop of its own for each known
// shape (see EngineLoop.h), SSE2 or AVX2 passes as engine_form::chosen() says.
#include "EngineBlock.h"
#include "EngineForm.h"
#include "EngineLoop.h"

static_assert(engine_form::kX86Forms, "core/*/x86 is built for x86-64 targets only");

void fastEngineBlock(DelayEngine& e, uint32_t& noiseSeed, const BlockIo& io, engine_loop::ChunkData& scratch) {
    // The shape is chosen once per block; each known shape gets a loop of its own.
    // The sine has a vector evaluation of its own.
    if (e.lfoShape == &trueSine) return runEngineBlock(e, noiseSeed, SineRun{}, io, scratch);
#define BW_RUN_WITH(shapeFunction)                                                         \
    if (e.lfoShape == &shapeFunction)                                                  \
        return runEngineBlock(e, noiseSeed,                                            \
                              ShapeRun{[](uint32_t p) { return shapeFunction(p); }}, io, scratch);
    BW_RUN_WITH(fakeSine)
    BW_RUN_WITH(triangle)
    BW_RUN_WITH(rampUp)
    BW_RUN_WITH(rampDown)
    BW_RUN_WITH(square)
    BW_RUN_WITH(snowflake1)
    BW_RUN_WITH(snowflake2)
    BW_RUN_WITH(snowflake3)
    BW_RUN_WITH(snowflake4)
    BW_RUN_WITH(snowflake5)
#undef BW_RUN_WITH
    runEngineBlock(e, noiseSeed, ShapeRun{e.lfoShape}, io, scratch);
}
