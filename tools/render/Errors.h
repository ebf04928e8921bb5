// The two kinds of failure the renderer reports: a bad command line (exit 2)
// and everything else (exit 1). Both carry a one-line message.
#pragma once

#include <stdexcept>
#include <string>

struct UsageError : std::runtime_error {
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

struct RenderFailure : std::runtime_error {
    explicit RenderFailure(const std::string& message) : std::runtime_error(message) {}
};
