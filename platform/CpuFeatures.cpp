// Processor feature queries through the compiler's built-ins (x86-64 only).
#include "CpuFeatures.h"

namespace platform {

bool cpuHasAvx2() {
#if defined(__x86_64__) || defined(_M_X64)
    __builtin_cpu_init();  // needed before the query while libraries are still loading
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace platform
