// Counting the plug-in's diagnostic lines and passing the rest through.
#include "PluginMessages.h"

#include <algorithm>

#include "StderrRedirect.h"

namespace {

// What the plug-in's standard-error sink puts in front of every report.
constexpr const char kPrefix[] = "Brindlewave: ";

}  // namespace

void writeAll(int fd, const std::string& text) { platform::writeAll(fd, text.data(), text.size()); }

void PluginMessages::take(const char* data, size_t size, const std::string& check) {
    partial_.append(data, size);
    size_t start = 0;
    for (size_t newline; (newline = partial_.find('\n', start)) != std::string::npos; start = newline + 1)
        line(partial_.substr(start, newline - start), check);
    partial_.erase(0, start);
}

void PluginMessages::end(const std::string& check) {
    if (!partial_.empty()) line(partial_, check);
    partial_.clear();
}

void PluginMessages::line(const std::string& text, const std::string& check) {
    if (text.compare(0, sizeof kPrefix - 1, kPrefix) != 0) {
        writeAll(forwardFd_, text + "\n");
        return;
    }
    Entry& e = entries_[text.substr(sizeof kPrefix - 1)];
    ++e.count;
    if (std::find(e.checks.begin(), e.checks.end(), check) == e.checks.end()) e.checks.push_back(check);
}

long PluginMessages::total() const {
    long n = 0;
    for (const auto& [text, e] : entries_) n += e.count;
    return n;
}

void PluginMessages::printSummary(std::FILE* out) const {
    if (entries_.empty()) return;
    std::vector<const std::pair<const std::string, Entry>*> sorted;
    for (const auto& entry : entries_) sorted.push_back(&entry);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](auto* a, auto* b) { return a->second.count > b->second.count; });
    std::fprintf(out, "the plug-in's messages on standard error (times, message, checks):\n");
    for (const auto* entry : sorted) {
        std::string checks;
        for (const std::string& c : entry->second.checks) checks += (checks.empty() ? "" : ", ") + c;
        std::fprintf(out, "%8ld  %s  [%s]\n", entry->second.count, entry->first.c_str(), checks.c_str());
    }
    std::fflush(out);
}
