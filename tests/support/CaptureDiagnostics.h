// Installs a capturing diagnostic sink for the lifetime of the object, so a
// test can assert exactly which reports an operation made: the failed check
// and the unit. The source line is left out on purpose, since it moves with
// every edit of the file and says nothing about behaviour.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "Diagnostics.h"

class CaptureDiagnostics {
public:
    struct Entry {
        std::string expression;
        std::string unit;
    };

    CaptureDiagnostics() { previous_ = setDiagnosticSink(&CaptureDiagnostics::sink, this); }
    ~CaptureDiagnostics() { setDiagnosticSink(previous_.sink, previous_.context); }
    CaptureDiagnostics(const CaptureDiagnostics&) = delete;
    CaptureDiagnostics& operator=(const CaptureDiagnostics&) = delete;

    std::vector<Entry> take() {
        std::lock_guard lock(mutex_);
        std::vector<Entry> out;
        out.swap(entries_);
        return out;
    }
    // The expression texts reported since the last take(), in order.
    std::vector<std::string> expressions() {
        std::vector<std::string> out;
        for (auto& e : take()) out.push_back(e.expression);
        return out;
    }

private:
    static void sink(const AssertReport& r, void* context) {
        auto* self = static_cast<CaptureDiagnostics*>(context);
        std::lock_guard lock(self->mutex_);
        self->entries_.push_back({r.expression, r.unit});
    }

    std::mutex mutex_;
    std::vector<Entry> entries_;
    DiagnosticSinkSlot previous_{};
};
