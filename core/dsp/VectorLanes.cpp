#include "VectorLanes.h"

#include <cstdlib>

#include "CpuFeatures.h"

bool haveAvx2() {
    // BRINDLEWAVE_NO_AVX2 set: the baseline forms everywhere, so that tests
    // can check them on a machine that has AVX2.
    if (std::getenv("BRINDLEWAVE_NO_AVX2")) return false;
    return platform::cpuHasAvx2();
}
