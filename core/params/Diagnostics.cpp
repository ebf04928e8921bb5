#include "Diagnostics.h"

#include <atomic>
#include <cstdio>

namespace {

void standardErrorSink(const AssertReport& report, void*) {
    std::fprintf(stderr, "Brindlewave: assertion failed: %s (%s, line %d)\n",
                 report.expression, report.unit, report.line);
}

// Sink and context are swapped together by tests only; the audio thread only
// reads them, so a pair of atomics is enough.
std::atomic<DiagnosticSink> currentSink{&standardErrorSink};
std::atomic<void*> currentContext{nullptr};

}  // namespace

void reportAssert(const char* expression, const char* unit, int line) noexcept {
    const AssertReport report{expression, unit, line};
    DiagnosticSink sink = currentSink.load(std::memory_order_acquire);
    sink(report, currentContext.load(std::memory_order_acquire));
}

DiagnosticSinkSlot setDiagnosticSink(DiagnosticSink sink, void* context) noexcept {
    DiagnosticSinkSlot old{currentSink.load(), currentContext.load()};
    currentContext.store(context, std::memory_order_release);
    currentSink.store(sink ? sink : &standardErrorSink, std::memory_order_release);
    return old;
}
