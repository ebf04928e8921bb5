#include "PresetText.h"

std::string indentText(const std::string& text, uint32_t depth) {
    const std::string tabs(depth, '\t');
    std::string result = tabs;
    result.reserve(text.size() + depth);
    for (const char c : text) {
        result += c;
        if (c == '\n') result += tabs;
    }
    return result;
}

std::string makeEntry(const std::string& key, const std::string& value) {
    std::string entry = indentText(key, 0);
    entry += '\n';
    entry += indentText(value, 1);
    return entry;
}

void addEntry(std::string& document, const std::string& key, const std::string& value) {
    if (!document.empty()) document += '\n';
    document += makeEntry(key, value);
}

bool readKey(std::istream& stream, std::string& key) {
    std::string line;
    while (std::getline(stream, line)) {
        if (line.empty() || line[0] != '\t') {
            key = std::move(line);
            return true;
        }
    }
    return false;
}

bool readValue(std::istream& stream, std::string& value) {
    value.clear();
    std::string line;
    bool first = true;
    while (stream.peek() == '\t') {
        std::getline(stream, line);
        const std::size_t zero = line.find('\0', 1);
        const std::size_t end = zero == std::string::npos ? line.size() : zero;
        if (!first) value += '\n';
        value.append(line, 1, end - 1);
        first = false;
    }
    return true;
}

bool findKey(std::istream& stream, const std::string& key) {
    std::string candidate;
    while (readKey(stream, candidate)) {
        if (candidate == key) return true;
    }
    return false;
}

bool findValue(std::istream& stream, const std::string& key, std::string& value) {
    return findKey(stream, key) && readValue(stream, value);
}
