#include "StateText.h"

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string makeEntry(const std::string& key, const std::string& value) {
    std::string result = key + "\n\t";
    for (char c : value) {
        result += c;
        if (c == '\n') result += '\t';
    }
    return result;
}

}  // namespace

std::vector<StateEntry> readEntries(const std::string& text) {
    std::vector<StateEntry> entries;
    bool haveKey = false;
    bool firstValueLine = true;
    for (const std::string& line : splitLines(text)) {
        if (line.empty() || line[0] != '\t') {
            entries.push_back({line, {}});
            haveKey = true;
            firstValueLine = true;
            continue;
        }
        if (!haveKey) continue;
        std::string& value = entries.back().value;
        if (!firstValueLine) value += '\n';
        value += line.substr(1);
        firstValueLine = false;
    }
    return entries;
}

std::string writeEntries(const std::vector<StateEntry>& entries) {
    std::string result;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) result += '\n';
        result += makeEntry(entries[i].key, entries[i].value);
    }
    return result;
}

bool isBankForm(const std::string& text) {
    return text.compare(0, 6, "Preset") == 0 && (text.size() == 6 || text[6] == '\n');
}

std::vector<StateEntry> parameterEntries(const std::string& presetText) {
    for (const StateEntry& entry : readEntries(presetText))
        if (entry.key == "ParameterList") return readEntries(entry.value);
    return {};
}

std::string presetText(const std::vector<StateEntry>& parameters) {
    return writeEntries({{"Name", "unnamed"}, {"ParameterList", writeEntries(parameters)}});
}
