// Failed-precondition reports. A report names the failed expression, the
// source unit and the line of the check, goes to the installed sink (standard
// error by default) and returns: it never stops the operation or the process.
#pragma once

struct AssertReport {
    const char* expression;  // the expression text, exactly as checked
    const char* unit;        // source unit, e.g. "ParamList"
    int line;                // line of the check in our source
};

using DiagnosticSink = void (*)(const AssertReport& report, void* context);

// Sends one report to the current sink. Never throws.
void reportAssert(const char* expression, const char* unit, int line) noexcept;

// Installs a sink (null restores the standard-error sink). Returns the old one.
struct DiagnosticSinkSlot {
    DiagnosticSink sink;
    void* context;
};
DiagnosticSinkSlot setDiagnosticSink(DiagnosticSink sink, void* context) noexcept;

// Checks a condition and reports `text` under `unit` when it does not hold.
// A NaN fails every comparison, so it is reported as the conventions require.
#define BW_CHECK(condition, text, unit)                              \
    do {                                                             \
        if (!(condition)) ::reportAssert((text), (unit), __LINE__);  \
    } while (false)
