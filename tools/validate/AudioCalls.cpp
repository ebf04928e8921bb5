#include "AudioCalls.h"

#include "Interposition.h"
#include "Validator.h"

#if !BW_VALIDATE_SANITIZED && BW_CAN_INTERPOSE_LIBRARY_CALLS

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
thread_local bool inAudioCall = false;
std::atomic<long> allocations{0}, frees{0}, locks{0};

using MutexLock = int (*)(pthread_mutex_t*);
MutexLock realMutexLock = nullptr;

inline void countAllocation() {
    if (inAudioCall) allocations.fetch_add(1, std::memory_order_relaxed);
}
inline void countFree(void* p) {
    if (inAudioCall && p) frees.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
__attribute__((visibility("default"))) void* malloc(size_t size) {
    countAllocation();
    return __libc_malloc(size);
}
__attribute__((visibility("default"))) void* calloc(size_t n, size_t size) {
    countAllocation();
    return __libc_calloc(n, size);
}
__attribute__((visibility("default"))) void* realloc(void* p, size_t size) {
    countAllocation();
    return __libc_realloc(p, size);
}
__attribute__((visibility("default"))) void free(void* p) {
    countFree(p);
    __libc_free(p);
}
__attribute__((visibility("default"))) void* memalign(size_t alignment, size_t size) {
    countAllocation();
    return __libc_memalign(alignment, size);
}
__attribute__((visibility("default"))) void* aligned_alloc(size_t alignment, size_t size) {
    countAllocation();
    return __libc_memalign(alignment, size);
}
__attribute__((visibility("default"))) int posix_memalign(void** out, size_t alignment, size_t size) {
    countAllocation();
    void* p = __libc_memalign(alignment, size);
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}
__attribute__((visibility("default"))) int pthread_mutex_lock(pthread_mutex_t* m) {
    if (inAudioCall) locks.fetch_add(1, std::memory_order_relaxed);
    if (!realMutexLock) realMutexLock = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    return realMutexLock(m);
}
}

__attribute__((visibility("default"))) void* operator new(size_t size) {
    if (void* p = malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
__attribute__((visibility("default"))) void* operator new[](size_t size) { return operator new(size); }
__attribute__((visibility("default"))) void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return malloc(size ? size : 1);
}
__attribute__((visibility("default"))) void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return malloc(size ? size : 1);
}
__attribute__((visibility("default"))) void operator delete(void* p) noexcept { free(p); }
__attribute__((visibility("default"))) void operator delete[](void* p) noexcept { free(p); }
__attribute__((visibility("default"))) void operator delete(void* p, size_t) noexcept { free(p); }
__attribute__((visibility("default"))) void operator delete[](void* p, size_t) noexcept { free(p); }

bool audioCallCountingAvailable() { return true; }
const char* audioCallCountingMissing() { return ""; }
void setInAudioCall(bool inside) { inAudioCall = inside; }
AudioCallCounts audioCallCounts() {
    return {allocations.load(), frees.load(), locks.load()};
}

#else

bool audioCallCountingAvailable() { return false; }
const char* audioCallCountingMissing() {
    return BW_VALIDATE_SANITIZED ? "the sanitizer runtime owns malloc in this build" : BW_NO_INTERPOSITION_REASON;
}
void setInAudioCall(bool) {}
AudioCallCounts audioCallCounts() { return {}; }

#endif
