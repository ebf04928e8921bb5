#include "LfoShapes.h"

const LfoShapeInfo lfoShapeTable[11] = {
    {&trueSine, "true sine", "trueSine"},
    {&fakeSine, "fake sine", "fakeSine"},
    {&triangle, "triangle", "triangle"},
    {&rampUp, "ramp up", "rampUp"},
    {&rampDown, "ramp down", "rampDown"},
    {&square, "square", "square"},
    {&snowflake1, "snow 1", "snowflake1"},
    {&snowflake2, "snow 2", "snowflake2"},
    {&snowflake3, "snow 3", "snowflake3"},
    {&snowflake4, "snow 4", "snowflake4"},
    {&snowflake5, "snow 5", "snowflake5"},
};
