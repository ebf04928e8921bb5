// What the processor this code runs on can do, asked once; the only place
// that queries the processor.
#pragma once

namespace platform {

// True on an x86-64 processor with AVX2; false on any other processor.
bool cpuHasAvx2();

}  // namespace platform
