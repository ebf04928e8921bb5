#include "VectorLanes.h"

bool haveAvx2() {
    __builtin_cpu_init();  // needed before the query while libraries are still loading
    return __builtin_cpu_supports("avx2");
}
