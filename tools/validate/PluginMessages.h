// Sorts what a check writes on standard error: the plug-in's own diagnostic
// lines ("Brindlewave: ...", e.g. a refused knob position) are counted by text
// for one summary at the end; every other line (a sanitizer report, a crash
// message) is passed on at once, unchanged.
#pragma once

#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Writes all of `text` to `fd` (gives up on an error).
void writeAll(int fd, const std::string& text);

class PluginMessages {
public:
    // Lines that are not the plug-in's go to `forwardFd`.
    explicit PluginMessages(int forwardFd = 2) : forwardFd_(forwardFd) {}
    void setForwardFd(int fd) { forwardFd_ = fd; }

    // Bytes from the standard error of `check`, in the order written.
    void take(const char* data, size_t size, const std::string& check);
    // The stream of `check` ended: a last line without a newline counts too.
    void end(const std::string& check);

    long total() const;
    // One line per distinct message, most frequent first, with the checks
    // that drew it; nothing when the plug-in said nothing.
    void printSummary(std::FILE* out) const;

private:
    struct Entry {
        long count = 0;
        std::vector<std::string> checks;
    };
    void line(const std::string& text, const std::string& check);

    int forwardFd_;
    std::string partial_;
    std::map<std::string, Entry> entries_;
};
