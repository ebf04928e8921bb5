// The engine's instruction-set forms: which ones this target builds (decided
// here, from the compiler's target) and the one the engine runs, chosen once
// per process from the processor and the environment.
#pragma once

namespace engine_form {

// The forms, slowest first. Portable is plain C++ frame by frame
// (DelayEngine::processSample); Sse2 and Avx2 are the vector loops of
// core/*/x86, built only for x86-64. All give the same output bit for bit.
enum class Form { Portable, Sse2, Avx2 };

#if defined(__x86_64__) || defined(_M_X64)
inline constexpr bool kX86Forms = true;
#else
inline constexpr bool kX86Forms = false;
#endif

// Built for this target and runnable on this processor.
bool runs(Form form);

// The form the engine uses, the same for the whole process: the fastest that
// runs, unless the environment asks for another: BRINDLEWAVE_ENGINE=portable,
// sse2 or avx2 picks one (ignored where it does not run), and
// BRINDLEWAVE_NO_AVX2 rules out AVX2.
Form chosen();

// The choice from its inputs (each environment variable's value, or null).
Form choose(bool cpuHasAvx2, const char* engineVariable, const char* noAvx2Variable);

const char* name(Form form);

}  // namespace engine_form
