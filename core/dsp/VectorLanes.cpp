#include "VectorLanes.h"

#include <cstdlib>

bool haveAvx2() {
    // BRINDLEWAVE_NO_AVX2 set: the baseline forms everywhere, so that tests
    // can check them on a machine that has AVX2.
    if (std::getenv("BRINDLEWAVE_NO_AVX2")) return false;
    __builtin_cpu_init();  // needed before the query while libraries are still loading
    return __builtin_cpu_supports("avx2");
}
