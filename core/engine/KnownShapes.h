// The block loops' choice of shape, made once per block: each known shape is
// handed on as a function object of its own type, so that a loop instantiated
// with it has the shape inlined; the sine goes its own way (the loops
// evaluate it a vector at a time), and any other shape as its pointer.
#pragma once

#include <cstdint>

#include "LfoShapes.h"

template <typename OnSine, typename OnShape>
void withKnownShape(LfoShape shape, OnSine onSine, OnShape onShape) {
    if (shape == &trueSine) return onSine();
#define BW_KNOWN_SHAPE(function) \
    if (shape == &function) return onShape([](uint32_t p) { return function(p); });
    BW_KNOWN_SHAPE(fakeSine)
    BW_KNOWN_SHAPE(triangle)
    BW_KNOWN_SHAPE(rampUp)
    BW_KNOWN_SHAPE(rampDown)
    BW_KNOWN_SHAPE(square)
    BW_KNOWN_SHAPE(snowflake1)
    BW_KNOWN_SHAPE(snowflake2)
    BW_KNOWN_SHAPE(snowflake3)
    BW_KNOWN_SHAPE(snowflake4)
    BW_KNOWN_SHAPE(snowflake5)
#undef BW_KNOWN_SHAPE
    onShape(shape);
}
