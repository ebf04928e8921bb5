// GCC vector types of N lanes, so that a numeric routine can be written once
// and built both for the baseline (SSE2, N = 2) and for AVX2 (N = 4): every
// lane performs the same IEEE operations in the same order either way.
#pragma once

#include <cstdint>

template <int N>
struct Lanes {
    typedef double Real __attribute__((vector_size(8 * N)));
    typedef float Single __attribute__((vector_size(4 * N)));
    typedef int32_t Int __attribute__((vector_size(4 * N)));
    typedef uint32_t Unsigned __attribute__((vector_size(4 * N)));
    typedef uint64_t Bits __attribute__((vector_size(8 * N)));
};
